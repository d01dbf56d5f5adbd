// The restart offer that ends a successful run: the service keeps its old executable
// until Windows starts again.
#include "quillfix.h"

#include "qrv_win_reboot.h"
#include "quillfix_resource.h"

int offerRestart(UINT uQuestionId)
{
    // Silent runs answer No: a deployment never restarts a machine on its own.
    int nAnswer = showPatchMessage(uQuestionId, MB_YESNO, IDNO);
    if (nAnswer != IDYES)
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    CQRVWinReboot reboot;
    return reboot.rebootSystem(false, CQRVWCharString(), CQRVWCharString(), nullptr) ? ERROR_SUCCESS_REBOOT_INITIATED
                                                                                      : ERROR_SUCCESS_REBOOT_REQUIRED;
}
