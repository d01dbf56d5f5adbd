#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qrv_common_policy.h"
#include "qrv_saved_keys.h"
#include "qrv_test_support.h"

namespace {

const wchar_t kPolicyKey[] = L"Software\\Policies\\Zarvik\\QRV Common";
const wchar_t kPreferenceKey[] = L"Software\\Zarvik\\QRV Common";

std::wstring text(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring(L"<invalid>");
}

// The common policy's keys are fixed: take them aside for each test.
class CommonPolicyTest : public ::testing::Test {
protected:
    CommonPolicyTest()
    {
        m_saved.take(HKEY_LOCAL_MACHINE, kPolicyKey);
        m_saved.take(HKEY_CURRENT_USER, kPolicyKey);
        m_saved.take(HKEY_LOCAL_MACHINE, kPreferenceKey);
        m_saved.take(HKEY_CURRENT_USER, kPreferenceKey);
    }

    QRVSavedKeys m_saved;
};

} // namespace

TEST_F(CommonPolicyTest, MachinePolicyWinsOverMachinePreference)
{
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, std::wstring(kPreferenceKey) + L"\\Quellant", L"QLTInstall", 0));
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, std::wstring(kPolicyKey) + L"\\Quellant", L"QLTInstall", 1));
    CQRVCommonPolicy policy;
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_TRUE(policy.getPolicy(cpQLTInstall, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(1UL, ulValue);
}

TEST_F(CommonPolicyTest, UserPreferenceAloneIsFound)
{
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, std::wstring(kPreferenceKey) + L"\\Quellant", L"QLTInstall", 1));
    CQRVCommonPolicy policy;
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_TRUE(policy.getPolicy(cpQLTInstall, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(1UL, ulValue);
}

TEST_F(CommonPolicyTest, DefaultsWhenNothingIsSet)
{
    CQRVCommonPolicy policy;
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_TRUE(policy.getPolicy(cpQLTInstall, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(0UL, ulValue);
    EXPECT_TRUE(policy.getPolicy(cpFPSwipeResult, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(1UL, ulValue);
    ulValue = 0xDEADBEEF;
    EXPECT_FALSE(policy.getPolicy(cpQLTInstall, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(0xDEADBEEFUL, ulValue);
}

TEST_F(CommonPolicyTest, StringSettingAndEndMarkerAreNoDwordSettings)
{
    QRVLogCapture capture;
    CQRVCommonPolicy policy;
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_FALSE(policy.getPolicy(cpAdminUser, ulValue, false, CQRVWCharString()));
    EXPECT_FALSE(policy.getPolicy(cpEndOfTable, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(0xDEADBEEFUL, ulValue);
    EXPECT_EQ(1u, capture.linesWith(L"Could not find policy setting with ID ( 3 )").size());
    EXPECT_EQ(1u, capture.linesWith(L"Could not find policy setting with ID ( 12 )").size());

    CQRVPolicyStringSetting admin;
    ASSERT_TRUE(policy.getPolicySetting(cpAdminUser, admin));
    EXPECT_EQ(L"AdminUser", text(admin.getValueName()));
    EXPECT_TRUE(admin.getMarker());
    EXPECT_FALSE(admin.getExpand());
}

TEST_F(CommonPolicyTest, BuiltInTable)
{
    struct Row {
        int nId;
        const wchar_t* szPath; // user-preference key path
        const wchar_t* szValueName;
        unsigned long ulDefault;
        bool bMarker;
    };
    const Row rows[] = {
        {7, L"Software\\Zarvik\\QRV Common\\Restorix", L"PDALogonGUIOption", 0, false},
        {6, L"Software\\Zarvik\\QRV Common\\Restorix", L"WindowsPasswordRecoveryGUIOption", 0, false},
        {10, L"Software\\Zarvik\\QRV Common\\Restorix", L"PasswordRecoveryEnabled", 0, true},
        {0, L"Software\\Zarvik\\QRV Common\\Quellant", L"UsingEmulator", 0, false},
        {1, L"Software\\Zarvik\\QRV Common\\Quellant", L"QLTInstall", 0, false},
        {4, L"Software\\Zarvik\\QRV Common\\Quellant", L"PreferInternalFPSensor", 0, false},
        {5, L"Software\\Zarvik\\QRV Common\\Quellant", L"FPSwipeResult", 1, false},
        {2, L"Software\\Zarvik\\QRV Common\\Quellant", L"QLT6QLTInstall", 0, false},
        {8, L"Software\\Zarvik\\QRV Common", L"SystemType", 0, false},
        {11, L"Software\\Zarvik\\QRV Common", L"WizardGUIOption", 0, false},
        {9, L"Software\\Zarvik\\QRV Common\\Quellant", L"DisableHotfixMessage", 0, false},
    };
    CQRVCommonPolicy policy;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.nId);
        CQRVPolicyDwordSetting setting;
        ASSERT_TRUE(policy.getPolicySetting(row.nId, setting));
        EXPECT_EQ(row.szPath, text(setting.getValueLocation(plUserPreference, CQRVWCharString())));
        EXPECT_EQ(row.szValueName, text(setting.getValueName()));
        EXPECT_EQ(row.ulDefault, setting.getDefault());
        EXPECT_EQ(row.bMarker, setting.getMarker());
        EXPECT_EQ(1, setting.getSource());
    }
}
