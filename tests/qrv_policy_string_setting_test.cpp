#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qrv_policy_string_setting.h"
#include "qrv_test_support.h"

namespace {

std::wstring text(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring(L"<invalid>");
}

// The user-preference key of vendor "QRVTests", product "<Suite>.<Test>" is the
// test's own HKCU key.
class PolicyStringSettingTest : public ::testing::Test {
protected:
    void TearDown() override { SetEnvironmentVariableW(L"QRVTESTDIR", nullptr); }

    CQRVPolicyStringSetting setting(bool bExpand, int nSource = 1)
    {
        std::wstring product = m_key.path().substr(std::wstring(L"Software\\QRVTests\\").size());
        return CQRVPolicyStringSetting(CQRVWCharString(L"QRVTests"), CQRVWCharString(product.c_str()), 3, nSource,
                                       CQRVWCharString(L"1.0"), CQRVWCharString(L"AdminUser"),
                                       CQRVWCharString(L"Sub"), CQRVWCharString(L"nobody"), true, bExpand);
    }

    QRVTestKey m_key;
};

} // namespace

TEST_F(PolicyStringSettingTest, ReadsPlainText)
{
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"AdminUser", L"admin"));
    CQRVPolicyStringSetting admin = setting(false);
    EXPECT_EQ(2, admin.getType());
    EXPECT_EQ(L"nobody", text(admin.getDefault()));
    CQRVWCharString szValue(L"sentinel");
    EXPECT_TRUE(admin.getPolicy(plUserPreference, szValue, false, CQRVWCharString()));
    EXPECT_EQ(L"admin", text(szValue));

    CQRVWCharString szMissing(L"sentinel");
    EXPECT_FALSE(admin.getPolicy(plMachinePreference, szMissing, false, CQRVWCharString()));
    EXPECT_EQ(L"sentinel", text(szMissing));
}

TEST_F(PolicyStringSettingTest, ExpandingSettingExpandsTheEnvironment)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRVTESTDIR", L"C:\\Q"));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"AdminUser", L"%QRVTESTDIR%\\x",
                                   REG_EXPAND_SZ));
    CQRVWCharString szValue;
    CQRVPolicyStringSetting expanding = setting(true);
    EXPECT_TRUE(expanding.getPolicy(plUserPreference, szValue, false, CQRVWCharString()));
    EXPECT_EQ(L"C:\\Q\\x", text(szValue));

    CQRVPolicyStringSetting plain = setting(false);
    EXPECT_TRUE(plain.getPolicy(plUserPreference, szValue, false, CQRVWCharString()));
    EXPECT_EQ(L"%QRVTESTDIR%\\x", text(szValue)) << "a plain setting keeps the references";
}

TEST_F(PolicyStringSettingTest, SetPolicyWritesTheKindOfItsSetting)
{
    CQRVPolicyStringSetting plain = setting(false);
    ASSERT_TRUE(plain.setPolicy(plUserPreference, CQRVWCharString(L"root"), true, 0, CQRVWCharString()));
    std::wstring stored;
    ASSERT_TRUE(qrvtest::getString(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"AdminUser", stored));
    EXPECT_EQ(L"root", stored);
    CQRVWCharString szCached;
    EXPECT_TRUE(plain.getPolicy(plUserPreference, szCached, true, CQRVWCharString()));
    EXPECT_EQ(L"root", text(szCached));

    // The expandable kind refuses text without a %NAME% reference and writes nothing.
    CQRVPolicyStringSetting expanding = setting(true);
    EXPECT_FALSE(expanding.setPolicy(plUserPreference, CQRVWCharString(L"plain"), true, 0, CQRVWCharString()));
    ASSERT_TRUE(qrvtest::getString(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"AdminUser", stored));
    EXPECT_EQ(L"root", stored);
    EXPECT_FALSE(expanding.isCacheValid());

    ASSERT_TRUE(expanding.setPolicy(plUserPreference, CQRVWCharString(L"%WINDIR%"), true, 0, CQRVWCharString()));
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, m_key.sub(L"Sub").c_str(), 0, KEY_READ, &hKey));
    DWORD dwType = 0;
    RegQueryValueExW(hKey, L"AdminUser", nullptr, &dwType, nullptr, nullptr);
    RegCloseKey(hKey);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), dwType);
}

TEST_F(PolicyStringSettingTest, UnsupportedSourceIsRefused)
{
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"AdminUser", L"admin"));
    QRVLogCapture capture;
    CQRVPolicyStringSetting admin = setting(false, 2);
    CQRVWCharString szValue(L"sentinel");
    EXPECT_FALSE(admin.getPolicy(plUserPreference, szValue, false, CQRVWCharString()));
    EXPECT_EQ(L"sentinel", text(szValue));
    EXPECT_FALSE(admin.setPolicy(plUserPreference, CQRVWCharString(L"x"), true, 0, CQRVWCharString()));
    EXPECT_EQ(2u, capture.linesWith(L"Policy source is not supported.").size());
}
