// CQRVPolicyStringSetting: REG_SZ / REG_EXPAND_SZ reads and writes of a policy setting.
#include "qrv_policy_string_setting.h"

#include "qrv_registry_expand.h"
#include "qrv_registry_string.h"

namespace {
const wchar_t kClassName[] = L"CQRVPolicyStringSetting";
}

CQRVPolicyStringSetting::CQRVPolicyStringSetting() : CQRVPolicySetting<CQRVWCharString>(), m_bExpand(false)
{
    m_type = pstString;
}

CQRVPolicyStringSetting::CQRVPolicyStringSetting(const CQRVWCharString& szVendorName,
                                                 const CQRVWCharString& szProductName, int nId, int nSource,
                                                 const CQRVWCharString& szVersion,
                                                 const CQRVWCharString& szValueName, const CQRVWCharString& szSubKey,
                                                 const CQRVWCharString& szDefault, bool bMarker, bool bExpand)
    : CQRVPolicySetting<CQRVWCharString>(szVendorName, szProductName, nId, nSource, szVersion, szValueName, szSubKey,
                                         szDefault, bMarker, pstString),
      m_bExpand(bExpand)
{
}

bool CQRVPolicyStringSetting::getPolicy(PolicyLocation location, CQRVWCharString& szValue, bool bUseCache,
                                        const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"getPolicy");
    return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
        if (bUseCache && m_bCacheValid) {
            szValue = m_cache;
            return true;
        }
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(kClassName, L"getPolicy", QRV_HERE);
            return false;
        }
        HKEY hRoot = qrv_detail::policyLocationRoot(location);
        CQRVWCharString szPath = getValueLocation(location, szSubstitution);
        CQRVWCharString szRead;
        bool bRead = false;
        if (m_bExpand) {
            CQRVRegistryStringExpand value(hRoot, szPath, m_valueName, KEY_READ, false, 0);
            bRead = value.getValue(szRead, false, true);
        } else {
            CQRVRegistryString value(hRoot, szPath, m_valueName, KEY_READ, false, 0);
            bRead = value.getValue(szRead, false);
        }
        if (!bRead)
            return false;
        szValue = szRead;
        m_cache = szRead;
        m_bCacheValid = true;
        return true;
    }));
}

bool CQRVPolicyStringSetting::setPolicy(PolicyLocation location, const CQRVWCharString& szValue, bool bCreate,
                                        unsigned long ulOptions, const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"setPolicy");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(kClassName, L"setPolicy", QRV_HERE);
            return false;
        }
        HKEY hRoot = qrv_detail::policyLocationRoot(location);
        CQRVWCharString szPath = getValueLocation(location, szSubstitution);
        bool bWritten = false;
        if (m_bExpand) {
            CQRVRegistryStringExpand value(hRoot, szPath, m_valueName, KEY_READ | KEY_WRITE, bCreate, ulOptions);
            bWritten = value.setValue(szValue, false);
        } else {
            CQRVRegistryString value(hRoot, szPath, m_valueName, KEY_READ | KEY_WRITE, bCreate, ulOptions);
            bWritten = value.setValue(szValue, false);
        }
        if (!bWritten)
            return false;
        m_cache = szValue;
        m_bCacheValid = true;
        return true;
    }));
}
