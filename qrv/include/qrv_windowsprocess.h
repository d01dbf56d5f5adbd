// CQRVWindowsProcess: switches one named privilege of a process token on or off.
// Stateless; made on the stack around one call. A privilege enabled here stays
// enabled: nothing restores the token's previous state.
#pragma once

#include <windows.h>

#include "qrv_wchar_string.h"

class CQRVWindowsProcess {
public:
    CQRVWindowsProcess();
    ~CQRVWindowsProcess();

    // Enables (bEnable) or disables the privilege szPrivilege (for example
    // "SeBackupPrivilege") through AdjustTokenPrivileges. When phToken points to a
    // token, that token is used and left open; otherwise (null pointer or null
    // handle) the current process's token is opened for the call and closed again.
    // A token that does not hold the privilege still gives true.
    bool setPrivilege(const CQRVWCharString& szPrivilege, bool bEnable, HANDLE* phToken);
};
