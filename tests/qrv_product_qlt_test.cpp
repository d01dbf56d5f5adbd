#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qrv_product_qlt.h"
#include "qrv_saved_keys.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::markedText;

const wchar_t kCurrentKey[] = L"Software\\Zarvik\\Quellant";
const wchar_t kLegacyVendorKey[] = L"Software\\Dextar Solmira";
const wchar_t kLegacyKey[] = L"Software\\Dextar Solmira\\Quellara";
const wchar_t kPolicyKey[] = L"Software\\Policies\\Zarvik\\QRV Common";
const wchar_t kPreferenceKey[] = L"Software\\Zarvik\\QRV Common";

// The suite's keys, in both registry views, and the common policy's keys are fixed
// places: each test starts without them and gets the originals back afterwards.
class ProductQltTest : public ::testing::Test {
protected:
    ProductQltTest()
    {
        m_saved.takeBothViews(kCurrentKey);
        m_saved.takeBothViews(kLegacyVendorKey);
        m_saved.take(HKEY_LOCAL_MACHINE, kPolicyKey);
        m_saved.take(HKEY_CURRENT_USER, kPolicyKey);
        m_saved.take(HKEY_LOCAL_MACHINE, kPreferenceKey);
        m_saved.take(HKEY_CURRENT_USER, kPreferenceKey);
    }

    static void install(const wchar_t* szKey, const wchar_t* szVersion, const wchar_t* szInstallPath,
                        REGSAM view = 0)
    {
        if (szVersion) {
            ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, szKey, L"Version", szVersion, REG_SZ, view));
        }
        if (szInstallPath) {
            ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, szKey, L"InstallPath", szInstallPath, REG_SZ, view));
        }
    }

    static void setQltInstall(DWORD dwValue)
    {
        ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, std::wstring(kPolicyKey) + L"\\Quellant", L"QLTInstall",
                                      dwValue));
    }

    QRVSavedKeys m_saved;
};

} // namespace

TEST_F(ProductQltTest, CurrentLocationComesFirst)
{
    install(kCurrentKey, L"8.1.0.0", L"C:\\Q\\");
    install(kLegacyKey, L"5.0", L"C:\\Old\\");
    CQRVProduct_QLT suite;
    CQRVWCharString szItem;
    ASSERT_TRUE(suite.getRegistryLocation(szItem));
    EXPECT_EQ(kCurrentKey, markedText(szItem));
    ASSERT_TRUE(suite.getInstallDirectory(szItem));
    EXPECT_EQ(L"C:\\Q\\", markedText(szItem));
    ASSERT_TRUE(suite.getProductVersion(szItem));
    EXPECT_EQ(L"8.1.0.0", markedText(szItem));
    long lVersion[4] = {-5, -5, -5, -5};
    ASSERT_TRUE(suite.getProductVersion(lVersion[0], lVersion[1], lVersion[2], lVersion[3]));
    EXPECT_EQ(8, lVersion[0]);
    EXPECT_EQ(1, lVersion[1]);
    EXPECT_EQ(0, lVersion[2]);
    EXPECT_EQ(0, lVersion[3]);
}

TEST_F(ProductQltTest, LegacyLocationAlone)
{
    install(kLegacyKey, L"6.2.10.3", L"C:\\Old\\");
    CQRVProduct_QLT suite;
    CQRVWCharString szItem;
    ASSERT_TRUE(suite.getRegistryLocation(szItem));
    EXPECT_EQ(L"Software\\Dextar Solmira\\Quellara", markedText(szItem));
    ASSERT_TRUE(suite.getInstallDirectory(szItem));
    EXPECT_EQ(L"C:\\Old\\", markedText(szItem));
    ASSERT_TRUE(suite.getProductVersion(szItem));
    EXPECT_EQ(L"6.2.10.3", markedText(szItem));
    EXPECT_TRUE(suite.isInstalled(6, 2, 10, 3));
}

TEST_F(ProductQltTest, VersionWithoutInstallPathIsSkippedForThePath)
{
    install(kCurrentKey, L"9.0", nullptr);
    install(kLegacyKey, L"6.0", L"C:\\Old\\");
    CQRVProduct_QLT suite;
    CQRVWCharString szItem;
    ASSERT_TRUE(suite.getRegistryLocation(szItem));
    EXPECT_EQ(kLegacyKey, markedText(szItem));
    ASSERT_TRUE(suite.getInstallDirectory(szItem));
    EXPECT_EQ(L"C:\\Old\\", markedText(szItem));
    ASSERT_TRUE(suite.getProductVersion(szItem));
    EXPECT_EQ(L"9.0", markedText(szItem)) << "the version is read where it exists";
}

TEST_F(ProductQltTest, NothingInstalled)
{
    QRVLogCapture capture;
    CQRVProduct_QLT suite;
    CQRVWCharString szItem(L"sentinel");
    EXPECT_FALSE(suite.getRegistryLocation(szItem));
    EXPECT_FALSE(suite.getInstallDirectory(szItem));
    EXPECT_FALSE(suite.getProductVersion(szItem));
    EXPECT_EQ(L"sentinel", markedText(szItem));
    long lMajor = -5, lMinor = -5, lBuild = -5, lPatch = -5;
    EXPECT_FALSE(suite.getProductVersion(lMajor, lMinor, lBuild, lPatch));
    EXPECT_EQ(-5, lMajor);
    EXPECT_FALSE(suite.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
    // Missing keys and values are skipped silently.
    EXPECT_TRUE(capture.linesWith(L"EXCEPTION").empty());
}

TEST_F(ProductQltTest, VersionComparisons)
{
    install(kCurrentKey, L"8.1.0.0", L"C:\\Q\\");
    struct Row {
        long lRequested[4];
        bool bInstalled;
    };
    const Row rows[] = {
        {{8, 1, 0, 0}, true},   // equal
        {{8, 2, 0, 0}, false},  // newer minor requested
        {{7, 9, 9, 9}, true},   // older major requested
        {{8, 1, 0, 1}, false},  // newer patch requested
        {{8, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE}, true},
        {{9, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE}, false},
        {{QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE}, true},
    };
    CQRVProduct_QLT suite;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.lRequested[0] << "." << row.lRequested[1] << "."
                                          << row.lRequested[2] << "." << row.lRequested[3]);
        EXPECT_EQ(row.bInstalled, suite.isCoreInstalled(row.lRequested[0], row.lRequested[1], row.lRequested[2],
                                                        row.lRequested[3]));
    }
}

