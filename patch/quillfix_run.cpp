// The patch run: the command line's own outcomes, the gates in their fixed order, then
// the replacement, the record and the restart offer. Apart from checkOperatingSystem
// nothing here catches: library failures arrive as false results.
#include "quillfix.h"

#include "internal/qrv_text.h"
#include "qrv_product.h"
#include "qrv_product_qlt.h"
#include "qrv_product_rsx.h"
#include "qrv_protocol.h"
#include "qrv_windows_os_info.h"
#include "quillfix_detail_log.h"
#include "quillfix_resource.h"
#include "quillfix_service.h"
#include "quillfix_swap.h"

using qrv_detail::textOrEmpty;

int g_bSilent = 0;

const wchar_t kServiceFileName[] = L"qrv_reg_monitor_svc.exe";
const wchar_t kPatchDescription[] =
    L"Reduce exporting action to improve the performance of registry monitor service.";

int exitCodeFor(const QuillfixOptions& options, int nResult)
{
    return options.bExitCode ? nResult : 0;
}

int checkOperatingSystem(int& nOSKind)
{
    return qrvAbsorb(0, QRV_HERE, [&] {
        CQRVWindowsOSInfo osInfo;
        if (osInfo.isVista())
            nOSKind = osVista;
        else if (osInfo.isXP())
            nOSKind = osXPFamily;
        else
            nOSKind = osUnsupported;
        return 1;
    });
}

bool isSuiteInstalled()
{
    CQRVProduct_QLT suite;
    return suite.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE);
}

int showMessageByCode(int nCode, UINT uStyle, int nSilentAnswer)
{
    UINT uStringId = 0;
    switch (nCode) {
    case mcOSNotSupported:   uStringId = IDS_OS_NOT_SUPPORTED; break;
    case mcWrongVersion:     uStringId = IDS_WRONG_VERSION; break;
    case mcAlreadyInstalled: uStringId = IDS_ALREADY_INSTALLED; break;
    case mcNotInstalled:     uStringId = IDS_SUITE_NOT_INSTALLED; break;
    case mcRestartNeeded:    uStringId = IDS_RESTART_NEEDED; break;
    case mcInstallFailed:    uStringId = IDS_INSTALL_FAILED; break;
    default:                 uStringId = 0; break;
    }
    return showPatchMessage(uStringId, uStyle, nSilentAnswer);
}

int runPatch(const QuillfixOptions& options)
{
    g_bSilent = options.bSilent ? 1 : 0;
    // The command line first: a run that was not asked for changes nothing, and "/?"
    // wins over any word it does not know.
    if (options.bHelp) {
        showSwitchMessage(IDS_USAGE, std::wstring());
        return ERROR_SUCCESS;
    }
    if (!options.strRefusedWord.empty()) {
        detailLog(L"Command line refused at the word " + options.strRefusedWord);
        showSwitchMessage(IDS_UNKNOWN_SWITCH, options.strRefusedWord);
        return ERROR_INVALID_COMMAND_LINE;
    }
    bool bRemove = options.bRemove;
    bool bRestartService = options.bRestartService;

    int nOSKind = osUnsupported;
    if (!checkOperatingSystem(nOSKind)) {
        detailLog(L"Operating-system check failed");
        showMessageByCode(mcInstallFailed, MB_OK, IDOK);
        return ERROR_INSTALL_FAILURE;
    }
    detailLog(L"Operating-system check: kind " + std::to_wstring(nOSKind) + L" (1 Vista, 2 XP family, 0 refused)");
    if (nOSKind != osVista && nOSKind != osXPFamily) {
        showMessageByCode(mcOSNotSupported, MB_OK, IDOK);
        return ERROR_INSTALL_PLATFORM_UNSUPPORTED;
    }

    // The backup product also carries the service; it is asked only when the suite
    // itself is not found.
    CQRVProduct_RSX backupProduct;
    if (!isSuiteInstalled() &&
        !backupProduct.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE)) {
        detailLog(L"Product check: neither the suite nor the backup product is installed");
        showPatchMessage(IDS_SUITE_NOT_INSTALLED, MB_OK, IDOK);
        return ERROR_PATCH_TARGET_NOT_FOUND;
    }
    detailLogSuite();

    CQRVWCharString szServiceFile(kServiceFileName);
    CQRVWCharString szTarget = makeCommonFilesPath(szServiceFile);

    // One run at a time changes the service program; a second one waits for the first to
    // finish its changes, then finds its result. A run still waiting after ten minutes,
    // or one that cannot have the mutex at all, touches nothing and says so.
    const DWORD dwWaitStart = ::GetTickCount();
    QuillfixRunLock runLock(kRunLockWait);
    detailLog(std::wstring(L"Run lock ") + (runLock.held() ? L"taken" : L"not taken") + L" after " +
              std::to_wstring(::GetTickCount() - dwWaitStart) + L" ms");
    if (!runLock.held()) {
        showPatchMessage(IDS_RUN_TIMED_OUT, MB_OK, IDOK);
        return ERROR_INSTALL_ALREADY_RUNNING;
    }
    // With the restart asked for, the patched program a removal sets aside is deleted
    // by completeRun, while the service is stopped.
    CQRVWCharString szAside;
    if (bRemove) {
        int nResult = removePatch(szTarget, bRestartService ? &szAside : nullptr);
        if (nResult != ERROR_SUCCESS)
            return nResult;
    } else {
        // A repeat run that finds the new program in place changes no file, so it
        // restarts no service either.
        if (bRestartService && quillfix_swap::sameContents(kServiceFileName, textOrEmpty(szTarget))) {
            quillfix_service::reportServiceStep(L"", L"no file changed, no service restarted", 0, 0, false);
            bRestartService = false;
        }
        if (!replaceFile(szServiceFile, szTarget))
            return ERROR_INSTALL_FAILURE;
        recordPatch(CQRVWCharString(kPatchDescription), szServiceFile, szTarget);
    }
    // The files and the record are final. completeRun releases the lock once the service
    // restart (when asked for) is over, just before the completion box or the restart
    // question: the next run need not wait for the user's answer.
    const bool bNoRestart = options.bNoRestart;
    return bRemove ? completeRun(runLock, bRestartService, bNoRestart, szTarget, szAside,
                                 IDS_REMOVAL_SERVICE_RESTARTED, IDS_UNINSTALL_COMPLETED)
                   : completeRun(runLock, bRestartService, bNoRestart, szTarget, szAside, IDS_SERVICE_RESTARTED,
                                 IDS_RESTART_NEEDED);
}
