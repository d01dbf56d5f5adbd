#include <gtest/gtest.h>

#include <string>

#include "qrv_product_rsx.h"
#include "qrv_test_support.h"

// The shared operations of CQRVProduct, through a concrete product; none of them
// touches the registry.

TEST(ProductTest, CheckParms)
{
    const long D = QRV_DONT_CARE;
    struct Row {
        long lVersions[4];
        bool bValid;
        const wchar_t* szBadIndex; // the index the record names, when invalid
    };
    const Row rows[] = {
        {{7, 0, 1, 2}, true, nullptr},
        {{7, D, D, D}, true, nullptr},
        {{D, D, D, D}, true, nullptr},
        {{7, 1, 2, D}, true, nullptr},
        {{7, D, 0, D}, false, L"lVersions[2]"},
        {{D, 1, D, D}, false, L"lVersions[1]"},
        {{D, D, D, 4}, false, L"lVersions[3]"},
    };
    CQRVProduct_RSX product;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.lVersions[0] << "," << row.lVersions[1] << "," << row.lVersions[2]
                                          << "," << row.lVersions[3]);
        QRVLogCapture capture;
        EXPECT_EQ(row.bValid, product.checkParms(row.lVersions));
        std::vector<std::wstring> records = capture.linesWith(L"Cannot be real value, QRV_DONT_CAREs prior");
        if (row.bValid) {
            EXPECT_TRUE(records.empty());
        } else {
            ASSERT_EQ(1u, records.size());
            EXPECT_NE(std::wstring::npos, records[0].find(row.szBadIndex)) << records[0];
        }
    }

    QRVLogCapture capture;
    EXPECT_FALSE(product.checkParms(nullptr));
    EXPECT_EQ(1u, capture.linesWith(L"Cannot have NULL value").size());
}

TEST(ProductTest, IsVersionInstalled)
{
    const long D = QRV_DONT_CARE;
    struct Row {
        long lRequested[4];
        long lInstalled[4];
        bool bInstalled;
    };
    const Row rows[] = {
        {{8, 1, 0, 0}, {8, 1, 0, 0}, true},  // equal
        {{8, 2, 0, 0}, {8, 1, 0, 0}, false}, // minor too new
        {{7, 9, 9, 9}, {8, 1, 0, 0}, true},  // the major decides first
        {{8, 1, 0, 1}, {8, 1, 0, 0}, false}, // the patch decides last
        {{D, D, D, D}, {0, 0, 0, 0}, true},  // wildcards accept zeros
        {{8, D, D, D}, {8, 0, 0, 0}, true},
        {{9, D, D, D}, {8, 9, 9, 9}, false},
    };
    CQRVProduct_RSX product;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.lRequested[0] << "." << row.lRequested[1] << "."
                                          << row.lRequested[2] << "." << row.lRequested[3]);
        EXPECT_EQ(row.bInstalled, product.isVersionInstalled(row.lRequested, row.lInstalled));
    }
}

TEST(ProductTest, ConvertVersion)
{
    struct Row {
        const wchar_t* szText;
        long lExpected[4];
    };
    const Row rows[] = {
        {L"7.0.1234.5", {7, 0, 1234, 5}},
        {L"7.0", {7, 0, -9, -9}},       // missing fields stay untouched
        {L"8", {8, -9, -9, -9}},
        {L"abc", {-9, -9, -9, -9}},     // no number at all
        {L" 4 . 5", {4, 5, -9, -9}},    // blanks around a number are trimmed
        {L"1..3", {1, -9, 3, -9}},      // an empty field is missing
        {L"-2.1", {-2, 1, -9, -9}},     // a negative number is read as such
    };
    CQRVProduct_RSX product;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::string(row.szText, row.szText + wcslen(row.szText)));
        long lVersion[4] = {-9, -9, -9, -9};
        EXPECT_TRUE(product.convertVersion(CQRVWCharString(row.szText), lVersion[0], lVersion[1], lVersion[2],
                                           lVersion[3]));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(row.lExpected[i], lVersion[i]) << "field " << i;
    }
}

TEST(ProductTest, UnknownRegistryItemIsRefused)
{
    QRVLogCapture capture;
    CQRVProduct_RSX product;
    CQRVWCharString szItem(L"sentinel");
    EXPECT_FALSE(product.getRegistryItem(4, szItem));
    EXPECT_FALSE(product.getRegistryItem(0, szItem));
    EXPECT_EQ(2u, capture.linesWith(L"nItem").size());
}
