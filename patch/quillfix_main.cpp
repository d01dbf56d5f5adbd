// quillfix.exe: a GUI program with no window of its own; every interaction is a
// message box. By default the exit code is 0 on every path, whatever happened:
// deployment scripts treat anything else as a broken package. "/exitcode" asks for
// Windows Installer's result codes instead, for deployment tools that report them.
#include <windows.h>

#include "qrv_protocol.h"
#include "quillfix.h"
#include "quillfix_detail_log.h"
#include "quillfix_dll_search.h"
#include "quillfix_resource.h"
#include "quillfix_service_pin.h"
#include "quillfix_service_pin_data.h"
#include "quillfix_version.h"

namespace {

// "/log <file>": the detailed log, opened before anything else is decided so that it
// holds the whole run. A file that cannot be opened costs the run nothing but that
// log; the patch log says so.
void openRunLog(const QuillfixOptions& options, const wchar_t* pszCommandLine)
{
    if (!options.bLog)
        return;
    if (!openDetailLog(options.strLogFile)) {
        appendPatchLogLine(IDS_DETAIL_LOG_FAILED, CQRVWCharString(options.strLogFile.c_str()));
        return;
    }
    detailLog(L"Quillfix " QUILLFIX_VERSION_WTEXT L" (patch 8103), " +
              std::wstring(sizeof(void*) == 8 ? L"64-bit build" : L"32-bit build"));
    detailLog(std::wstring(L"Command line: ") + (pszCommandLine != nullptr ? pszCommandLine : L""));
    if (quillfix_service_pin::pinned())
        detailLog(L"Service program pin: " + quillfix_service_pin::describe());
    detailLogSystem();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR pszCommandLine, int)
{
    // Before anything can load a DLL: none comes from the package or current folder.
    restrictDllSearch();
    // The fingerprint of the service program this build was packaged with, if any
    // (generated from QUILLFIX_SERVICE_PIN, see patch/CMakeLists.txt).
    quillfix_service_pin::set(QUILLFIX_SERVICE_PIN_SHA256, QUILLFIX_SERVICE_PIN_SHA1, QUILLFIX_SERVICE_PIN_SIZE);

    // The run catches nothing itself; a failure the library lets out (a product or
    // string that cannot be built) is logged here instead of ending the process with
    // a crash code.
    QuillfixOptions options;
    int nResult = qrvAbsorb(static_cast<int>(ERROR_INSTALL_FAILURE), QRV_HERE, [&] {
        options = parseCommandLine(pszCommandLine);
        g_bSilent = options.bSilent ? 1 : 0;
        openRunLog(options, pszCommandLine);
        return runPatch(options);
    });
    const int nExitCode = exitCodeFor(options, nResult);
    detailLog(L"Run result " + std::to_wstring(nResult) + L", exit code " + std::to_wstring(nExitCode));
    return nExitCode;
}
