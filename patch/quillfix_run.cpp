// The patch run: the command line's own outcomes, the gates in their fixed order, then
// the replacement, the record and the restart offer. Apart from checkOperatingSystem
// nothing here catches: library failures arrive as false results.
#include "quillfix.h"

#include "qrv_product.h"
#include "qrv_product_qlt.h"
#include "qrv_product_rsx.h"
#include "qrv_protocol.h"
#include "qrv_windows_os_info.h"
#include "quillfix_detail_log.h"
#include "quillfix_resource.h"

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
    // end, then finds its result. A run still waiting after ten minutes touches nothing.
    const DWORD dwWaitStart = ::GetTickCount();
    QuillfixRunLock runLock(kRunLockWait);
    detailLog(std::wstring(L"Run lock ") + (runLock.held() ? L"taken" : L"not taken") + L" after " +
              std::to_wstring(::GetTickCount() - dwWaitStart) + L" ms");
    if (!runLock.held()) {
        if (bRemove)
            reportRestoreFailure(szTarget);
        else
            reportReplaceFailure(resolveInInstallDirectory(szTarget));
        return ERROR_INSTALL_ALREADY_RUNNING;
    }
    UINT uQuestionId = IDS_RESTART_NEEDED;
    if (bRemove) {
        int nResult = removePatch(szTarget);
        if (nResult != ERROR_SUCCESS)
            return nResult;
        uQuestionId = IDS_UNINSTALL_COMPLETED;
    } else {
        if (!replaceFile(szServiceFile, szTarget))
            return ERROR_INSTALL_FAILURE;
        recordPatch(CQRVWCharString(kPatchDescription), szServiceFile);
    }
    // The lock is held to the end of the run: the patch log, opened by one writer at a
    // time, gets every run's line.
    return offerRestart(uQuestionId, options.bNoRestart);
}
