// CQRVWinReboot: asks Windows to restart or power off, enabling the shutdown privilege
// of the process for the request. The object owns the process token it opened and
// closes it in the destructor.
//
// No operation raises; failures are logged and answered with false.
#pragma once

#include <windows.h>

#include "qrv_wchar_string.h"

class CQRVWinReboot {
public:
    // doReboot kinds: rkPowerOff powers off, any other value restarts.
    enum { rkRestart = 0, rkPowerOff = 1 };

    CQRVWinReboot();
    ~CQRVWinReboot();
    CQRVWinReboot(const CQRVWinReboot&) = delete;
    CQRVWinReboot& operator=(const CQRVWinReboot&) = delete;

    // Opens the process token (once) and enables "SeShutdownPrivilege" in it. True
    // when AdjustTokenPrivileges succeeds; a partial grant is not examined.
    bool setShutdownPrivilege();
    // Disables the privilege again in the stored token. Always true.
    bool resetShutdownPrivilege();

    // Enables the privilege, optionally asks (Yes/No box; anything but Yes cancels),
    // then calls ExitWindowsEx with EWX_FORCEIFHUNG and reason 0. True when the
    // shutdown was started, or when the user declined; false when the privilege or
    // ExitWindowsEx failed.
    bool doReboot(int nKind, bool bAsk, const CQRVWCharString& szTitle, const CQRVWCharString& szText,
                  HWND hOwner);
    // doReboot with a restart, then the privilege is disabled again whatever happened.
    bool rebootSystem(bool bAsk, const CQRVWCharString& szTitle, const CQRVWCharString& szText,
                      HWND hOwner);

    HANDLE getToken() const { return m_hToken; }

private:
    HANDLE m_hToken;
    TOKEN_PRIVILEGES m_tkp;
};
