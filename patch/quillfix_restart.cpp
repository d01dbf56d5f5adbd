// The restart offer that ends a successful run: the service keeps its old executable
// until Windows starts again.
#include "quillfix.h"

#include "qrv_win_reboot.h"
#include "quillfix_resource.h"

namespace {

// Asks uQuestionId with Yes/No; Yes restarts the system. True when no restart was
// asked for, otherwise whether the restart was started (bStarted).
bool askAndRestart(UINT uQuestionId, bool& bStarted)
{
    bStarted = false;
    // Silent runs answer No: a deployment never restarts a machine on its own.
    int nAnswer = showPatchMessage(uQuestionId, MB_YESNO, IDNO);
    if (nAnswer != IDYES)
        return true;
    CQRVWinReboot reboot;
    bStarted = reboot.rebootSystem(false, CQRVWCharString(), CQRVWCharString(), nullptr);
    return bStarted;
}

} // namespace

bool offerRestart()
{
    bool bStarted = false;
    return askAndRestart(IDS_RESTART_NEEDED, bStarted);
}

int offerRestartAfter(UINT uQuestionId)
{
    bool bStarted = false;
    askAndRestart(uQuestionId, bStarted);
    return bStarted ? ERROR_SUCCESS_REBOOT_INITIATED : ERROR_SUCCESS_REBOOT_REQUIRED;
}
