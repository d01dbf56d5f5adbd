// quillfix.exe: a GUI program with no window of its own; every interaction is a
// message box. By default the exit code is 0 on every path, whatever happened:
// deployment scripts treat anything else as a broken package. "/exitcode" asks for
// Windows Installer's result codes instead, for deployment tools that report them.
#include <windows.h>

#include "qrv_protocol.h"
#include "quillfix.h"
#include "quillfix_dll_search.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR pszCommandLine, int)
{
    // Before anything can load a DLL: none comes from the package or current folder.
    restrictDllSearch();

    // The run catches nothing itself; a failure the library lets out (a product or
    // string that cannot be built) is logged here instead of ending the process with
    // a crash code.
    int nResult = qrvAbsorb(static_cast<int>(ERROR_INSTALL_FAILURE), QRV_HERE,
                            [&] { return runPatch(pszCommandLine); });
    return exitCodeFor(pszCommandLine, nResult);
}
