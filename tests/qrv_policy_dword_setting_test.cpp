#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qrv_dbllist.h"
#include "qrv_policy_dword_setting.h"
#include "qrv_test_support.h"

namespace {

std::wstring text(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring(L"<invalid>");
}

// Settings of vendor "QRVTests" and product "<Suite>.<Test>": their user-preference
// key is exactly the test's own HKCU key, and the HKLM and policy keys lie below
// vendor keys that only the tests use.
class PolicyDwordSettingTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        const std::wstring product = productName();
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, L"Software\\QRVTests\\" + product);
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, L"Software\\Policies\\QRVTests\\" + product);
        qrvtest::deleteTree(HKEY_CURRENT_USER, L"Software\\Policies\\QRVTests\\" + product);
        // The shared vendor keys go too once no test has anything left below them.
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\QRVTests");
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Policies\\QRVTests");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\QRVTests");
    }

    std::wstring productName() const { return m_key.path().substr(std::wstring(L"Software\\QRVTests\\").size()); }

    CQRVPolicyDwordSetting setting(const wchar_t* szSubKey, int nSource = 1, unsigned long ulDefault = 7)
    {
        return CQRVPolicyDwordSetting(CQRVWCharString(L"QRVTests"), CQRVWCharString(productName().c_str()), 4,
                                      nSource, CQRVWCharString(L"1.0"), CQRVWCharString(L"Level"),
                                      CQRVWCharString(szSubKey), ulDefault, false);
    }

    QRVTestKey m_key;
};

CQRVPolicyDwordSetting commonSetting(const wchar_t* szSubKey)
{
    return CQRVPolicyDwordSetting(CQRVWCharString(L"Zarvik"), CQRVWCharString(L"QRV Common"), 1, 1,
                                  CQRVWCharString(L"1.0"), CQRVWCharString(L"QLTInstall"), CQRVWCharString(szSubKey),
                                  0, false);
}

} // namespace

TEST_F(PolicyDwordSettingTest, KeyPathOfEachLocation)
{
    CQRVPolicyDwordSetting quellant = commonSetting(L"Quellant");
    struct Row {
        PolicyLocation location;
        const wchar_t* szPath;
    };
    const Row rows[] = {
        {plMachinePolicy, L"Software\\Policies\\Zarvik\\QRV Common\\Quellant"},
        {plUserPolicy, L"Software\\Policies\\Zarvik\\QRV Common\\Quellant"},
        {plDefaultUserPolicy, L"Software\\Policies\\Zarvik\\QRV Common\\User Defaults\\Quellant"},
        {plMachinePreference, L"Software\\Zarvik\\QRV Common\\Quellant"},
        {plUserPreference, L"Software\\Zarvik\\QRV Common\\Quellant"},
        {plDefaultUserPreference, L"Software\\Zarvik\\QRV Common\\User Defaults\\Quellant"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.location);
        EXPECT_EQ(row.szPath, text(quellant.getValueLocation(row.location, CQRVWCharString())));
    }
    // A sub-key that brings its own backslash gets no second one.
    EXPECT_EQ(L"Software\\Zarvik\\QRV Common\\Quellant",
              text(commonSetting(L"\\Quellant").getValueLocation(plUserPreference, CQRVWCharString())));
}

TEST_F(PolicyDwordSettingTest, SubstitutionAppliesToTheSubKeyOnly)
{
    CQRVWCharString szLang(L"%LANG%=en");
    // No sub-key: the template with the names filled in, the substitution ignored.
    EXPECT_EQ(L"Software\\Zarvik\\QRV Common", text(commonSetting(nullptr).getValueLocation(plUserPreference, szLang)));

    CQRVPolicyDwordSetting lang = commonSetting(L"Texts\\%LANG%\\%LANG%");
    EXPECT_EQ(L"Software\\Zarvik\\QRV Common\\Texts\\en\\%LANG%", text(lang.getValueLocation(plUserPreference, szLang)))
        << "only the first occurrence is replaced";
    EXPECT_EQ(L"Software\\Zarvik\\QRV Common\\Texts\\%LANG%\\%LANG%",
              text(lang.getValueLocation(plUserPreference, CQRVWCharString(L"%VALUE_NAME%=x"))));
    // Not a "name=value" pair, and a pair without a value: nothing to replace.
    EXPECT_EQ(L"Software\\Zarvik\\QRV Common\\Texts\\%LANG%\\%LANG%",
              text(lang.getValueLocation(plUserPreference, CQRVWCharString(L"%LANG%"))));
    EXPECT_EQ(L"Software\\Zarvik\\QRV Common\\Texts\\%LANG%\\%LANG%",
              text(lang.getValueLocation(plUserPreference, CQRVWCharString(L"%LANG%="))));
}

