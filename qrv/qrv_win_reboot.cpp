// CQRVWinReboot: shutdown privilege and the ExitWindowsEx request.
#include "qrv_win_reboot.h"

#include "qrv_flags.h"
#include "qrv_message_box.h"
#include "qrv_protocol.h"

namespace {

const wchar_t kClassName[] = L"CQRVWinReboot";

// Applications that stop responding are closed; the others may still save their work.
const UINT kRestartFlags = EWX_REBOOT | EWX_FORCEIFHUNG;     // 0x12
const UINT kPowerOffFlags = EWX_POWEROFF | EWX_FORCEIFHUNG;  // 0x18

} // namespace

CQRVWinReboot::CQRVWinReboot() : m_hToken(nullptr)
{
    QRV_TRACE(kClassName, L"CQRVWinReboot");
    ZeroMemory(&m_tkp, sizeof(m_tkp));
    qrvTrace.passFail(true);
}

CQRVWinReboot::~CQRVWinReboot()
{
    QRV_TRACE(kClassName, L"~CQRVWinReboot");
    if (m_hToken != nullptr)
        ::CloseHandle(m_hToken);
    m_hToken = nullptr;
    qrvTrace.passFail(true);
}

bool CQRVWinReboot::setShutdownPrivilege()
{
    QRV_TRACE(kClassName, L"setShutdownPrivilege");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        HANDLE hProcess = ::GetCurrentProcess();
        if (hProcess == nullptr)
            return false;
        // A second call reuses the token rather than leaking the first handle.
        if (m_hToken == nullptr &&
            !::OpenProcessToken(hProcess, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &m_hToken)) {
            m_hToken = nullptr;
            throw CQRVOpenProcessTokenException(L"hProcess", static_cast<int>(::GetLastError()), QRV_HERE);
        }
        if (!::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &m_tkp.Privileges[0].Luid))
            return false;
        m_tkp.PrivilegeCount = 1;
        m_tkp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        return ::AdjustTokenPrivileges(m_hToken, FALSE, &m_tkp, 0, nullptr, nullptr) != FALSE;
    }));
}

bool CQRVWinReboot::resetShutdownPrivilege()
{
    // Recorded under the enabling operation's name: the pair reads as one step in the log.
    QRV_TRACE(kClassName, L"setShutdownPrivilege");
    m_tkp.Privileges[0].Attributes = 0;
    if (m_hToken != nullptr && m_tkp.PrivilegeCount == 1)
        ::AdjustTokenPrivileges(m_hToken, FALSE, &m_tkp, 0, nullptr, nullptr);
    return qrvTrace.passFail(true);
}

bool CQRVWinReboot::doReboot(int nKind, bool bAsk, const CQRVWCharString& szTitle, const CQRVWCharString& szText,
                             HWND hOwner)
{
    QRV_TRACE(kClassName, L"doReboot");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        bool bResult = setShutdownPrivilege();
        if (!bResult)
            return false;
        if (bAsk) {
            CQRVMessageBox box(hOwner, szTitle, szText, CQRVFlags(MB_YESNO));
            bool bShown = box.setTitle(szTitle) && box.setMsg(szText) && box.showMessageBox();
            if (!bShown || box.getAnswer() != IDYES)
                return bResult;
        }
        return ::ExitWindowsEx(nKind == rkPowerOff ? kPowerOffFlags : kRestartFlags, 0) == 1;
    }));
}

bool CQRVWinReboot::rebootSystem(bool bAsk, const CQRVWCharString& szTitle, const CQRVWCharString& szText,
                                 HWND hOwner)
{
    QRV_TRACE(kClassName, L"rebootSystem");
    bool bResult = doReboot(rkRestart, bAsk, szTitle, szText, hOwner);
    resetShutdownPrivilege();
    return qrvTrace.passFail(bResult);
}
