// The restart offer that ends a successful run: the service keeps its old executable
// until Windows starts again.
#include "quillfix.h"

#include "qrv_win_reboot.h"
#include "quillfix_resource.h"

bool offerRestart()
{
    // Silent runs answer No: a deployment never restarts a machine on its own.
    int nAnswer = showPatchMessage(IDS_RESTART_NEEDED, MB_YESNO, IDNO);
    if (nAnswer != IDYES)
        return true;
    CQRVWinReboot reboot;
    return reboot.rebootSystem(false, CQRVWCharString(), CQRVWCharString(), nullptr);
}
