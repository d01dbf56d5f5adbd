#include "qrv_flags.h"

#include "qrv_log_record.h"
#include "qrv_protocol.h"

CQRVFlags::CQRVFlags(unsigned long ulFlags) : m_ulFlags(ulFlags)
{
    QRV_TRACE(L"CQRVFlags", L"CQRVFlags");
    qrvTrace.passFail(true);
}

CQRVFlags& CQRVFlags::operator=(const CQRVFlags& other)
{
    QRV_TRACE(L"CQRVFlags", L"operator=");
    m_ulFlags = other.m_ulFlags;
    qrvTrace.passFail(true);
    return *this;
}

bool CQRVFlags::operator!=(const CQRVFlags& other) const
{
    QRV_TRACE(L"CQRVFlags", L"operator!=");
    return qrvTrace.logical(m_ulFlags != other.m_ulFlags);
}

bool CQRVFlags::hasFlags(unsigned long ulFlags) const
{
    QRV_TRACE(L"CQRVFlags", L"hasFlags");
    return qrvTrace.logical((ulFlags & m_ulFlags) == ulFlags);
}

bool CQRVFlags::getIndex(unsigned long ulFlag, unsigned long& ulIndex) const
{
    QRV_TRACE(L"CQRVFlags", L"getIndex");
    if (!hasFlags(ulFlag))
        return qrvTrace.passFail(false);
    unsigned long ulBits = ulFlag & m_ulFlags;
    if (ulBits == 0)
        return qrvTrace.passFail(false);
    unsigned long ulCount = 0;
    while (ulBits > 1) {
        ulBits /= 2;
        ++ulCount;
    }
    ulIndex = ulCount;
    return qrvTrace.passFail(true);
}
