// CQRVProductPolicy: a product's policy settings (owned copies, tagged with their
// identifiers) and the order of locations in which their values are looked up.
// Values read through it are never cached: each lookup works on a fresh copy.
#pragma once

#include "qrv_dbllist.h"
#include "qrv_policy_dword_setting.h"
#include "qrv_policy_search_policy.h"
#include "qrv_policy_string_setting.h"

class CQRVProductPolicy {
public:
    explicit CQRVProductPolicy(const CQRVPolicySearchPolicy& searchPolicy);
    ~CQRVProductPolicy();
    CQRVProductPolicy(const CQRVProductPolicy&) = delete;
    CQRVProductPolicy& operator=(const CQRVProductPolicy&) = delete;

    bool addPolicySetting(const CQRVPolicyDwordSetting& setting);
    bool addPolicySetting(const CQRVPolicyStringSetting& setting);

    // Copies the setting with that identifier; a missing one writes
    // CQRVGetPolicySettingWarning and gives false.
    bool getPolicySetting(int nId, CQRVPolicyDwordSetting& setting);
    bool getPolicySetting(int nId, CQRVPolicyStringSetting& setting);

    // The DWORD setting's value from the first location of the search order that
    // holds it; otherwise its default, unless bNoDefault asks for false instead.
    bool getPolicy(int nId, unsigned long& ulValue, bool bNoDefault, const CQRVWCharString& szSubstitution);

    unsigned long getLocationCount() const { return m_searchPolicy.getCount(); }

private:
    CQRVPolicySearchPolicy m_searchPolicy;
    CQRVDblList<CQRVObjNode<CQRVPolicyDwordSetting> > m_lstDwordSettings;
    CQRVDblList<CQRVObjNode<CQRVPolicyStringSetting> > m_lstStringSettings;
};
