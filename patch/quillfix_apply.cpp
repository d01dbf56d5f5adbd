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
#include "internal/qrv_system_library.h"
#include "quillfix_fingerprint.h"
#include "quillfix_detail_log.h"
#include "quillfix_resource.h"
#include "quillfix_service_pin.h"
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
// The record's value that holds the fingerprint of the program the patch put in place.
const wchar_t kFingerprintValue[] = L"fingerprint";
// A writer that meets another run's writer retries this often, this far apart (5 s).
const int kLogOpenTries = 100;
const DWORD kLogRetryDelay = 50;

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

void deleteStaged(const wchar_t* pszStaged)
{
    clearReadOnly(pszStaged);
    ::DeleteFileW(pszStaged);
}

// Deletes a staged copy, but only while the target holds a program: otherwise the
// staged copy may be the only whole copy of one.
void discardStaged(const wchar_t* pszStaged, const wchar_t* pszTarget)
{
    if (fileExists(pszTarget))
        deleteStaged(pszStaged);
}

// A failure line of the patch log with its "%s" filled: the copy's (1121) or the
// removal's (1123) with the target's path, the record's (1124) with its key.
void logFileFailureLine(UINT uLineId, const CQRVWCharString& szSubject)
{
    appendPatchLogLine(uLineId, szSubject);
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

// A file with at least one byte: an empty ".bak" is no program to put back.
bool isNonEmptyFile(const wchar_t* pszPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return ::GetFileAttributesExW(pszPath, GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

// A name beside the target for a program set aside to be thrown away: "<target>.removed",
// or the next free numbered one while an earlier one is still running (Windows deletes
// it only at the restart).
CQRVWCharString freeAsideName(const CQRVWCharString& szTarget)
{
    CQRVWCharString szAside = szTarget + CQRVWCharString(kRemovedSuffix);
    for (long lNumber = 1; !quillfix_swap::deleteAside(textOrEmpty(szAside)) && lNumber < 100; ++lNumber)
        szAside = szTarget + CQRVWCharString(kRemovedSuffix) + CQRVWCharString(lNumber);
    return szAside;
}

typedef LONG(WINAPI* SHDeleteKeyWFunction)(HKEY, LPCWSTR);

// Deletes the key and everything below it with SHDeleteKeyW (shlwapi, XP on), loaded
// from the system folder: an import would be resolved before the program restricts its
// DLL search. The key is first opened for deletion, so that a key Windows will not let
// go is left whole rather than stripped of its values. A Win32 result.
LONG deleteKeyTree(HKEY hRoot, const wchar_t* pszPath)
{
    qrv_detail::UniqueRegKey key;
    LONG lResult = ::RegOpenKeyExW(hRoot, pszPath, 0, DELETE | KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                                   key.put());
    if (lResult != ERROR_SUCCESS)
        return lResult;
    key.reset();
    qrv_detail::UniqueLibrary shlwapi(qrv_detail::loadSystemLibrary(L"shlwapi.dll"));
    FARPROC pProc = shlwapi.valid() ? ::GetProcAddress(shlwapi.get(), "SHDeleteKeyW") : nullptr;
    if (pProc == nullptr)
        return static_cast<LONG>(::GetLastError());
    SHDeleteKeyWFunction pDelete = reinterpret_cast<SHDeleteKeyWFunction>(reinterpret_cast<void*>(pProc));
    return pDelete(hRoot, pszPath);
}

// The record goes last in a removal: ERROR_SUCCESS, or (the files already restored) the
// removal-failure message and the 1124 line naming the key: ERROR_INSTALL_FAILURE.
int deleteRecordOfRemoval()
{
    if (deletePatchRecord())
        return ERROR_SUCCESS;
    CQRVWCharString szPath;
    patchRecordPath(szPath);
    showPatchMessage(IDS_UNINSTALL_FAILED, MB_OK, IDOK);
    logFileFailureLine(IDS_DELETE_KEY_FAILED, CQRVWCharString(L"HKEY_LOCAL_MACHINE\\") + szPath);
    return ERROR_INSTALL_FAILURE;
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
// the target, at ".bak" or staged when it began; ".bak" holds the program the patch first
// replaced: a program of the patch's own (the record's fingerprint) that another build
// replaces is thrown away, and a repeat run finding the new program in place changes
// nothing. With a pin (quillfix_service_pin) no other program takes the target's name.
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

    // A program built with a pin installs the pinned program only: the copy is staged
    // and flushed, then checked, so what is checked is what the swap would put in place.
    // That comes first, so a repeat run is judged by the pin too. A copy that is not
    // the pinned program goes, whatever the target holds; no installed file has changed.
    const bool bPinned = quillfix_service_pin::pinned();
    if (bPinned) {
        const bool bStaged = stageNewFile(pszSource, textOrEmpty(szStaged));
        if (!bStaged || !quillfix_service_pin::matches(textOrEmpty(szStaged))) {
            if (bStaged)
                deleteStaged(textOrEmpty(szStaged));
            else
                discardStaged(textOrEmpty(szStaged), pszFull);
            reportReplaceFailure(szFull);
            return false;
        }
    }

    // The new program already in place (a repeat run): no swap, so ".bak" keeps the
    // original; a staging file (this run's checked copy, or one a killed run left) goes.
    if (quillfix_swap::sameContents(bPinned ? textOrEmpty(szStaged) : pszSource, pszFull)) {
        detailLog(L"The target already holds the new file: left as it is");
        discardStaged(textOrEmpty(szStaged), pszFull);
        return true;
    }
    // The patch's own program goes to a throwaway name and ".bak" keeps the original;
    // any other program (the original, a suite update's, one that cannot be hashed)
    // becomes ".bak".
    const bool bOwnProgram = fileExists(pszFull) && patchProgramAt(szFull) == ppOwn;
    CQRVWCharString szAside = bOwnProgram ? freeAsideName(szFull) : szBackup;
    detailLog(L"Install: new file \"" + std::wstring(pszSource) + L"\", target \"" + pszFull + L"\" (" +
              (bOwnProgram ? L"the patch's own program" : L"not the patch's program") + L"), staged \"" +
              textOrEmpty(szStaged) + L"\", aside \"" + textOrEmpty(szAside) + L"\"");
    if ((bPinned || stageNewFile(pszSource, textOrEmpty(szStaged))) &&
        quillfix_swap::swapIn(pszFull, textOrEmpty(szStaged), textOrEmpty(szAside))) {
        if (bOwnProgram)
            quillfix_swap::deleteAside(textOrEmpty(szAside));
        return true;
    }

    // The swap put the old program back, or left it at its aside name: one more try to
    // put it back (then, failing that, ".bak") before the staged copy (partial, refused
    // or whole) may go.
    quillfix_swap::restoreMissingTarget(pszFull, textOrEmpty(szAside));
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
// the patched program goes aside, so the target holds a whole program throughout. Only
// the patch's own program is replaced, and only by a ".bak" that holds one.
int removePatch(const CQRVWCharString& szTarget, CQRVWCharString* pszKeepAside)
{
    const wchar_t* pszTarget = textOrEmpty(szTarget);
    CQRVWCharString szBackup = szTarget + CQRVWCharString(kBackupSuffix);
    const wchar_t* pszBackup = textOrEmpty(szBackup);
    const bool bBackup = fileExists(pszBackup);

    // A removal or installation killed between the swap's renames left no target and the
    // original at ".bak": it goes back, then the record.
    if (!fileExists(pszTarget) && bBackup) {
        if (!isNonEmptyFile(pszBackup) || !quillfix_swap::restoreMissingTarget(pszTarget, pszBackup)) {
            reportRestoreFailure(szTarget);
            return ERROR_INSTALL_FAILURE;
        }
        return deleteRecordOfRemoval();
    }
    const PatchProgram program = fileExists(pszTarget) ? patchProgramAt(szTarget) : ppNoRecord;
    if (!bBackup) {
        // The original back in place and the record still there (a removal killed after
        // its swap, or one whose delete failed): only the record is left to go.
        if (program == ppChanged)
            return deleteRecordOfRemoval();
        showPatchMessage(IDS_NOTHING_TO_RESTORE, MB_OK, IDOK);
        return ERROR_PATCH_TARGET_NOT_FOUND;
    }
    if (program == ppNoRecord || program == ppChanged) {
        // A suite update (or someone) put another program there: restoring ".bak" would
        // destroy it.
        showPatchMessage(IDS_SERVICE_CHANGED, MB_OK, IDOK);
        return ERROR_PATCH_TARGET_NOT_FOUND;
    }
    // Unknown (no hash) fails closed, and an empty ".bak" would leave no program.
    if (program != ppOwn || !isNonEmptyFile(pszBackup)) {
        reportRestoreFailure(szTarget);
        return ERROR_INSTALL_FAILURE;
    }

    CQRVWCharString szAside = freeAsideName(szTarget);
    detailLog(L"Remove: target \"" + std::wstring(pszTarget) + L"\", restored from \"" + pszBackup + L"\", aside \"" +
              textOrEmpty(szAside) + L"\"");
    if (!quillfix_swap::swapIn(pszTarget, pszBackup, textOrEmpty(szAside))) {
        reportRestoreFailure(szTarget);
        return ERROR_INSTALL_FAILURE;
    }
    // A caller that restarts the service deletes the set-aside program while it is
    // stopped; on every other way out it goes now (or at the next restart).
    int nResult = deleteRecordOfRemoval();
    if (pszKeepAside != nullptr && nResult == ERROR_SUCCESS)
        *pszKeepAside = szAside;
    else
        quillfix_swap::deleteAside(textOrEmpty(szAside));
    return nResult;
}

PatchProgram patchProgramAt(const CQRVWCharString& szTarget)
{
    return qrvAbsorb(ppUnknown, QRV_HERE, [&] {
        CQRVWCharString szPath;
        if (!patchRecordPath(szPath))
            return ppNoRecord;
        CQRVRegistryKey patchKey(HKEY_LOCAL_MACHINE, szPath, KEY_READ, false, 0);
        if (!patchKey.canOpen())
            return ppNoRecord;
        CQRVRegistryString fingerprint(HKEY_LOCAL_MACHINE, szPath, CQRVWCharString(kFingerprintValue), KEY_READ,
                                       false, 0);
        CQRVWCharString szStored;
        // A record an earlier build wrote, without the value: its program, as before.
        if (!fingerprint.getValue(szStored, false))
            return ppOwn;
        switch (quillfix_fingerprint::compare(textOrEmpty(szTarget), textOrEmpty(szStored))) {
        case quillfix_fingerprint::fpSame: return ppOwn;
        case quillfix_fingerprint::fpDifferent: return ppChanged;
        default: return ppUnknown;
        }
    });
}

void recordPatch(const CQRVWCharString& szDescription, const CQRVWCharString& szFileName,
                 const CQRVWCharString& szTarget)
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
        // A program that cannot be hashed gets an empty value, which no program matches
        // and which makes later runs fail closed rather than trust a stale one.
        std::wstring fingerprint;
        quillfix_fingerprint::compute(textOrEmpty(szTarget), fingerprint);
        CQRVRegistryString value(HKEY_LOCAL_MACHINE, szPath, CQRVWCharString(kFingerprintValue), KEY_WRITE, true,
                                 0);
        bWritten = value.setValue(CQRVWCharString(fingerprint.c_str()), false) && bWritten;
        detailLog(L"Record HKLM\\" + std::wstring(textOrEmpty(szPath)) + (bWritten ? L": written" : L": not written") +
                  L", fingerprint \"" + fingerprint + L"\"");
        return true;
    });
}

bool deletePatchRecord()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWCharString szPath;
        if (!patchRecordPath(szPath))
            return false;
        LONG lResult = deleteKeyTree(HKEY_LOCAL_MACHINE, textOrEmpty(szPath));
        detailRegistryCall(lResult, L"SHDeleteKeyW HKLM", textOrEmpty(szPath));
        if (lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND)
            return true;
        std::wstring message(L"Unable to delete registry key ( \"");
        message += textOrEmpty(szPath);
        message += L"\" )";
        // Written when made; the caller reports the removal's failure.
        CQRVLogException1(message.c_str(), static_cast<int>(lResult), RESULT_ERROR_CODE, nullptr, nullptr, QRV_HERE);
        return false;
    });
}

void appendPatchLog(const CQRVWCharString& szText)
{
    qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWCharString szPath = resolveInInstallDirectory(CQRVWCharString(kPatchLogName));
        // Another run appending at this moment holds the file without write sharing: the
        // entry waits for it rather than being lost.
        HANDLE hFile = INVALID_HANDLE_VALUE;
        DWORD dwOpenResult = ERROR_SUCCESS;
        for (int nTry = 1;; ++nTry) {
            hFile = ::CreateFileW(textOrEmpty(szPath), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            dwOpenResult = ::GetLastError();
            if (hFile != INVALID_HANDLE_VALUE || dwOpenResult != ERROR_SHARING_VIOLATION || nTry == kLogOpenTries)
                break;
            ::Sleep(kLogRetryDelay);
        }
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
