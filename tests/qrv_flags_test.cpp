// CQRVFlags: subset tests, the highest-bit index, whole-value comparison, and the
// ENTRY/EXIT records every operation writes when tracing is on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_flags.h"
#include "qrv_test_support.h"

namespace {

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Lines of the capture holding every piece.
std::vector<std::wstring> linesWithAll(const QRVLogCapture& capture, const std::vector<std::wstring>& pieces)
{
    std::vector<std::wstring> found;
    for (const std::wstring& line : capture.lines()) {
        bool bAll = true;
        for (const std::wstring& piece : pieces)
            bAll = bAll && line.find(piece) != std::wstring::npos;
        if (bAll)
            found.push_back(line);
    }
    return found;
}

} // namespace

TEST(FlagsTest, HasFlagsNeedsEveryBit)
{
    struct Row {
        unsigned long ulValue;
        unsigned long ulQuery;
        bool bExpected;
    };
    const Row rows[] = {
        {0x1, 0x0, true},    // the empty set is in everything
        {0x0, 0x0, true},
        {0x1, 0x3, false},   // one of two bits missing
        {0x30, 0x10, true},
        {0x30, 0x30, true},
        {0x30, 0x31, false},
        {0xFFFFFFFFUL, 0x80000001UL, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << "value 0x" << row.ulValue << " query 0x" << row.ulQuery);
        EXPECT_EQ(row.bExpected, CQRVFlags(row.ulValue).hasFlags(row.ulQuery));
    }
}

TEST(FlagsTest, GetIndexGivesTheHighestBitOfASetFlag)
{
    struct Row {
        unsigned long ulValue;
        unsigned long ulFlag;
        bool bExpected;
        unsigned long ulIndex; // 0xDEADBEEF: left untouched
    };
    const Row rows[] = {
        {0x30, 0x10, true, 4},
        {0x30, 0x40, false, 0xDEADBEEF},  // flag not set here
        {0x30, 0x0, false, 0xDEADBEEF},   // no bit to index
        {0x1, 0x1, true, 0},
        {0x18, 0x18, true, 4},            // several bits: the highest counts
        {0x80000000UL, 0x80000000UL, true, 31},
        {0x30, 0x70, false, 0xDEADBEEF},  // partly set is not set
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << "value 0x" << row.ulValue << " flag 0x" << row.ulFlag);
        unsigned long ulIndex = 0xDEADBEEF;
        EXPECT_EQ(row.bExpected, CQRVFlags(row.ulValue).getIndex(row.ulFlag, ulIndex));
        EXPECT_EQ(row.ulIndex, ulIndex);
    }
}

TEST(FlagsTest, AssignmentCopiesAndInequalityComparesTheWholeValue)
{
    CQRVFlags a(0x3);
    CQRVFlags b(0x1);
    EXPECT_TRUE(a != b) << "b's bits are a subset of a's, but the values differ";
    EXPECT_TRUE(a.hasFlags(b.m_ulFlags));
    b = a;
    EXPECT_EQ(0x3u, b.m_ulFlags);
    EXPECT_FALSE(a != b);
    EXPECT_EQ(0u, CQRVFlags().m_ulFlags);
}

TEST(FlagsTest, EveryOperationIsTracedWithItsResult)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300); // ENTRY and EXIT records

    CQRVFlags flags(0x30);
    unsigned long ulIndex = 0;
    EXPECT_FALSE(flags.hasFlags(0x40));
    EXPECT_FALSE(flags.getIndex(0x40, ulIndex));
    EXPECT_TRUE(flags.getIndex(0x10, ulIndex));
    CQRVFlags other(0x1);
    other = flags;
    EXPECT_FALSE(other != flags);

    struct Row {
        const wchar_t* method;
        const wchar_t* exitResult;
        size_t count;
    };
    const Row rows[] = {
        {L"<CQRVFlags::CQRVFlags> ", L"<Passed> ", 2},
        {L"<CQRVFlags::operator=> ", L"<Passed> ", 1},
        {L"<CQRVFlags::operator!=> ", L"<Failed Logical Result> ", 1},
        // one direct call and one inside each getIndex; two of the three fail
        {L"<CQRVFlags::hasFlags> ", L"<Failed Logical Result> ", 2},
        {L"<CQRVFlags::hasFlags> ", L"<Passed> ", 1},
        {L"<CQRVFlags::getIndex> ", L"<Failed> ", 1},
        {L"<CQRVFlags::getIndex> ", L"<Passed> ", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(narrow(std::wstring(row.method) + row.exitResult));
        EXPECT_EQ(row.count, linesWithAll(capture, {L"<EXIT> ", row.method, row.exitResult}).size());
    }
    EXPECT_EQ(9u, linesWithAll(capture, {L"<ENTRY> ", L"<CQRVFlags::"}).size());
    EXPECT_EQ(9u, linesWithAll(capture, {L"<EXIT> ", L"<CQRVFlags::"}).size());
}

TEST(FlagsTest, NothingIsTracedWithoutDynamicLogging)
{
    QRVLogCapture capture;
    capture.setDword(L"LogDetail", 0x300);
    CQRVFlags flags(0x1);
    EXPECT_TRUE(flags.hasFlags(0x1));
    EXPECT_TRUE(capture.linesWith(L"CQRVFlags").empty());
}
