// CQRVPolicySearchPolicy: the ordered list of policy locations a product policy walks
// when it looks a setting up; the first location that holds the value wins.
#pragma once

#include "qrv_dbllist.h"
#include "qrv_policy_setting.h"

class CQRVPolicySearchPolicy {
public:
    CQRVPolicySearchPolicy();

    // Appends a location to the end of the order.
    bool addPolicy(PolicyLocation location);

    // The location at a zero-based index. An index past the end logs
    // CQRVIndexOutOfBoundsException and gives plMachinePolicy.
    PolicyLocation getPolicyLocation(unsigned long ulIndex) const;

    unsigned long getCount() const { return m_lstLocations.m_ulCount; }

private:
    // Walking the list moves its cursor, which is no part of the order itself.
    mutable CQRVDblList<CQRVStdNode<PolicyLocation> > m_lstLocations;
};
