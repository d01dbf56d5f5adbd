// Uses the installed library as any program of the vendor would: a string, a registry
// value under its own HKCU key (removed again), and a log record written to a file of
// its own. Prints each failed check; the exit code is the number of failures.
#include <windows.h>

#include <cstdio>
#include <string>

#include "qrv_log_record.h"
#include "qrv_logging_outputs.h"
#include "qrv_registry_string.h"
#include "qrv_wchar_string.h"

// qrv::qrv brings the definitions the library was built with; this project sets none.
#if !defined(UNICODE) || !defined(_UNICODE) || !defined(NOMINMAX) || _WIN32_WINNT != 0x0600
#error "qrv::qrv did not carry the library's compile definitions"
#endif

namespace {

int g_failures = 0;

void check(bool bOk, const char* what)
{
    if (!bOk) {
        std::fprintf(stderr, "qrv_consumer: FAILED: %s (last error %lu)\n", what, ::GetLastError());
        ++g_failures;
    }
}

const wchar_t kKeyPath[] = L"Software\\QRVTests\\Consumer";

void useString()
{
    CQRVWCharString szText(L"Hello from a consumer");
    check(szText.getLength() == 21, "string length");
    check(szText.contains(CQRVWCharString(L"consumer")), "string contains");
    check(!szText.contains(CQRVWCharString(L"Consumer")), "string search is case-sensitive");
}

void useRegistryValue()
{
    const CQRVWCharString szWritten(L"written by qrv_consumer");
    {
        CQRVRegistryString value(HKEY_CURRENT_USER, kKeyPath, L"Greeting", KEY_WRITE, true);
        check(value.setValue(szWritten, false), "registry setValue");
    }
    {
        CQRVRegistryString value(HKEY_CURRENT_USER, kKeyPath, L"Greeting", KEY_READ);
        CQRVWCharString szRead;
        check(value.getValue(szRead, false), "registry getValue");
        check(szRead == szWritten, "registry value read back");
    }
    check(::RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath) == ERROR_SUCCESS, "test key removed");
    HKEY hKey = nullptr;
    check(::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &hKey) == ERROR_FILE_NOT_FOUND,
          "test key gone");
    if (hKey)
        ::RegCloseKey(hKey);
}

void useLogRecord()
{
    wchar_t szFolder[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, szFolder);
    const std::wstring strPath = std::wstring(szFolder) + L"qrv_consumer_log.txt";
    ::DeleteFileW(strPath.c_str());

    CQRVLogRecord record;
    record.kind = lkInformation;
    record.message = L"consumer record";
    record.logFilePath = strPath;
    check(CQRVLoggingOutputText().write(record), "log record written");

    // The file is UTF-16LE with its byte-order mark; the line names kind and message.
    std::wstring strText;
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) {
        wchar_t buffer[1024] = {0};
        DWORD cbRead = 0;
        ::ReadFile(hFile, buffer, sizeof(buffer) - sizeof(wchar_t), &cbRead, nullptr);
        ::CloseHandle(hFile);
        strText.assign(buffer, cbRead / sizeof(wchar_t));
    }
    check(!strText.empty() && strText[0] == 0xFEFF, "log file starts with the byte-order mark");
    check(strText.find(L"INFORMATION") != std::wstring::npos, "log line names the kind");
    check(strText.find(L"consumer record") != std::wstring::npos, "log line holds the message");
    check(::DeleteFileW(strPath.c_str()) != 0, "log file removed");
}

} // namespace

int main()
{
    useString();
    useRegistryValue();
    useLogRecord();
    if (g_failures == 0)
        std::printf("qrv_consumer: all checks passed\n");
    return g_failures;
}
