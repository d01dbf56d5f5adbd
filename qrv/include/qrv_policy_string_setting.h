// CQRVPolicyStringSetting: a string policy setting, read as REG_SZ, or as
// REG_EXPAND_SZ expanded against the environment when m_bExpand is set.
#pragma once

#include "qrv_policy_setting.h"

class CQRVPolicyStringSetting : public CQRVPolicySetting<CQRVWCharString> {
public:
    CQRVPolicyStringSetting();
    CQRVPolicyStringSetting(const CQRVWCharString& szVendorName, const CQRVWCharString& szProductName, int nId,
                            int nSource, const CQRVWCharString& szVersion, const CQRVWCharString& szValueName,
                            const CQRVWCharString& szSubKey, const CQRVWCharString& szDefault, bool bMarker,
                            bool bExpand);
    CQRVPolicyStringSetting(const CQRVPolicyStringSetting& other) = default;
    CQRVPolicyStringSetting& operator=(const CQRVPolicyStringSetting& other) = default;

    bool getPolicy(PolicyLocation location, CQRVWCharString& szValue, bool bUseCache,
                   const CQRVWCharString& szSubstitution) override;

    bool setPolicy(PolicyLocation location, const CQRVWCharString& szValue, bool bCreate, unsigned long ulOptions,
                   const CQRVWCharString& szSubstitution) override;

    bool getExpand() const { return m_bExpand; }

private:
    bool m_bExpand;
};
