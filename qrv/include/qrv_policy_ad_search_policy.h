// CQRVPolicyADSearchPolicy: policies before preferences, and within each the
// machine, the user, then the default user.
#pragma once

#include "qrv_policy_search_policy.h"

class CQRVPolicyADSearchPolicy : public CQRVPolicySearchPolicy {
public:
    CQRVPolicyADSearchPolicy();
};
