// CQRVPolicyVeskSearchPolicy: the preference keys only (machine, user, default user).
#pragma once

#include "qrv_policy_search_policy.h"

class CQRVPolicyVeskSearchPolicy : public CQRVPolicySearchPolicy {
public:
    CQRVPolicyVeskSearchPolicy();
};
