// docs/library.md, "Logging and failures": a program sends its own failure records to a
// file of its choosing, with no logging settings in the registry, through the
// process's log destination; an empty path turns it off again.
#include <windows.h>

#include <string>

#include "example_check.h"
#include "qrv_log_record.h"
#include "qrv_logging_config.h"
#include "qrv_registry_string.h"

namespace {

// The log file's text (UTF-16, after its byte-order mark); empty when there is none.
std::wstring readLog(const std::wstring& strPath)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::wstring text;
    wchar_t buffer[4096];
    DWORD dwRead = 0;
    while (::ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        text.append(buffer, dwRead / sizeof(wchar_t));
    ::CloseHandle(hFile);
    return text;
}

// One failed write: a key opened for reading cannot take a value.
void failOneWrite(const CQRVWCharString& szKey)
{
    CQRVRegistryString readOnly(HKEY_CURRENT_USER, szKey, L"Note", KEY_READ);
    readOnly.setValue(L"y", false);
}

} // namespace

int main()
{
    wchar_t szTemp[MAX_PATH] = L"";
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strLog = std::wstring(szTemp) + L"qrv_example_logging.log";
    ::DeleteFileW(strLog.c_str());
    const CQRVWCharString szKey(L"Software\\QRVExamples\\Logging");
    check(CQRVRegistryString(HKEY_CURRENT_USER, szKey, L"Note", KEY_WRITE, true).setValue(L"x", false), "set up");

    // Failures and warnings of this process go to strLog, whatever the registry says.
    CQRVLoggingConfig::setProcessLogDestination(strLog, lkCritical | lkExceptionBad | lkError | lkWarning);
    std::wstring strPath;
    unsigned short usDetail = 0;
    check(CQRVLoggingConfig::getProcessLogDestination(strPath, usDetail) && strPath == strLog,
          "the destination is set");
    failOneWrite(szKey);
    const std::wstring strText = readLog(strLog);
    check(strText.find(L"Unable to Set registry value") != std::wstring::npos, "the failure record is logged");
    check(strText.find(L"<Error: 0x00000005") != std::wstring::npos, "the record shows the code");

    // Off again: the next failure adds nothing to the file.
    CQRVLoggingConfig::setProcessLogDestination(std::wstring(), 0);
    check(!CQRVLoggingConfig::getProcessLogDestination(strPath, usDetail), "the destination is off");
    failOneWrite(szKey);
    check(readLog(strLog) == strText, "nothing more is logged once it is off");

    ::DeleteFileW(strLog.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, szKey.c_str());
    return exampleFailures();
}