TEST_F(PolicyDwordSettingTest, ValueNameFromSubstitutionList)
{
    CQRVPolicyDwordSetting quellant = commonSetting(L"Quellant");
    CQRVDblList<CQRVObjNode<CQRVWCharString> > list;
    EXPECT_EQ(L"QLTInstall", text(quellant.getValueLocation(list)));
    list.add(CQRVWCharString(L"%LANG%=en"), 0);
    list.add(CQRVWCharString(L"%VALUE_NAME%=Other"), 1);
    list.add(CQRVWCharString(L"%VALUE_NAME%=Third"), 2);
    EXPECT_EQ(L"Other", text(quellant.getValueLocation(list))) << "the first matching entry wins";

    CQRVDblList<CQRVObjNode<CQRVWCharString> > emptyValue;
    emptyValue.add(CQRVWCharString(L"%VALUE_NAME%="), 0);
    EXPECT_EQ(L"QLTInstall", text(quellant.getValueLocation(emptyValue)));
}

TEST_F(PolicyDwordSettingTest, ReadsEachLocationUnderItsRoot)
{
    const std::wstring product = productName();
    struct Row {
        PolicyLocation location;
        HKEY hRoot;
        std::wstring path;
    };
    const Row rows[] = {
        {plMachinePolicy, HKEY_LOCAL_MACHINE, L"Software\\Policies\\QRVTests\\" + product},
        {plUserPolicy, HKEY_CURRENT_USER, L"Software\\Policies\\QRVTests\\" + product},
        {plDefaultUserPolicy, HKEY_LOCAL_MACHINE, L"Software\\Policies\\QRVTests\\" + product + L"\\User Defaults"},
        {plMachinePreference, HKEY_LOCAL_MACHINE, L"Software\\QRVTests\\" + product},
        {plUserPreference, HKEY_CURRENT_USER, L"Software\\QRVTests\\" + product},
        {plDefaultUserPreference, HKEY_LOCAL_MACHINE, L"Software\\QRVTests\\" + product + L"\\User Defaults"},
    };
    DWORD dwMarker = 100;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.location);
        ASSERT_TRUE(qrvtest::setDword(row.hRoot, row.path + L"\\Sub", L"Level", ++dwMarker));
        CQRVPolicyDwordSetting level = setting(L"Sub");
        unsigned long ulValue = 0xDEADBEEF;
        EXPECT_TRUE(level.getPolicy(row.location, ulValue, false, CQRVWCharString()));
        EXPECT_EQ(dwMarker, ulValue);
        qrvtest::deleteTree(row.hRoot, row.path + L"\\Sub");
    }
}

