// quillfix_floor.exe: the baseline of the silent-run benchmark. It makes the machine
// changes of a successful `quillfix.exe /s` with as few Win32 calls as there can be,
// and loads the same system DLLs the same way (USER32 and ADVAPI32 by import,
// shlwapi.dll from the system folder as the OS check does), so that what the
// benchmark compares is the cost of the library's detection, checks and tracing, not
// of process start-up.
//
//   quillfix_floor.exe <target> <new file> <patch log>
//
// The changes: the new file is copied to <target>.new and flushed, then swapped in by
// ReplaceFileW with the old target kept at <target>.bak,
// the patch record (HKLM\SOFTWARE\Zarvik\Quellant\Patch\8103 with "description" and
// "updated") is written, and the silent answer to the restart question is appended to
// the patch log (FF FE on a new file; the line and one zero unit).
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "internal/qrv_system_library.h"

namespace {

const wchar_t kRecordKey[] = L"SOFTWARE\\Zarvik\\Quellant\\Patch\\8103";
const wchar_t kDescription[] = L"Reduce exporting action to improve the performance of registry monitor service.";
const wchar_t kUpdated[] = L"qrv_reg_monitor_svc.exe";
const wchar_t kLogLine[] =
    L"The installation of the patch has completed. Please restart system to enable changes. User select: 7\r\n";

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // The C runtime's own split of the command line: no shell32 to load for it.
    const int argc = __argc;
    wchar_t** argv = __wargv;
    if (argv == nullptr || argc != 4) {
        ::MessageBoxW(nullptr, L"quillfix_floor.exe <target> <new file> <patch log>", L"quillfix_floor", MB_OK);
        return 2;
    }
    HMODULE hShlwapi = qrv_detail::loadSystemLibrary(L"shlwapi.dll");

    // The same durable swap the patch run makes: the new file staged beside the
    // target and flushed, then swapped in with the old one kept at ".bak".
    wchar_t szBackup[MAX_PATH + 8];
    wchar_t szStaged[MAX_PATH + 8];
    std::swprintf(szBackup, MAX_PATH + 8, L"%ls.bak", argv[1]);
    std::swprintf(szStaged, MAX_PATH + 8, L"%ls.new", argv[1]);
    bool bCopied = ::CopyFileW(argv[2], szStaged, FALSE) != FALSE;
    if (bCopied) {
        HANDLE hStaged = ::CreateFileW(szStaged, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                       nullptr);
        bCopied = hStaged != INVALID_HANDLE_VALUE && ::FlushFileBuffers(hStaged);
        if (hStaged != INVALID_HANDLE_VALUE)
            ::CloseHandle(hStaged);
    }
    bCopied = bCopied && ::ReplaceFileW(argv[1], szStaged, szBackup, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);

    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) ==
        ERROR_SUCCESS) {
        ::RegSetValueExW(hKey, L"description", 0, REG_SZ, reinterpret_cast<const BYTE*>(kDescription),
                         sizeof(kDescription));
        ::RegSetValueExW(hKey, L"updated", 0, REG_SZ, reinterpret_cast<const BYTE*>(kUpdated), sizeof(kUpdated));
        ::RegCloseKey(hKey);
    }

    HANDLE hLog = ::CreateFileW(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (hLog != INVALID_HANDLE_VALUE) {
        DWORD cbWritten = 0;
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            ::SetFilePointer(hLog, 0, nullptr, FILE_END);
        } else {
            static const BYTE kByteOrderMark[] = {0xFF, 0xFE};
            ::WriteFile(hLog, kByteOrderMark, sizeof(kByteOrderMark), &cbWritten, nullptr);
        }
        ::WriteFile(hLog, kLogLine, sizeof(kLogLine), &cbWritten, nullptr); // the line and its zero unit
        ::CloseHandle(hLog);
    }
    if (hShlwapi)
        ::FreeLibrary(hShlwapi);
    return bCopied ? 0 : 1;
}
