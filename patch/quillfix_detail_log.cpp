// The detailed log: the run's steps as INFORMATION records (ERROR records for failed
// calls, with the Win32 code) through the library's per-process log destination.
#include "quillfix_detail_log.h"

#include <vector>

#include "internal/qrv_text.h"

#include "qrv_logging.h"
#include "qrv_product_qlt.h"
#include "quillfix.h"
#include "qrv_logging_config.h"

namespace {

// What the detailed log takes besides the steps: every failure and warning record of
// the library (CRITICAL, EXCEPTION_BAD, ERROR, WARNING), never its traces.
const unsigned short kDetailLogKinds = lkCritical | lkExceptionBad | lkError | lkWarning | lkInformation;

void writeRecord(int nKind, const std::wstring& strLine, DWORD dwError)
{
    CQRVDetailedLog record(nKind, strLine.c_str(), static_cast<int>(dwError), RESULT_ERROR_CODE, nullptr, nullptr,
                           nullptr, 0, true, false, OUTPUT_TEXT);
}

std::wstring describePath(const wchar_t* pszPath)
{
    std::wstring text = L"\"";
    text += pszPath;
    text += L"\"";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(pszPath, GetFileExInfoStandard, &data))
        return text + L" (absent)";
    ULONGLONG ullSize = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return text + L" (" + std::to_wstring(ullSize) + L" bytes)";
}

} // namespace

bool openDetailLog(const std::wstring& strPath)
{
    DWORD cch = ::GetFullPathNameW(strPath.c_str(), 0, nullptr, nullptr);
    std::vector<wchar_t> full(cch + 1);
    if (cch == 0 || ::GetFullPathNameW(strPath.c_str(), cch + 1, full.data(), nullptr) == 0)
        return false;
    CQRVLoggingConfig::setProcessLogDestination(full.data(), kDetailLogKinds);
    CQRVDetailedLog first(lkInformation, L"Detailed log opened", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0,
                          true, false, OUTPUT_TEXT);
    if (!first.logged)
        CQRVLoggingConfig::setProcessLogDestination(std::wstring(), 0);
    return first.logged;
}

bool detailLogOn()
{
    std::wstring strPath;
    unsigned short usDetail = 0;
    return CQRVLoggingConfig::getProcessLogDestination(strPath, usDetail);
}

void detailLog(const std::wstring& strLine)
{
    if (detailLogOn())
        writeRecord(lkInformation, strLine, 0);
}

void detailLogFailure(const std::wstring& strLine, DWORD dwError)
{
    if (detailLogOn())
        writeRecord(lkError, strLine, dwError);
}

bool detailCall(BOOL bResult, const wchar_t* pszCall, const wchar_t* pszFirst, const wchar_t* pszSecond,
                const wchar_t* pszThird)
{
    const DWORD dwError = ::GetLastError();
    if (detailLogOn()) {
        std::wstring line = pszCall;
        for (const wchar_t* pszPath : {pszFirst, pszSecond, pszThird}) {
            if (pszPath != nullptr)
                line += L" " + describePath(pszPath);
        }
        if (bResult)
            writeRecord(lkInformation, line + L": done", 0);
        else
            writeRecord(lkError, line + L": failed", dwError);
    }
    ::SetLastError(dwError);
    return bResult != FALSE;
}

bool detailRegistryCall(LONG lResult, const wchar_t* pszCall, const std::wstring& strKey)
{
    if (detailLogOn()) {
        std::wstring line = std::wstring(pszCall) + L" \"" + strKey + L"\"";
        if (lResult == ERROR_SUCCESS)
            writeRecord(lkInformation, line + L": done", 0);
        else
            writeRecord(lkError, line + L": failed", static_cast<DWORD>(lResult));
    }
    return lResult == ERROR_SUCCESS;
}

void detailLogSystem()
{
    if (!detailLogOn())
        return;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    std::wstring line = L"Windows version ";
    if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
        line += std::to_wstring(version.dwMajorVersion) + L"." + std::to_wstring(version.dwMinorVersion) +
                L" build " + std::to_wstring(version.dwBuildNumber) + L" \"" + version.szCSDVersion +
                L"\" product type " + std::to_wstring(version.wProductType);
    } else {
        line += L"unknown";
    }
    // IsWow64Process came with XP SP2: looked up, so the program still starts on older XP.
    BOOL bWow64 = FALSE;
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    IsWow64ProcessFn pIsWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    if (pIsWow64Process != nullptr)
        pIsWow64Process(::GetCurrentProcess(), &bWow64);
    line += sizeof(void*) == 8 ? L"; 64-bit process" : (bWow64 ? L"; 32-bit process on 64-bit Windows (WOW64)"
                                                                : L"; 32-bit process");
    detailLog(line);

    wchar_t szUser[257];
    DWORD cchUser = sizeof(szUser) / sizeof(szUser[0]);
    if (::GetUserNameW(szUser, &cchUser))
        detailLog(std::wstring(L"Account ") + szUser);
    else
        detailLogFailure(L"Account unknown (GetUserNameW failed)", ::GetLastError());
}

void detailLogSuite()
{
    if (!detailLogOn())
        return;
    CQRVProduct_QLT suite;
    CQRVWCharString szLocation;
    if (suite.getRegistryLocation(szLocation))
        detailLog(std::wstring(L"Suite found under HKLM\\") + qrv_detail::textOrEmpty(szLocation) +
                  L" (the record goes there, in this process's default registry view)");
    else
        detailLog(L"Suite not found; the backup product is installed (no record is written)");
    detailLog(std::wstring(L"Patch log ") +
              qrv_detail::textOrEmpty(resolveInInstallDirectory(CQRVWCharString(L"patchlog.txt"))));
}
