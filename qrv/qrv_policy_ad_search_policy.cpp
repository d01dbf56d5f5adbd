// CQRVPolicyADSearchPolicy: all six locations, policies first.
#include "qrv_policy_ad_search_policy.h"

CQRVPolicyADSearchPolicy::CQRVPolicyADSearchPolicy()
{
    QRV_TRACE(L"CQRVPolicyADSearchPolicy", L"CQRVPolicyADSearchPolicy");
    bool bAdded = addPolicy(plMachinePolicy) && addPolicy(plUserPolicy) && addPolicy(plDefaultUserPolicy) &&
                  addPolicy(plMachinePreference) && addPolicy(plUserPreference) &&
                  addPolicy(plDefaultUserPreference);
    qrvTrace.passFail(bAdded);
}
