// The patch run: silent switch, the gates in their fixed order, then the replacement,
// the record and the restart offer. Apart from checkOperatingSystem nothing here
// catches: library failures arrive as false results.
#include "quillfix.h"

#include "internal/qrv_text.h"
#include "qrv_product.h"
#include "qrv_product_qlt.h"
#include "qrv_product_rsx.h"
#include "qrv_protocol.h"
#include "qrv_windows_os_info.h"
#include "quillfix_resource.h"
#include "quillfix_service.h"
#include "quillfix_swap.h"

using qrv_detail::textOrEmpty;

int g_bSilent = 0;

const wchar_t kServiceFileName[] = L"qrv_reg_monitor_svc.exe";
const wchar_t kPatchDescription[] =
    L"Reduce exporting action to improve the performance of registry monitor service.";

void setSilentMode(const wchar_t* pszCommandLine)
{
    // A plain substring search, so "/silent" and a path such as "C:\data-sets" count
    // as well: deployment scripts have always relied on that.
    static const wchar_t* const kSwitches[] = {L"/s", L"/S", L"-s", L"-S"};
    int bSilent = 0;
    if (pszCommandLine != nullptr && *pszCommandLine != L'\0') {
        CQRVWCharString szCommandLine(pszCommandLine);
        for (const wchar_t* pszSwitch : kSwitches) {
            if (szCommandLine.contains(CQRVWCharString(pszSwitch))) {
                bSilent = 1;
                break;
            }
        }
    }
    g_bSilent = bSilent;
}

bool hasSwitchWord(const wchar_t* pszCommandLine, const wchar_t* pszName)
{
    if (pszCommandLine == nullptr)
        return false;
    auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'"'; };
    auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    for (const wchar_t* p = pszCommandLine; *p != L'\0';) {
        while (*p != L'\0' && isBlank(*p))
            ++p;
        const wchar_t* pszWord = p;
        while (*p != L'\0' && !isBlank(*p))
            ++p;
        if (p - pszWord < 2 || (*pszWord != L'/' && *pszWord != L'-'))
            continue;
        const wchar_t* q = pszWord + 1;
        const wchar_t* n = pszName;
        while (q != p && *n != L'\0' && lower(*q) == lower(*n)) {
            ++q;
            ++n;
        }
        if (q == p && *n == L'\0')
            return true;
    }
    return false;
}

int exitCodeFor(const wchar_t* pszCommandLine, int nResult)
{
    return hasSwitchWord(pszCommandLine, L"exitcode") ? nResult : 0;
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

int runPatch(const wchar_t* pszCommandLine)
{
    setSilentMode(pszCommandLine);
    bool bRemove = hasSwitchWord(pszCommandLine, L"uninstall");
    bool bRestartService = hasSwitchWord(pszCommandLine, L"restartservice");

    int nOSKind = osUnsupported;
    if (!checkOperatingSystem(nOSKind)) {
        showMessageByCode(mcInstallFailed, MB_OK, IDOK);
        return ERROR_INSTALL_FAILURE;
    }
    if (nOSKind != osVista && nOSKind != osXPFamily) {
        showMessageByCode(mcOSNotSupported, MB_OK, IDOK);
        return ERROR_INSTALL_PLATFORM_UNSUPPORTED;
    }

    // The backup product also carries the service; it is asked only when the suite
    // itself is not found.
    CQRVProduct_RSX backupProduct;
    if (!isSuiteInstalled() &&
        !backupProduct.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE)) {
        showPatchMessage(IDS_SUITE_NOT_INSTALLED, MB_OK, IDOK);
        return ERROR_PATCH_TARGET_NOT_FOUND;
    }

    CQRVWCharString szServiceFile(kServiceFileName);
    CQRVWCharString szTarget = makeCommonFilesPath(szServiceFile);

    // One run at a time changes the service program; a second one waits for the first to
    // finish its changes, then finds its result. A run still waiting after ten minutes,
    // or one that cannot have the mutex at all, touches nothing and says so.
    QuillfixRunLock runLock(kRunLockWait);
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
    return bRemove ? completeRun(runLock, bRestartService, szTarget, szAside, IDS_REMOVAL_SERVICE_RESTARTED,
                                 IDS_UNINSTALL_COMPLETED)
                   : completeRun(runLock, bRestartService, szTarget, szAside, IDS_SERVICE_RESTARTED,
                                 IDS_RESTART_NEEDED);
}