TEST_F(ProductQltTest, RealValueAfterDontCareIsRefused)
{
    install(kCurrentKey, L"8.1.0.0", L"C:\\Q\\");
    QRVLogCapture capture;
    CQRVProduct_QLT suite;
    EXPECT_FALSE(suite.isInstalled(7, QRV_DONT_CARE, 0, QRV_DONT_CARE));
    std::vector<std::wstring> lines = capture.lines();
    size_t first = lines.size(), second = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (first == lines.size() && lines[i].find(L"lVersions[2]") != std::wstring::npos &&
            lines[i].find(L"Cannot be real value, QRV_DONT_CAREs prior") != std::wstring::npos)
            first = i;
        if (second == lines.size() && lines[i].find(L"lMinorVer, lBuildVer, or lPatchVer") != std::wstring::npos &&
            lines[i].find(L"Cannot have value after QRV_DONT_CARE") != std::wstring::npos)
            second = i;
    }
    ASSERT_LT(first, lines.size());
    ASSERT_LT(second, lines.size());
    EXPECT_LT(first, second) << "the index record comes first";
}

TEST_F(ProductQltTest, VersionTexts)
{
    struct Row {
        const wchar_t* szText;
        long lExpected[4];
    };
    const Row rows[] = {
        {L"7.0", {7, 0, 0, 0}},
        {L"8", {8, 0, 0, 0}},
        {L"abc", {0, 0, 0, 0}},       // not a number: every field stays 0
        {L"7.x.3.4", {7, 0, 3, 4}},   // one bad field spoils only itself
        {L"1.2.3.4.5", {1, 2, 3, 4}}, // a fifth field is ignored
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::string(row.szText, row.szText + wcslen(row.szText)));
        install(kCurrentKey, row.szText, L"C:\\Q\\");
        CQRVProduct_QLT suite;
        long lVersion[4] = {-5, -5, -5, -5};
        ASSERT_TRUE(suite.getProductVersion(lVersion[0], lVersion[1], lVersion[2], lVersion[3]));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(row.lExpected[i], lVersion[i]) << "field " << i;
    }
    // An unreadable version text still counts as a readable version.
    install(kCurrentKey, L"abc", L"C:\\Q\\");
    EXPECT_TRUE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
}

TEST_F(ProductQltTest, MajorSixIgnoresThePolicy)
{
    install(kCurrentKey, L"6.5", L"C:\\Q\\");
    EXPECT_TRUE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
    setQltInstall(0);
    EXPECT_TRUE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE))
        << "below major 7 the policy is not consulted";
}

TEST_F(ProductQltTest, MajorSevenNeedsQltInstallOne)
{
    install(kCurrentKey, L"7.0", L"C:\\Q\\");
    EXPECT_FALSE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE))
        << "no QLTInstall: the default 0 refuses";
    EXPECT_TRUE(CQRVProduct_QLT().isCoreInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));

    setQltInstall(1);
    EXPECT_TRUE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
    setQltInstall(2);
    EXPECT_FALSE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE))
        << "only exactly 1 allows";

    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, kPolicyKey);
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, std::wstring(kPreferenceKey) + L"\\Quellant", L"QLTInstall", 1));
    install(kCurrentKey, L"12.3", L"C:\\Q\\");
    EXPECT_TRUE(CQRVProduct_QLT().isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
}

// A 32-bit install on 64-bit Windows keeps its keys below Software\Wow6432Node; the
// 64-bit read misses them and the second read in the 32-bit view finds them.
TEST_F(ProductQltTest, KeysOnlyInThe32BitViewAreFound)
{
    if (!qrvtest::onSixtyFourBitWindows())
        GTEST_SKIP() << "a 32-bit Windows has one registry view; KEY_WOW64_32KEY is ignored there";
    install(kCurrentKey, L"8.0", L"C:\\Q32\\", KEY_WOW64_32KEY);
    ASSERT_FALSE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, kCurrentKey, KEY_WOW64_64KEY));
    ASSERT_TRUE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Zarvik\\Quellant"));

    CQRVProduct_QLT suite;
    CQRVWCharString szItem;
    ASSERT_TRUE(suite.getInstallDirectory(szItem));
    EXPECT_EQ(L"C:\\Q32\\", markedText(szItem));
    ASSERT_TRUE(suite.getRegistryLocation(szItem));
    EXPECT_EQ(kCurrentKey, markedText(szItem));
    ASSERT_TRUE(suite.getProductVersion(szItem));
    EXPECT_EQ(L"8.0", markedText(szItem));

    // The 32-bit copy of the current key is tried before the legacy key's 64-bit one.
    install(kLegacyKey, L"5.0", L"C:\\Old\\", KEY_WOW64_64KEY);
    ASSERT_TRUE(suite.getInstallDirectory(szItem));
    EXPECT_EQ(L"C:\\Q32\\", markedText(szItem));
}
