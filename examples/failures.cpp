// docs/library.md, "Logging and failures": an operation that fails returns false and
// leaves the reason in GetLastError(), which FormatMessageW turns into the system's
// text. (Failure records go to the log the registry settings or the process's own
// destination name; see the guide.)
#include <windows.h>

#include <cstdio>
#include <string>

#include "example_check.h"
#include "qrv_registry_string.h"

namespace {

std::wstring systemText(DWORD dwCode)
{
    wchar_t szText[512] = L"";
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode, 0, szText, 512,
                     nullptr);
    return szText;
}

} // namespace

int main()
{
    const CQRVWCharString szKey(L"Software\\QRVExamples\\Failures");
    check(CQRVRegistryString(HKEY_CURRENT_USER, szKey, L"Note", KEY_WRITE, true).setValue(L"x", false), "set up");

    // A key opened for reading cannot take a write: false, a failure record
    // ("Unable to Set registry value ... <Error: 0x00000005>"), and the code.
    CQRVRegistryString readOnly(HKEY_CURRENT_USER, szKey, L"Note", KEY_READ);
    const bool bWritten = readOnly.setValue(L"y", false);
    const DWORD dwError = ::GetLastError();
    check(!bWritten && dwError == ERROR_ACCESS_DENIED, "write through a read-only key");
    std::wprintf(L"setValue failed: %lu %ls", dwError, systemText(dwError).c_str());

    ::RegDeleteKeyW(HKEY_CURRENT_USER, szKey.c_str());
    return exampleFailures();
}
