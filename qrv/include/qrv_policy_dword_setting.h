// CQRVPolicyDwordSetting: a DWORD policy setting, read and written as a REG_DWORD
// value at the key path its base builds for a location.
#pragma once

#include "qrv_policy_setting.h"

class CQRVPolicyDwordSetting : public CQRVPolicySetting<unsigned long> {
public:
    CQRVPolicyDwordSetting();
    CQRVPolicyDwordSetting(const CQRVWCharString& szVendorName, const CQRVWCharString& szProductName, int nId,
                           int nSource, const CQRVWCharString& szVersion, const CQRVWCharString& szValueName,
                           const CQRVWCharString& szSubKey, unsigned long ulDefault, bool bMarker);

    // Reads the value at one location (from the cache when bUseCache and the cache
    // is valid). False, with ulValue untouched, when the value is missing.
    bool getPolicy(PolicyLocation location, unsigned long& ulValue, bool bUseCache,
                   const CQRVWCharString& szSubstitution) override;

    // Writes the value at one location; bCreate and ulOptions go to the registry key.
    bool setPolicy(PolicyLocation location, const unsigned long& ulValue, bool bCreate, unsigned long ulOptions,
                   const CQRVWCharString& szSubstitution) override;
};
