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
        return readPolicy(kClassName, QRV_HERE, location, ulValue, bUseCache, szSubstitution,
                          [&](HKEY hRoot, const CQRVWCharString& szPath, unsigned long& ulRead) {
                              CQRVRegistryDword value(hRoot, szPath, m_valueName, KEY_READ, false, 0);
                              return value.getValue(ulRead, false);
                          });
    }));
}

bool CQRVPolicyDwordSetting::setPolicy(PolicyLocation location, const unsigned long& ulValue, bool bCreate,
                                       unsigned long ulOptions, const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"setPolicy");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return writePolicy(kClassName, QRV_HERE, location, ulValue, szSubstitution,
                           [&](HKEY hRoot, const CQRVWCharString& szPath) {
                               CQRVRegistryDword value(hRoot, szPath, m_valueName, KEY_READ | KEY_WRITE, bCreate,
                                                       ulOptions);
                               return value.setValue(ulValue, false);
                           });
    }));
}
