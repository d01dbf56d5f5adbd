#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qrv_policy_vesk_search_policy.h"
#include "qrv_product_policy.h"
#include "qrv_test_support.h"

namespace {

// A product policy of vendor "QRVTests", product "<Suite>.<Test>" searched in the
// preference order: HKLM\Software\QRVTests\<name>, then HKCU\Software\QRVTests\<name>
// (the test's own key), then HKLM\Software\QRVTests\<name>\User Defaults.
class ProductPolicyTest : public ::testing::Test {
protected:
    ProductPolicyTest()
        : m_product(m_key.path().substr(std::wstring(L"Software\\QRVTests\\").size())),
          m_machineKey(L"Software\\QRVTests\\" + m_product), m_policy(CQRVPolicyVeskSearchPolicy())
    {
        m_policy.addPolicySetting(dword(20, L"Count", 3));
        m_policy.addPolicySetting(dword(21, L"Other", 0));
        m_policy.addPolicySetting(CQRVPolicyStringSetting(
            CQRVWCharString(L"QRVTests"), CQRVWCharString(m_product.c_str()), 22, 1, CQRVWCharString(L"1.0"),
            CQRVWCharString(L"Name"), CQRVWCharString(), CQRVWCharString(L"none"), false, false));
    }
    ~ProductPolicyTest() override
    {
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, m_machineKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\QRVTests"); // only when nothing else is left in it
    }

    CQRVPolicyDwordSetting dword(int nId, const wchar_t* szName, unsigned long ulDefault)
    {
        return CQRVPolicyDwordSetting(CQRVWCharString(L"QRVTests"), CQRVWCharString(m_product.c_str()), nId, 1,
                                      CQRVWCharString(L"1.0"), CQRVWCharString(szName), CQRVWCharString(),
                                      ulDefault, false);
    }

    QRVTestKey m_key;
    std::wstring m_product;
    std::wstring m_machineKey;
    CQRVProductPolicy m_policy;
};

} // namespace

TEST_F(ProductPolicyTest, CopiesTheSearchOrder)
{
    EXPECT_EQ(3u, m_policy.getLocationCount());
}

TEST_F(ProductPolicyTest, FirstLocationHoldingTheValueWins)
{
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, m_key.path(), L"Count", 11));
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, m_machineKey + L"\\User Defaults", L"Count", 12));
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_TRUE(m_policy.getPolicy(20, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(11UL, ulValue) << "the user preference comes before the default-user one";

    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, m_machineKey, L"Count", 10));
    EXPECT_TRUE(m_policy.getPolicy(20, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(10UL, ulValue) << "a new value at an earlier location is seen: nothing is cached";

    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, m_machineKey);
    EXPECT_TRUE(m_policy.getPolicy(20, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(11UL, ulValue);
}

TEST_F(ProductPolicyTest, DefaultUnlessNoDefault)
{
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_TRUE(m_policy.getPolicy(20, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(3UL, ulValue);
    ulValue = 0xDEADBEEF;
    EXPECT_FALSE(m_policy.getPolicy(20, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(0xDEADBEEFUL, ulValue);
}

TEST_F(ProductPolicyTest, UnknownIdentifierWarns)
{
    QRVLogCapture capture;
    unsigned long ulValue = 0xDEADBEEF;
    // 22 is a string setting: the DWORD lookup does not find it.
    EXPECT_FALSE(m_policy.getPolicy(22, ulValue, false, CQRVWCharString()));
    EXPECT_FALSE(m_policy.getPolicy(99, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(0xDEADBEEFUL, ulValue);
    EXPECT_EQ(1u, capture.linesWith(L"Could not find policy setting with ID ( 22 )").size());
    EXPECT_EQ(1u, capture.linesWith(L"Could not find policy setting with ID ( 99 )").size());
}

TEST_F(ProductPolicyTest, GetPolicySettingCopiesTheTaggedSetting)
{
    CQRVPolicyDwordSetting found;
    ASSERT_TRUE(m_policy.getPolicySetting(21, found));
    EXPECT_TRUE(found == dword(21, L"Other", 0));
    CQRVPolicyStringSetting name;
    ASSERT_TRUE(m_policy.getPolicySetting(22, name));
    EXPECT_EQ(22, name.getId());
    CQRVPolicyDwordSetting missing;
    EXPECT_FALSE(m_policy.getPolicySetting(22, missing));
}
