#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qrv_product_rsx.h"
#include "qrv_saved_keys.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::markedText;

const wchar_t kCurrentKey[] = L"Software\\Zarvik\\Restorix";
const wchar_t kLegacyVendorKey[] = L"Software\\Dextar Solmira";
const wchar_t kLegacyKey[] = L"Software\\Dextar Solmira\\Restorix";

class ProductRsxTest : public ::testing::Test {
protected:
    ProductRsxTest()
    {
        m_saved.takeBothViews(kCurrentKey);
        m_saved.takeBothViews(kLegacyVendorKey);
    }

    QRVSavedKeys m_saved;
};

} // namespace

TEST_F(ProductRsxTest, NamesAndLocations)
{
    CQRVProduct_RSX backup;
    EXPECT_EQ(L"Zarvik", markedText(backup.getVendorName()));
    EXPECT_EQ(L"Restorix", markedText(backup.getProductName()));
    CQRVWCharString szVersion(L"sentinel");
    EXPECT_FALSE(backup.getProductVersion(szVersion));
    EXPECT_EQ(L"sentinel", markedText(szVersion));
    EXPECT_FALSE(backup.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));

    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kLegacyKey, L"Version", L"3.1"));
    ASSERT_TRUE(backup.getProductVersion(szVersion));
    EXPECT_EQ(L"3.1", markedText(szVersion));
    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kCurrentKey, L"Version", L"4.0.2"));
    ASSERT_TRUE(backup.getProductVersion(szVersion));
    EXPECT_EQ(L"4.0.2", markedText(szVersion));
}

TEST_F(ProductRsxTest, VersionTest)
{
    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kCurrentKey, L"Version", L"4.0.2"));
    CQRVProduct_RSX backup;
    EXPECT_TRUE(backup.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
    EXPECT_TRUE(backup.isInstalled(4, 0, 2, 0));
    EXPECT_TRUE(backup.isInstalled(4, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
    EXPECT_FALSE(backup.isInstalled(4, 0, 3, QRV_DONT_CARE));
    EXPECT_FALSE(backup.isInstalled(QRV_DONT_CARE, 0, QRV_DONT_CARE, QRV_DONT_CARE));
    // Unlike the suite, the backup product has no policy gate at major 7.
    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kCurrentKey, L"Version", L"7.0"));
    EXPECT_TRUE(backup.isInstalled(QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE, QRV_DONT_CARE));
}

TEST_F(ProductRsxTest, KeysOnlyInThe32BitViewAreFound)
{
    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kLegacyKey, L"Version", L"2.5", REG_SZ, KEY_WOW64_32KEY));
    CQRVProduct_RSX backup;
    long lVersion[4] = {-5, -5, -5, -5};
    ASSERT_TRUE(backup.getProductVersion(lVersion[0], lVersion[1], lVersion[2], lVersion[3]));
    EXPECT_EQ(2, lVersion[0]);
    EXPECT_EQ(5, lVersion[1]);
    EXPECT_EQ(0, lVersion[2]);
    EXPECT_EQ(0, lVersion[3]);
}
