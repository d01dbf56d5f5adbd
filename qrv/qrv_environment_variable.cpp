// CQRVEnvironmentVariable: reads one environment variable through GetEnvironmentVariableW.
#include "qrv_environment_variable.h"

#include <windows.h>

namespace {

// The largest value an environment variable can hold, terminator included.
const unsigned long kMaxValueUnits = 32767;

} // namespace

CQRVEnvironmentVariable::CQRVEnvironmentVariable(const CQRVWCharString& name)
{
    QRV_TRACE(L"CQRVEnvironmentVariable", L"CQRVEnvironmentVariable");
    m_name = name;
    qrvTrace.passFail(true);
}

bool CQRVEnvironmentVariable::getValue(CQRVWCharString& out) const
{
    QRV_TRACE(L"CQRVEnvironmentVariable", L"getValue");
    return qrvTrace.logical(qrvAbsorbFailuresOnly(false, QRV_HERE, [&] {
        if (!m_name.isValid())
            throw CQRVUnknownVariableNameException(QRV_HERE);
        CQRVBuffer<unsigned short> value(kMaxValueUnits);
        DWORD dwLength = ::GetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(m_name.getBuffer()),
                                                   reinterpret_cast<wchar_t*>(value.m_pBuffer), kMaxValueUnits);
        if (dwLength == 0)
            return false;
        // A value that did not fit is reported by its needed size and not written;
        // the buffer holds the largest possible value, so this cannot happen, but a
        // partial value must never be taken for the real one.
        if (dwLength >= kMaxValueUnits)
            return false;
        out = value;
        return true;
    }));
}
