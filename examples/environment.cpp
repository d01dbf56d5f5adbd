// docs/library.md, "Environment and OS": an environment variable, expansion of
// %NAME% references, and the Windows version checks.
#include <windows.h>

#include <cstdio>
#include <string>

#include "example_check.h"
#include "qrv_environment_variable.h"
#include "qrv_wchar_string.h"
#include "qrv_windows_os_info.h"

int main()
{
    CQRVWCharString szRoot;
    check(CQRVEnvironmentVariable(L"SystemRoot").getValue(szRoot) && szRoot.getLength() > 0, "SystemRoot");

    CQRVWCharString szPath(L"%SystemRoot%\\system32");
    check(szPath.expand() && szPath.str() == szRoot.str() + L"\\system32", "expand");

    // A variable that does not exist: false, and the system's ERROR_ENVVAR_NOT_FOUND.
    CQRVWCharString szNone;
    check(!CQRVEnvironmentVariable(L"QRV_EXAMPLE_UNSET").getValue(szNone) &&
              ::GetLastError() == ERROR_ENVVAR_NOT_FOUND, "missing variable");

    CQRVWindowsOSInfo os;
    std::printf("XP family: %d, Vista: %d\n", os.isXP() ? 1 : 0, os.isVista() ? 1 : 0);
    return exampleFailures();
}
