// CQRVWindowsResource: the module it reads and a string the table does not hold.
// The test program carries no string table, so every ID is missing here; the
// program's own table is checked in tests/patch/quillfix_strings_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include "qrv_test_support.h"
#include "qrv_windows_resource.h"

namespace {

std::wstring textOf(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring();
}

TEST(WindowsResourceTest, DefaultObjectReadsTheProgramsOwnModule)
{
    CQRVWindowsResource resource;
    EXPECT_EQ(GetModuleHandleW(nullptr), resource.getModule());
}

TEST(WindowsResourceTest, MissingStringFailsLeavesTextAndNamesUnknownLibrary)
{
    QRVLogCapture capture;
    CQRVWCharString text(L"sentinel");
    {
        CQRVWindowsResource resource;
        EXPECT_FALSE(resource.loadString(65000, text));
    }
    EXPECT_EQ(L"sentinel", textOf(text));
    auto lines = capture.linesWith(L"\"Unable to load string ( ID: 65000 ) from resource DLL ( Unknown resource DLL )\"");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<EXCEPTION_BAD>"));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"qrv_windows_resource.cpp, "));
}

TEST(WindowsResourceTest, EveryOperationIsTraced)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300);
    {
        CQRVWindowsResource resource;
        CQRVWCharString text;
        resource.loadString(65001, text);
    }
    struct {
        const wchar_t* piece;
        size_t count;
    } const rows[] = {
        {L"<ENTRY> <", 3},
        {L"<CQRVWindowsResource::CQRVWindowsResource> <Passed>", 1},
        {L"<CQRVWindowsResource::loadString> <Failed>", 1},
        {L"<CQRVWindowsResource::~CQRVWindowsResource> <Passed>", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.piece)));
        EXPECT_EQ(row.count, capture.linesWith(row.piece).size());
    }
}

} // namespace
