// CQRVMessageBox: a modal box shown with MessageBoxW and reported to the log.
#include "qrv_message_box.h"

#include <string>

#include "internal/qrv_text.h"
#include "qrv_protocol.h"
#include "qrv_windows_resource.h"

using qrv_detail::textOrEmpty;

namespace {

const wchar_t kClassName[] = L"CQRVMessageBox";

} // namespace

CQRVMessageBox::CQRVMessageBox(HWND hOwner, const CQRVWCharString& szTitle, const CQRVWCharString& szMsg,
                               const CQRVFlags& flStyle)
    : m_nAnswer(IDCANCEL), m_szMsg(), m_szTitle(), m_flStyle(0), m_hOwner(hOwner)
{
    QRV_TRACE(kClassName, L"CQRVMessageBox");
    // A member that cannot be copied is logged by qrvAbsorb; the caller gets the
    // init failure, since a half-built box must not be shown.
    bool bReady = qrvAbsorb(false, QRV_HERE, [&] {
        m_szTitle = szTitle;
        m_szMsg = szMsg;
        m_flStyle = flStyle;
        return true;
    });
    qrvTrace.passFail(bReady);
    if (!bReady)
        throw CQRVMessageBoxInitException(static_cast<int>(::GetLastError()), QRV_HERE);
}

CQRVMessageBox::~CQRVMessageBox()
{
    QRV_TRACE(kClassName, L"~CQRVMessageBox");
    qrvTrace.passFail(true);
}

bool CQRVMessageBox::showMessageBox()
{
    QRV_TRACE(kClassName, L"showMessageBox");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        m_nAnswer = ::MessageBoxW(m_hOwner, textOrEmpty(m_szMsg), textOrEmpty(m_szTitle),
                                  static_cast<UINT>(m_flStyle.m_ulFlags));
        std::wstring note(L"Message Box displayed: ");
        note += textOrEmpty(m_szMsg);
        qrvNote<CLogNotification>(note.c_str());
        return m_nAnswer != 0;
    }));
}

bool CQRVMessageBox::setTitle(unsigned int uiStringId)
{
    QRV_TRACE(kClassName, L"setTitle");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWindowsResource resource;
        return resource.loadString(uiStringId, m_szTitle);
    }));
}

bool CQRVMessageBox::setMsg(unsigned int uiStringId)
{
    QRV_TRACE(kClassName, L"setMsg");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWindowsResource resource;
        return resource.loadString(uiStringId, m_szMsg);
    }));
}

bool CQRVMessageBox::setTitle(const CQRVWCharString& szTitle)
{
    QRV_TRACE(kClassName, L"setTitle");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        m_szTitle = szTitle;
        return true;
    }));
}

bool CQRVMessageBox::setMsg(const CQRVWCharString& szMsg)
{
    QRV_TRACE(kClassName, L"setMsg");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        m_szMsg = szMsg;
        return true;
    }));
}
