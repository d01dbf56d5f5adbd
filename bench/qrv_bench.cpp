// Measures what the library's design trades for simplicity: the cost of a log record
// (registry reads and a file open per record), of a traced call, and of the exact-size
// string edits. Prints one line per case: iterations, total and per-call time.
// It writes HKLM\SOFTWARE\Zarvik\Logs and restores nothing: run it in a scratch prefix.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "qrv_flags.h"
#include "qrv_protocol.h"
#include "qrv_wchar_string.h"

namespace {

void measure(const char* name, int iterations, const std::function<void()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i)
        body();
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%-44s %8d calls %12.0f us %10.2f us/call\n", name, iterations, elapsed.count(),
                elapsed.count() / iterations);
}

void setLogs(const wchar_t* name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zarvik\\Logs", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
    }
}

void setLogFile(const std::wstring& path)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zarvik\\Logs", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"TextOutput", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring logPath = std::wstring(temp) + L"qrv_bench.log";
    setLogFile(logPath);

    setLogs(L"Logging", 0);
    measure("warning, logging off (filter only)", 20000,
            [] { qrvNote<CQRVLogWarning>(L"bench", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0); });
    setLogs(L"Logging", 1);
    measure("warning, logging on (filter and file line)", 2000,
            [] { qrvNote<CQRVLogWarning>(L"bench", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0); });
    measure("traced hasFlags, tracing off", 20000, [] { CQRVFlags(0x30).hasFlags(0x10); });

    CQRVWCharString text(L"SOFTWARE\\Zarvik\\Quellant\\Patch\\8103");
    measure("string copy and append", 20000, [&] {
        CQRVWCharString copy(text);
        copy += CQRVWCharString(L"\\updated");
    });
    measure("string replace all", 20000, [&] {
        CQRVWCharString copy(text);
        copy.replace(CQRVWCharString(L"\\"), CQRVWCharString(L"/"), 0, ssmAll);
    });
    DeleteFileW(logPath.c_str());
    return 0;
}
