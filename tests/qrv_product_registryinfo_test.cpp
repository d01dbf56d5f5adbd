#include <gtest/gtest.h>

#include "qrv_product_registryinfo.h"
#include "qrv_test_support.h"

namespace {
CQRVWCharString s(const wchar_t* text)
{
    return CQRVWCharString(text);
}
} // namespace

TEST(ProductRegistryInfoTest, EqualityComparesTheThreeNames)
{
    CQRVProductRegistryInfo info(s(L"Software\\Zarvik\\Quellant"), s(L"Version"), s(L"InstallPath"));
    EXPECT_TRUE(info == CQRVProductRegistryInfo(s(L"Software\\Zarvik\\Quellant"), s(L"Version"), s(L"InstallPath")));
    EXPECT_TRUE(info != CQRVProductRegistryInfo(s(L"Software\\Zarvik\\quellant"), s(L"Version"), s(L"InstallPath")))
        << "key paths compare case-sensitively";
    EXPECT_TRUE(info != CQRVProductRegistryInfo(s(L"Software\\Zarvik\\Quellant"), s(L"Ver"), s(L"InstallPath")));
    EXPECT_TRUE(info != CQRVProductRegistryInfo(s(L"Software\\Zarvik\\Quellant"), s(L"Version"), s(L"Path")));

    // The backup product's extra value name takes no part.
    CQRVProductRegistryInfo_RSX rsx1(s(L"K"), s(L"Version"), s(L"InstallPath"), s(L"PDAINSTALLED"));
    CQRVProductRegistryInfo_RSX rsx2(s(L"K"), s(L"Version"), s(L"InstallPath"), s(L"OTHER"));
    EXPECT_TRUE(rsx1 == rsx2);
}

TEST(ProductRegistryInfoTest, AssignmentCopiesTheNames)
{
    CQRVProductRegistryInfo source(s(L"A"), s(L"B"), s(L"C"));
    CQRVProductRegistryInfo target(s(L"X"), s(L"Y"), s(L"Z"));
    target = source;
    EXPECT_TRUE(target == source);

    CQRVProductRegistryInfo other(s(L"D"), s(L"E"), s(L"F"));
    target = &other;
    EXPECT_TRUE(target == other);
    target = static_cast<const CQRVProductRegistryInfo*>(nullptr);
    EXPECT_TRUE(target == other) << "a null record changes nothing";

}

TEST(ProductRegistryInfoTest, BackupRecordTracesItsConstruction)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300); // ENTRY and EXIT records
    {
        CQRVProductRegistryInfo_RSX info(s(L"K"), s(L"Version"), s(L"InstallPath"), s(L"PDAINSTALLED"));
    }
    size_t nConstructed = 0;
    for (const std::wstring& line : capture.linesWith(L"<EXIT> ")) {
        if (line.find(L"<CQRVProductRegistryInfo_RSX::CQRVProductRegistryInfo_RSX> <Passed> ") != std::wstring::npos)
            ++nConstructed;
    }
    EXPECT_EQ(1u, nConstructed);
    EXPECT_EQ(capture.linesWith(L"<ENTRY> ").size(), capture.linesWith(L"<EXIT> ").size())
        << "every ENTRY has its EXIT";
}
