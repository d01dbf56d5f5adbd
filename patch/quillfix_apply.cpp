// Patch application: the operations of the run that change the machine (the service
// executable, the registry record, the patch log).
#include "quillfix.h"

#include <string>

#include "internal/qrv_text.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_product_qlt.h"
#include "qrv_protocol.h"
#include "qrv_registry_key.h"
#include "qrv_registry_string.h"
#include "quillfix_detail_log.h"
#include "quillfix_resource.h"
#include "quillfix_swap.h"

using qrv_detail::textOrEmpty;
using quillfix_swap::clearReadOnly;
using quillfix_swap::fileExists;

namespace {

const wchar_t kTargetFolder[] = L"%commonprogramfiles%\\Zarvik\\";
const wchar_t kDriveMarker[] = L":\\";
const wchar_t kBackupSuffix[] = L".bak";
// The new file is copied beside the target under this name before it is swapped in.
const wchar_t kStagingSuffix[] = L".new";
// A removal renames the patched program aside under this name before deleting it.
const wchar_t kRemovedSuffix[] = L".removed";
const wchar_t kPatchLogName[] = L"patchlog.txt";
const wchar_t kPatchKey[] = L"\\Patch\\";
const long kPatchNumber = 8103;

bool isAbsolute(const CQRVWCharString& szName)
{
    return szName.contains(CQRVWCharString(kDriveMarker));
}

// Copies the new file to the staging name beside the target and makes sure it is on
// the disk whole (FlushFileBuffers). Touches no installed file, so a kill or a failure
// here (source missing, folder missing, disk full) leaves the target as it was. A
// staging file left by a killed run is overwritten; a new file of zero bytes is
// refused, since installing it would leave the service without a program.
bool stageNewFile(const wchar_t* pszSource, const wchar_t* pszStaged)
{
    clearReadOnly(pszStaged);
    if (!detailCall(::CopyFileW(pszSource, pszStaged, FALSE), L"CopyFileW", pszSource, pszStaged))
        return false;
    // CopyFileW carries a read-only new file's attribute over; the flush needs write access.
    clearReadOnly(pszStaged);
    // Read sharing: a virus scanner that opens a new program at once must not make the
    // flush, and so the patch, fail.
    qrv_detail::UniqueFile staged(::CreateFileW(pszStaged, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    return staged.valid() && ::GetFileSizeEx(staged.get(), &size) && size.QuadPart > 0 &&
           detailCall(::FlushFileBuffers(staged.get()), L"FlushFileBuffers", pszStaged);
}

// Deletes a staged copy, but only while the target holds a program: otherwise the
// staged copy may be the only whole copy of one.
void discardStaged(const wchar_t* pszStaged, const wchar_t* pszTarget)
{
    if (!fileExists(pszTarget))
        return;
    clearReadOnly(pszStaged);
    ::DeleteFileW(pszStaged);
}

// The copy-failure line of the patch log (1121) or the removal's (1123) for the target.
void logFileFailureLine(UINT uLineId, const CQRVWCharString& szTarget)
{
    appendPatchLogLine(uLineId, szTarget);
}

// <suite key>\Patch\8103 in the registry view the process gets by default; false when
// the suite's location cannot be read.
bool patchRecordPath(CQRVWCharString& szPath)
{
    CQRVProduct_QLT suite;
    CQRVWCharString szLocation;
    if (!suite.getRegistryLocation(szLocation))
        return false;
    szPath = szLocation + CQRVWCharString(kPatchKey) + CQRVWCharString(kPatchNumber);
    return true;
}

} // namespace

CQRVWCharString makeCommonFilesPath(const CQRVWCharString& szName)
{
    if (isAbsolute(szName))
        return szName;
    CQRVWCharString szFolder(kTargetFolder);
    szFolder.expand();
    return szFolder + szName;
}

CQRVWCharString resolveInInstallDirectory(const CQRVWCharString& szName)
{
    if (isAbsolute(szName))
        return szName;
    return qrvAbsorb(szName, QRV_HERE, [&] {
        CQRVProduct_QLT suite;
        CQRVWCharString szDirectory;
        if (!suite.getInstallDirectory(szDirectory) || szDirectory.getLength() == 0)
            return szName;
        // "InstallPath" is often written without the trailing separator; without one
        // the log would land beside the install folder under a made-up name.
        if (!szDirectory.endsWith(CQRVWCharString(L"\\")))
            szDirectory += CQRVWCharString(L"\\");
        return szDirectory + szName;
    });
}

// Invariant: when this returns, the target holds a complete program whenever one was at
// the target, at ".bak" or staged when it began; once the new program is in place, the
// program it replaced is at ".bak" (and a repeat run, finding the new program already
// there, leaves that ".bak" alone).
bool replaceFile(const CQRVWCharString& szSource, const CQRVWCharString& szTarget)
{
    CQRVWCharString szTargetName(szTarget);
    if (szTargetName.getLength() == 0) {
        if (szSource.contains(CQRVWCharString(L"\\")))
            szSource.getSubString(szTargetName, CQRVWCharString(L"\\"), 1, pmFromEnd, false);
        else
            szTargetName = szSource;
    }
    CQRVWCharString szFull = resolveInInstallDirectory(szTargetName);
    const wchar_t* pszSource = textOrEmpty(szSource);
    const wchar_t* pszFull = textOrEmpty(szFull);
    CQRVWCharString szBackup = szFull + CQRVWCharString(kBackupSuffix);
    CQRVWCharString szStaged = szFull + CQRVWCharString(kStagingSuffix);

    // A run killed between the swap's two renames left no target and the old program at
    // ".bak": it goes back first, so the target is never left empty by what follows.
    quillfix_swap::restoreMissingTarget(pszFull, textOrEmpty(szBackup));

    // The new program already in place (a repeat run): no swap, so ".bak" keeps the
    // original; a staging file a killed run left beside it goes.
    detailLog(L"Install: new file \"" + std::wstring(pszSource) + L"\", target \"" + pszFull + L"\", staged \"" +
              textOrEmpty(szStaged) + L"\", aside \"" + textOrEmpty(szBackup) + L"\"");
    if (quillfix_swap::sameContents(pszSource, pszFull)) {
        detailLog(L"The target already holds the new file: left as it is");
        discardStaged(textOrEmpty(szStaged), pszFull);
        return true;
    }
    if (stageNewFile(pszSource, textOrEmpty(szStaged)) &&
        quillfix_swap::swapIn(pszFull, textOrEmpty(szStaged), textOrEmpty(szBackup)))
        return true;

    // The swap put the old program back, or left it at ".bak": one more try to put it
    // back before the staged copy (partial, refused or whole) may go.
    quillfix_swap::restoreMissingTarget(pszFull, textOrEmpty(szBackup));
    discardStaged(textOrEmpty(szStaged), pszFull);
    reportReplaceFailure(szFull);
    return false;
}

void reportReplaceFailure(const CQRVWCharString& szTarget)
{
    showPatchMessage(IDS_INSTALL_FAILED, MB_OK, IDOK);
    logFileFailureLine(IDS_UPDATE_FILE_FAILED, szTarget);
}

void reportRestoreFailure(const CQRVWCharString& szTarget)
{
    showPatchMessage(IDS_UNINSTALL_FAILED, MB_OK, IDOK);
    logFileFailureLine(IDS_RESTORE_FILE_FAILED, szTarget);
}

// The same swap as the installation, the other way: ".bak" takes the target's name and
// the patched program goes aside, so the target holds a whole program throughout.
int removePatch(const CQRVWCharString& szTarget)
{
    const wchar_t* pszTarget = textOrEmpty(szTarget);
    CQRVWCharString szBackup = szTarget + CQRVWCharString(kBackupSuffix);
    // A removal killed between the swap's renames leaves no target and the original at
    // ".bak": this run completes it like any other.
    if (!fileExists(textOrEmpty(szBackup))) {
        showPatchMessage(IDS_NOTHING_TO_RESTORE, MB_OK, IDOK);
        return ERROR_PATCH_TARGET_NOT_FOUND;
    }

    // A program an earlier removal set aside may still be running until the restart, so
    // its name may still be taken: the next free numbered name is used instead.
    CQRVWCharString szAside = szTarget + CQRVWCharString(kRemovedSuffix);
    detailLog(L"Remove: target \"" + std::wstring(pszTarget) + L"\", restored from \"" + textOrEmpty(szBackup) + L"\"");
    for (long lNumber = 1; !quillfix_swap::deleteAside(textOrEmpty(szAside)) && lNumber < 100; ++lNumber)
        szAside = szTarget + CQRVWCharString(kRemovedSuffix) + CQRVWCharString(lNumber);

    if (!quillfix_swap::swapIn(pszTarget, textOrEmpty(szBackup), textOrEmpty(szAside))) {
        reportRestoreFailure(szTarget);
        return ERROR_INSTALL_FAILURE;
    }
    quillfix_swap::deleteAside(textOrEmpty(szAside));
    deletePatchRecord();
    return ERROR_SUCCESS;
}

void recordPatch(const CQRVWCharString& szDescription, const CQRVWCharString& szFileName)
{
    qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWCharString szPath;
        if (!patchRecordPath(szPath))
            return false;

        CQRVRegistryKey patchKey(HKEY_LOCAL_MACHINE, szPath, KEY_READ, false, 0);
        if (!patchKey.create())
            return false;

        CQRVRegistryString description(HKEY_LOCAL_MACHINE, szPath, CQRVWCharString(L"description"), KEY_WRITE,
                                       true, 0);
        bool bWritten = description.setValue(szDescription, false);
        CQRVRegistryString updated(HKEY_LOCAL_MACHINE, szPath, CQRVWCharString(L"updated"), KEY_WRITE, true, 0);
        bWritten = updated.setValue(szFileName, false) && bWritten;
        detailLog(L"Record HKLM\\" + std::wstring(textOrEmpty(szPath)) + (bWritten ? L": written" : L": not written"));
        return true;
    });
}

