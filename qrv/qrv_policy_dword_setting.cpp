// CQRVPolicyDwordSetting: REG_DWORD reads and writes of a policy setting.
#include "qrv_policy_dword_setting.h"

#include "qrv_registry_dword.h"

namespace {
const wchar_t kClassName[] = L"CQRVPolicyDwordSetting";
}

CQRVPolicyDwordSetting::CQRVPolicyDwordSetting() : CQRVPolicySetting<unsigned long>()
{
    m_type = pstDword;
}

CQRVPolicyDwordSetting::CQRVPolicyDwordSetting(const CQRVWCharString& szVendorName,
                                               const CQRVWCharString& szProductName, int nId, int nSource,
                                               const CQRVWCharString& szVersion, const CQRVWCharString& szValueName,
                                               const CQRVWCharString& szSubKey, unsigned long ulDefault, bool bMarker)
    : CQRVPolicySetting<unsigned long>(szVendorName, szProductName, nId, nSource, szVersion, szValueName, szSubKey,
                                       ulDefault, bMarker, pstDword)
{
}

bool CQRVPolicyDwordSetting::getPolicy(PolicyLocation location, unsigned long& ulValue, bool bUseCache,
                                       const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"getPolicy");
    return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
        if (bUseCache && m_bCacheValid) {
            ulValue = m_cache;
            return true;
        }
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(kClassName, L"getPolicy", QRV_HERE);
            return false;
        }
        CQRVRegistryDword value(qrv_detail::policyLocationRoot(location), getValueLocation(location, szSubstitution),
                                m_valueName, KEY_READ, false, 0);
        unsigned long ulRead = 0;
        if (!value.getValue(ulRead, false))
            return false;
        ulValue = ulRead;
        m_cache = ulRead;
        m_bCacheValid = true;
        return true;
    }));
}

bool CQRVPolicyDwordSetting::setPolicy(PolicyLocation location, const unsigned long& ulValue, bool bCreate,
                                       unsigned long ulOptions, const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"setPolicy");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(kClassName, L"setPolicy", QRV_HERE);
            return false;
        }
        CQRVRegistryDword value(qrv_detail::policyLocationRoot(location), getValueLocation(location, szSubstitution),
                                m_valueName, KEY_READ | KEY_WRITE, bCreate, ulOptions);
        if (!value.setValue(ulValue, false))
            return false;
        m_cache = ulValue;
        m_bCacheValid = true;
        return true;
    }));
}
