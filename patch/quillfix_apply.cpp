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
#include "quillfix_resource.h"

using qrv_detail::textOrEmpty;

namespace {

const wchar_t kTargetFolder[] = L"%commonprogramfiles%\\Zarvik\\";
const wchar_t kDriveMarker[] = L":\\";
const wchar_t kBackupSuffix[] = L".bak";
// The new file is copied beside the target under this name before it is swapped in.
const wchar_t kStagingSuffix[] = L".new";
const wchar_t kPatchLogName[] = L"patchlog.txt";
const wchar_t kPatchKey[] = L"\\Patch\\";
const long kPatchNumber = 8103;

bool isAbsolute(const CQRVWCharString& szName)
{
    return szName.contains(CQRVWCharString(kDriveMarker));
}

bool fileExists(const wchar_t* pszPath)
{
    return ::GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES;
}

// Windows neither replaces nor deletes a read-only file (MoveFileExW, ReplaceFileW and
// DeleteFileW answer access denied); the files this clears are ours to replace.
void clearReadOnly(const wchar_t* pszPath)
{
    DWORD dwAttributes = ::GetFileAttributesW(pszPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(pszPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY);
}

// Copies the new file to the staging name beside the target and makes sure it is on
// the disk whole (FlushFileBuffers). Touches no installed file, so a kill or a failure
// here (source missing, folder missing, disk full) leaves the target as it was. A
// staging file left by a killed run is overwritten; a new file of zero bytes is
// refused, since installing it would leave the service without a program.
bool stageNewFile(const wchar_t* pszSource, const wchar_t* pszStaged)
{
    clearReadOnly(pszStaged);
    if (!::CopyFileW(pszSource, pszStaged, FALSE))
        return false;
    // CopyFileW carries a read-only new file's attribute over; the flush needs write access.
    clearReadOnly(pszStaged);
    qrv_detail::UniqueFile staged(::CreateFileW(pszStaged, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    return staged.valid() && ::GetFileSizeEx(staged.get(), &size) && size.QuadPart > 0 &&
           ::FlushFileBuffers(staged.get());
}

// Invariant: the target is the whole old or the whole new file; once the new is in place, the whole old is at ".bak".
// Only renames inside the target's folder, since the target is normally the running
// service's program, which Windows lets be renamed but neither overwritten nor deleted.
// The one instant this cannot cover is named at the two renames below.
bool swapStagedIn(const wchar_t* pszTarget, const wchar_t* pszStaged, const wchar_t* pszBackup)
{
    // No old file to keep (a first install, or a run killed between the two renames
    // below, which left the old file at ".bak"): the staged file takes the free name,
    // and never over a file that appeared meanwhile.
    if (!fileExists(pszTarget))
        return ::MoveFileExW(pszStaged, pszTarget, MOVEFILE_WRITE_THROUGH) != FALSE;

    // An earlier ".bak" is meant to be replaced, read-only or not.
    clearReadOnly(pszBackup);
    // One call: the old file to ".bak", the staged one to the target, which takes the
    // old file's attributes and security.
    if (::ReplaceFileW(pszTarget, pszStaged, pszBackup, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
        return true;

    // ReplaceFileW refused (a file in use, a file system that lacks it): the same two
    // renames one by one. If the old file cannot be set aside (an earlier ".bak" held
    // open), nothing has changed and the run fails. A target already gone means the
    // call set the old file aside and then stopped (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2).
    if (fileExists(pszTarget) &&
        !::MoveFileExW(pszTarget, pszBackup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    // Between these two renames the target name is free for an instant (MoveFileExW will
    // not replace a running program, so its name cannot be taken over in one step): the
    // old file is whole at ".bak" and the new one whole at the staging name. A run killed
    // there is completed by the next run, which finds no target: first branch above.
    if (::MoveFileExW(pszStaged, pszTarget, MOVEFILE_WRITE_THROUGH))
        return true;
    // The new file cannot take the name: the old one goes back.
    ::MoveFileExW(pszBackup, pszTarget, MOVEFILE_WRITE_THROUGH);
    return false;
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

// Stages, then swaps (swapStagedIn keeps the invariant); any failure leaves the target
// as it was and takes the one failure path: 1200 shown and logged, then the 1121 line.
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
    CQRVWCharString szBackup = szFull + CQRVWCharString(kBackupSuffix);
    CQRVWCharString szStaged = szFull + CQRVWCharString(kStagingSuffix);

    if (stageNewFile(textOrEmpty(szSource), textOrEmpty(szStaged)) &&
        swapStagedIn(textOrEmpty(szFull), textOrEmpty(szStaged), textOrEmpty(szBackup)))
        return true;

    // The target is as it was (or, should every rename back fail, the old file is at
    // ".bak"); a partial or refused staged copy is not left behind.
    clearReadOnly(textOrEmpty(szStaged));
    ::DeleteFileW(textOrEmpty(szStaged));

    CQRVWCharString szLine = loadPatchString(IDS_UPDATE_FILE_FAILED);
    qrvAbsorb(false, QRV_HERE, [&] {
        return szLine.replace(CQRVWCharString(L"%s"), szFull, 1, ssmOccur);
    });
    showPatchMessage(IDS_INSTALL_FAILED, MB_OK, IDOK);
    std::wstring line(textOrEmpty(szLine));
    line += L"\r\n";
    appendPatchLog(CQRVWCharString(line.c_str()));
    return false;
}

void recordPatch(const CQRVWCharString& szDescription, const CQRVWCharString& szFileName)
{
    qrvAbsorb(false, QRV_HERE, [&] {
        CQRVProduct_QLT suite;
        CQRVWCharString szLocation;
        if (!suite.getRegistryLocation(szLocation))
            return false;
        CQRVWCharString szPath = szLocation + CQRVWCharString(kPatchKey) + CQRVWCharString(kPatchNumber);

        CQRVRegistryKey patchKey(HKEY_LOCAL_MACHINE, szPath, KEY_READ, false, 0);
        if (!patchKey.create())
            return false;

        CQRVRegistryString description(HKEY_LOCAL_MACHINE, szPath, CQRVWCharString(L"description"), KEY_WRITE,
                                       true, 0);
        description.setValue(szDescription, false);
        CQRVRegistryString updated(HKEY_LOCAL_MACHINE, szPath, CQRVWCharString(L"updated"), KEY_WRITE, true, 0);
        updated.setValue(szFileName, false);
        return true;
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
