// CQRVPolicyVeskSearchPolicy: the three preference locations.
#include "qrv_policy_vesk_search_policy.h"

CQRVPolicyVeskSearchPolicy::CQRVPolicyVeskSearchPolicy()
{
    QRV_TRACE(L"CQRVPolicyVeskSearchPolicy", L"CQRVPolicyVeskSearchPolicy");
    bool bAdded = addPolicy(plMachinePreference) && addPolicy(plUserPreference) && addPolicy(plDefaultUserPreference);
    qrvTrace.passFail(bAdded);
}
