// CQRVDirectory against Wine's file system, below a temporary folder of each test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_directory.h"
#include "qrv_test_support.h"

namespace {

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { m_folder = qrvtest::makeTempFolder(L"dir"); }
    void TearDown() override { qrvtest::removeFolder(m_folder); }

    std::wstring m_folder;
};

bool isDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

TEST_F(DirectoryTest, IsValidDirectoryFollowsTheSearchPatternRules)
{
    ASSERT_TRUE(qrvtest::writeFile(m_folder + L"\\file.txt", std::vector<unsigned char>{ 'x' }));
    QRVLogCapture log;

    struct Row {
        std::wstring path;
        bool expected;
        const char* why;
    } rows[] = {
        { L"C:\\", true, "drive root with its separator" },
        { L"C:", true, "drive root without the separator" },
        { m_folder, true, "existing folder" },
        { m_folder + L"\\", true, "existing folder with a trailing separator" },
        { m_folder + L"\\file.txt", false, "an existing file is no directory" },
        { m_folder + L"\\missing", false, "missing folder below an existing one" },
        { m_folder + L"\\missing\\", false, "missing folder with a trailing separator" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        CQRVDirectory directory(CQRVWCharString(row.path.c_str()));
        EXPECT_EQ(row.expected, directory.isValidDirectory());
        EXPECT_EQ(row.expected, directory.isValidWindowsDirectory(CQRVWCharString(row.path.c_str())));
    }
    // None of these is a failure.
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DirectoryTest, PathsShorterThanTwoUnitsLogOutOfBounds)
{
    QRVLogCapture log;
    CQRVDirectory one(CQRVWCharString(L"C"));
    EXPECT_FALSE(one.isValidDirectory());
    EXPECT_EQ(1u, log.linesWith(L"Index out of array bounds").size());

    log.clearFile();
    CQRVDirectory empty(CQRVWCharString(L""));
    EXPECT_FALSE(empty.isValidDirectory());
    EXPECT_EQ(1u, log.linesWith(L"Index out of array bounds").size());
}

TEST_F(DirectoryTest, CreateDirectoryMakesEveryMissingLevelOnce)
{
    QRVLogCapture log;
    const std::wstring first = m_folder + L"\\a";
    const std::wstring second = first + L"\\b";
    CQRVDirectory directory(CQRVWCharString(second.c_str()));

    ASSERT_FALSE(isDirectory(first));
    EXPECT_TRUE(directory.createDirectory());
    EXPECT_TRUE(isDirectory(first));
    EXPECT_TRUE(isDirectory(second));

    // Already there: nothing to create, which the operation reports as false.
    EXPECT_FALSE(directory.createDirectory());
    EXPECT_TRUE(isDirectory(second));

    // A trailing separator names the same directory.
    const std::wstring third = second + L"\\c\\";
    CQRVDirectory withSeparator(CQRVWCharString(third.c_str()));
    EXPECT_TRUE(withSeparator.createDirectory());
    EXPECT_TRUE(isDirectory(second + L"\\c"));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DirectoryTest, CreateDirectoryStopsAtTheFirstFailure)
{
    // A file where a folder should be: 'x' cannot be created, so neither can 'x\y'.
    ASSERT_TRUE(qrvtest::writeFile(m_folder + L"\\x", std::vector<unsigned char>{ '1' }));
    QRVLogCapture log;
    CQRVDirectory blocked(CQRVWCharString((m_folder + L"\\x\\y").c_str()));
    EXPECT_FALSE(blocked.createDirectory());
    EXPECT_FALSE(isDirectory(m_folder + L"\\x\\y"));

    // Levels made before a failure stay: 'made' is created, 'bad|name' cannot be.
    const std::wstring made = m_folder + L"\\made";
    CQRVDirectory partial(CQRVWCharString((made + L"\\bad|name\\z").c_str()));
    EXPECT_FALSE(partial.createDirectory());
    EXPECT_TRUE(isDirectory(made));
    EXPECT_FALSE(isDirectory(made + L"\\bad|name"));
    // Failed creations are reported by the result alone.
    EXPECT_TRUE(log.lines().empty());
}