bool deletePatchRecord()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWCharString szPath;
        if (!patchRecordPath(szPath))
            return false;
        LONG lResult = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, textOrEmpty(szPath));
        detailRegistryCall(lResult, L"RegDeleteKeyW HKLM", textOrEmpty(szPath));
        return lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND;
    });
}

void appendPatchLog(const CQRVWCharString& szText)
{
    qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWCharString szPath = resolveInInstallDirectory(CQRVWCharString(kPatchLogName));
        HANDLE hFile = ::CreateFileW(textOrEmpty(szPath), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD dwOpenResult = ::GetLastError();
        qrv_detail::UniqueFile file(hFile);
        if (!file.valid())
            return false;

        DWORD dwWritten = 0;
        if (dwOpenResult == ERROR_ALREADY_EXISTS) {
            ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
        } else {
            static const unsigned char kByteOrderMark[] = {0xFF, 0xFE};
            if (!::WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &dwWritten, nullptr))
                return false;
        }
        // The entry and its terminating zero unit: readers of this log expect the
        // zero after every line.
        DWORD dwUnits = static_cast<DWORD>(szText.getLength()) + 1;
        const wchar_t* pszText = textOrEmpty(szText);
        return ::WriteFile(file.get(), pszText, dwUnits * sizeof(wchar_t), &dwWritten, nullptr) != FALSE;
    });
}
