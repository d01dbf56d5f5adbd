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
        return readPolicy(kClassName, QRV_HERE, location, szValue, bUseCache, szSubstitution,
                          [&](HKEY hRoot, const CQRVWCharString& szPath, CQRVWCharString& szRead) {
                              if (m_bExpand) {
                                  CQRVRegistryStringExpand value(hRoot, szPath, m_valueName, KEY_READ, false, 0);
                                  return value.getValue(szRead, false, true);
                              }
                              CQRVRegistryString value(hRoot, szPath, m_valueName, KEY_READ, false, 0);
                              return value.getValue(szRead, false);
                          });
    }));
}

bool CQRVPolicyStringSetting::setPolicy(PolicyLocation location, const CQRVWCharString& szValue, bool bCreate,
                                        unsigned long ulOptions, const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"setPolicy");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return writePolicy(kClassName, QRV_HERE, location, szValue, szSubstitution,
                           [&](HKEY hRoot, const CQRVWCharString& szPath) {
                               const REGSAM samAccess = KEY_READ | KEY_WRITE;
                               if (m_bExpand) {
                                   CQRVRegistryStringExpand value(hRoot, szPath, m_valueName, samAccess, bCreate,
                                                                  ulOptions);
                                   return value.setValue(szValue, false);
                               }
                               CQRVRegistryString value(hRoot, szPath, m_valueName, samAccess, bCreate, ulOptions);
                               return value.setValue(szValue, false);
                           });
    }));
}