TEST_F(PolicyDwordSettingTest, MissingValueLeavesOutputAndCache)
{
    CQRVPolicyDwordSetting level = setting(L"Sub");
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_FALSE(level.getPolicy(plUserPreference, ulValue, false, CQRVWCharString()));
    EXPECT_FALSE(level.getPolicy(plUserPreference, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(0xDEADBEEFUL, ulValue);
    EXPECT_FALSE(level.isCacheValid());
}

TEST_F(PolicyDwordSettingTest, CacheAnswersWithoutTheRegistry)
{
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"Level", 5));
    CQRVPolicyDwordSetting level = setting(L"Sub");
    unsigned long ulValue = 0;
    ASSERT_TRUE(level.getPolicy(plUserPreference, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(5UL, ulValue);

    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"Level", 6));
    ulValue = 0;
    EXPECT_TRUE(level.getPolicy(plUserPreference, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(5UL, ulValue) << "bUseCache must answer from the cache";
    EXPECT_TRUE(level.getPolicy(plUserPreference, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(6UL, ulValue);
}

TEST_F(PolicyDwordSettingTest, SetPolicyWritesAndFillsTheCache)
{
    CQRVPolicyDwordSetting level = setting(L"New\\Deeper");
    EXPECT_FALSE(level.setPolicy(plUserPreference, 9, false, 0, CQRVWCharString()))
        << "without bCreate a missing key is not made";
    EXPECT_FALSE(qrvtest::keyExists(HKEY_CURRENT_USER, m_key.sub(L"New")));

    ASSERT_TRUE(level.setPolicy(plUserPreference, 9, true, 0, CQRVWCharString()));
    DWORD dwStored = 0;
    ASSERT_TRUE(qrvtest::getDword(HKEY_CURRENT_USER, m_key.sub(L"New\\Deeper"), L"Level", dwStored));
    EXPECT_EQ(9UL, dwStored);

    qrvtest::deleteTree(HKEY_CURRENT_USER, m_key.sub(L"New"));
    unsigned long ulValue = 0;
    EXPECT_TRUE(level.getPolicy(plUserPreference, ulValue, true, CQRVWCharString()));
    EXPECT_EQ(9UL, ulValue);
}

TEST_F(PolicyDwordSettingTest, UnsupportedSourceFailsWithOneRecordPerCall)
{
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"Level", 5));
    QRVLogCapture capture;
    CQRVPolicyDwordSetting level = setting(L"Sub", 2);
    unsigned long ulValue = 0xDEADBEEF;
    EXPECT_FALSE(level.getPolicy(plUserPreference, ulValue, false, CQRVWCharString()));
    EXPECT_EQ(0xDEADBEEFUL, ulValue);
    EXPECT_EQ(1u, capture.linesWith(L"Policy source is not supported.").size());
    EXPECT_FALSE(level.setPolicy(plUserPreference, 3, true, 0, CQRVWCharString()));
    EXPECT_EQ(2u, capture.linesWith(L"Policy source is not supported.").size());
    EXPECT_FALSE(level.getValueLocation(plUserPreference, CQRVWCharString()).isValid());
    EXPECT_EQ(3u, capture.linesWith(L"Policy source is not supported.").size());

    DWORD dwStored = 0;
    ASSERT_TRUE(qrvtest::getDword(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"Level", dwStored));
    EXPECT_EQ(5UL, dwStored) << "an unsupported source must not write";
}

TEST_F(PolicyDwordSettingTest, EqualityIgnoresTheCache)
{
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, m_key.sub(L"Sub"), L"Level", 5));
    CQRVPolicyDwordSetting read = setting(L"Sub");
    CQRVPolicyDwordSetting fresh = setting(L"Sub");
    unsigned long ulValue = 0;
    ASSERT_TRUE(read.getPolicy(plUserPreference, ulValue, false, CQRVWCharString()));
    EXPECT_TRUE(read == fresh);

    EXPECT_TRUE(read != setting(L"Other"));
    EXPECT_TRUE(read != setting(L"Sub", 1, 8)) << "defaults differ";
    CQRVPolicyDwordSetting marked(CQRVWCharString(L"QRVTests"), CQRVWCharString(productName().c_str()), 4, 1,
                                  CQRVWCharString(L"1.0"), CQRVWCharString(L"Level"), CQRVWCharString(L"Sub"), 7,
                                  true);
    EXPECT_TRUE(read != marked) << "markers differ";

    // Order goes by identifier only.
    CQRVPolicyDwordSetting lower = commonSetting(L"Zzz");
    EXPECT_TRUE(lower < read);
    EXPECT_TRUE(read > lower);

    CQRVPolicyDwordSetting copy;
    copy = read;
    EXPECT_TRUE(copy == read);
    EXPECT_TRUE(copy.isCacheValid());
    EXPECT_EQ(1, CQRVPolicyDwordSetting().getType());
}
