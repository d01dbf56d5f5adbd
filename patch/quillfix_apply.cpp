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
const wchar_t kPatchLogName[] = L"patchlog.txt";
const wchar_t kPatchKey[] = L"\\Patch\\";
const long kPatchNumber = 8103;

bool isAbsolute(const CQRVWCharString& szName)
{
    return szName.contains(CQRVWCharString(kDriveMarker));
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

    // The old file goes aside first (an older ".bak" is replaced); a missing old file
    // does not stop the copy.
    bool bMovedAside =
        ::MoveFileExW(textOrEmpty(szFull), textOrEmpty(szBackup), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (::CopyFileW(textOrEmpty(szSource), textOrEmpty(szFull), FALSE))
        return true;

    // Never leave the service without its executable: the old one goes back before
    // the failure is reported (over whatever a half-done copy left behind).
    if (bMovedAside)
        ::MoveFileExW(textOrEmpty(szBackup), textOrEmpty(szFull), MOVEFILE_REPLACE_EXISTING);

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
