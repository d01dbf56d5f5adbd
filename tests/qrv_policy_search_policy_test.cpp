#include <gtest/gtest.h>

#include <vector>

#include "qrv_policy_ad_search_policy.h"
#include "qrv_policy_search_policy.h"
#include "qrv_policy_vesk_search_policy.h"
#include "qrv_test_support.h"

namespace {

std::vector<unsigned long> order(const CQRVPolicySearchPolicy& policy)
{
    std::vector<unsigned long> locations;
    for (unsigned long i = 0; i < policy.getCount(); ++i)
        locations.push_back(policy.getPolicyLocation(i));
    return locations;
}

} // namespace

TEST(PolicySearchPolicyTest, PredefinedOrders)
{
    EXPECT_EQ((std::vector<unsigned long>{0x01, 0x02, 0x04, 0x08, 0x10, 0x20}), order(CQRVPolicyADSearchPolicy()));
    EXPECT_EQ((std::vector<unsigned long>{0x08, 0x10, 0x20}), order(CQRVPolicyVeskSearchPolicy()));
    EXPECT_EQ(0u, CQRVPolicySearchPolicy().getCount());
}

TEST(PolicySearchPolicyTest, KeepsTheOrderOfAdding)
{
    CQRVPolicySearchPolicy policy;
    EXPECT_TRUE(policy.addPolicy(plUserPreference));
    EXPECT_TRUE(policy.addPolicy(plMachinePolicy));
    EXPECT_TRUE(policy.addPolicy(plUserPreference));
    EXPECT_EQ((std::vector<unsigned long>{0x10, 0x01, 0x10}), order(policy));
}

TEST(PolicySearchPolicyTest, IndexPastTheEndGivesMachinePolicyAndARecord)
{
    QRVLogCapture capture;
    CQRVPolicyVeskSearchPolicy vesk;
    EXPECT_EQ(plMachinePolicy, vesk.getPolicyLocation(3));
    EXPECT_EQ(1u, capture.linesWith(L"Index out of array bounds").size());
    EXPECT_EQ(plMachinePolicy, CQRVPolicySearchPolicy().getPolicyLocation(0));
    EXPECT_EQ(2u, capture.linesWith(L"Index out of array bounds").size());
    EXPECT_EQ(plDefaultUserPreference, vesk.getPolicyLocation(2)) << "the last index is still inside";
}
