// CQRVPolicySearchPolicy: an ordered list of policy locations.
#include "qrv_policy_search_policy.h"

namespace {
const wchar_t kClassName[] = L"CQRVPolicySearchPolicy";
}

CQRVPolicySearchPolicy::CQRVPolicySearchPolicy()
{
    QRV_TRACE(kClassName, L"CQRVPolicySearchPolicy");
    qrvTrace.passFail(true);
}

bool CQRVPolicySearchPolicy::addPolicy(PolicyLocation location)
{
    QRV_TRACE(kClassName, L"addPolicy");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return m_lstLocations.add(location, static_cast<long>(m_lstLocations.m_ulCount));
    }));
}

PolicyLocation CQRVPolicySearchPolicy::getPolicyLocation(unsigned long ulIndex) const
{
    QRV_TRACE(kClassName, L"getPolicyLocation");
    PolicyLocation location = plMachinePolicy;
    qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        if (ulIndex >= m_lstLocations.m_ulCount || !m_lstLocations.moveFirst())
            throw CQRVIndexOutOfBoundsException(QRV_HERE);
        for (unsigned long ulStep = 0; ulStep < ulIndex; ++ulStep) {
            if (!m_lstLocations.moveNext())
                throw CQRVIndexOutOfBoundsException(QRV_HERE);
        }
        PolicyLocation current = plMachinePolicy;
        if (!m_lstLocations.getCurrent(current))
            throw CQRVIndexOutOfBoundsException(QRV_HERE);
        location = current;
        return true;
    }));
    return location;
}
