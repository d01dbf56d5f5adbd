// The end of a successful run: the restart offer (the service keeps its old executable
// until Windows starts again), or with "/restartservice" the restart of the service.
#include "quillfix.h"

#include "internal/qrv_text.h"
#include "qrv_win_reboot.h"
#include "quillfix_resource.h"
#include "quillfix_service.h"
#include "quillfix_swap.h"

using qrv_detail::textOrEmpty;

int offerRestart(UINT uQuestionId, bool bNoRestart)
{
    // "/norestart": the same text as a statement (OK), logged as the No it amounts to.
    if (bNoRestart) {
        showPatchNotice(uQuestionId);
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    // Silent runs answer No: a deployment never restarts a machine on its own.
    int nAnswer = showPatchMessage(uQuestionId, MB_YESNO, IDNO);
    if (nAnswer != IDYES)
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    CQRVWinReboot reboot;
    return reboot.rebootSystem(false, CQRVWCharString(), CQRVWCharString(), nullptr) ? ERROR_SUCCESS_REBOOT_INITIATED
                                                                                      : ERROR_SUCCESS_REBOOT_REQUIRED;
}

int completeRun(QuillfixRunLock& runLock, bool bRestartService, bool bNoRestart,
                const CQRVWCharString& szTarget, const CQRVWCharString& szAside, UINT uNoticeId,
                UINT uQuestionId)
{
    const bool bAside = szAside.getLength() > 0;
    if (bRestartService) {
        // While the service is stopped nothing holds the set-aside program: it goes at
        // once, so no rename waits for the next restart.
        auto deleteAside = [&] {
            if (bAside)
                quillfix_swap::deleteAside(textOrEmpty(szAside));
        };
        if (quillfix_service::restartServicesOf(textOrEmpty(szTarget), deleteAside) ==
            quillfix_service::RestartOutcome::Restarted) {
            runLock.release();
            showPatchNotice(uNoticeId);
            return ERROR_SUCCESS;
        }
    }
    // The old program may still be running: deleted now where it can be, else at the
    // next restart, which the question below offers.
    if (bAside)
        quillfix_swap::deleteAside(textOrEmpty(szAside));
    runLock.release();
    return offerRestart(uQuestionId, bNoRestart);
}
