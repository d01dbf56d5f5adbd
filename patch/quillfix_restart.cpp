// The restart offer that ends a successful run: the service keeps its old executable
// until Windows starts again.
#include "quillfix.h"

#include "qrv_win_reboot.h"
#include "quillfix_resource.h"

int offerRestart(UINT uQuestionId, bool bNoRestart)
{
    // "/norestart": the same text as a statement (OK), logged as the No it amounts to.
    if (bNoRestart) {
        showPatchMessage(uQuestionId, MB_OK, IDOK, IDNO);
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
