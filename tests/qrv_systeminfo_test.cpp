// CQRVSystemInfo::getStoragePath against Wine, whose all-users application-data folder
// is C:\ProgramData.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internal/qrv_systeminfo_detail.h"
#include "qrv_failures.h"
#include "qrv_protocol.h"
#include "qrv_systeminfo.h"
#include "qrv_test_support.h"

namespace {

std::wstring text(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring();
}

bool isDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

const wchar_t kStorage[] = L"C:\\ProgramData\\Zarvik\\";

} // namespace

TEST(SystemInfoTest, StoragePathIsCreatedOnFirstUseAndLeftAloneAfterwards)
{
    // Start without the folder; it is put back the way it was found.
    const bool bExisted = isDirectory(kStorage);
    if (bExisted && !RemoveDirectoryW(kStorage))
        GTEST_SKIP() << "C:\\ProgramData\\Zarvik holds files of someone else";
    QRVLogCapture log;

    CQRVSystemInfo info(0);
    CQRVWCharString path;
    ASSERT_TRUE(info.getStoragePath(path));
    EXPECT_EQ(std::wstring(kStorage), text(path));
    EXPECT_TRUE(isDirectory(kStorage));

    // A second call finds the folder: a file put into it survives, the answer is the same.
    const std::wstring marker = std::wstring(kStorage) + L"marker.txt";
    ASSERT_TRUE(qrvtest::writeFile(marker, std::vector<unsigned char>{ 'm' }));
    CQRVWCharString again(L"sentinel");
    EXPECT_TRUE(info.getStoragePath(again));
    EXPECT_EQ(std::wstring(kStorage), text(again));
    EXPECT_EQ(1u, qrvtest::readFile(marker).size());
    EXPECT_TRUE(log.lines().empty());

    DeleteFileW(marker.c_str());
    if (!bExisted)
        RemoveDirectoryW(kStorage);
}

TEST(SystemInfoTest, SecondVendorAndIndexesOutsideTheTable)
{
    QRVLogCapture log;
    CQRVWCharString path(L"sentinel");
    const bool bExisted = isDirectory(L"C:\\ProgramData\\Solmira");
    CQRVSystemInfo second(1);
    EXPECT_TRUE(second.getStoragePath(path));
    EXPECT_EQ(L"C:\\ProgramData\\Solmira\\", text(path));
    if (!bExisted)
        RemoveDirectoryW(L"C:\\ProgramData\\Solmira");

    // Reading past the two-entry table would take a name from nowhere.
    const int outside[] = { 2, -1, 0x7FFFFFFF };
    for (int index : outside) {
        SCOPED_TRACE(index);
        log.clearFile();
        path = L"sentinel";
        CQRVSystemInfo info(index);
        EXPECT_FALSE(info.getStoragePath(path));
        EXPECT_EQ(L"sentinel", text(path));
        EXPECT_EQ(1u, log.linesWith(L"vendor index is outside the vendor-name table").size());
    }
}

TEST(SystemInfoTest, ShellFolderFailureReasonsFollowTheHresult)
{
    struct Row {
        HRESULT hr;
        const wchar_t* reason;
    } rows[] = {
        { E_INVALIDARG, L"Shell folder does not exist." },
        { E_FAIL, L"Path does not exist." },
        { 1, L"Path does not exist." },
        { static_cast<HRESULT>(0x80070002L), L"Shell folder error -2147024894." },
        { S_OK, L"Shell folder error 0." },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<long>(row.hr));
        wchar_t buffer[64];
        EXPECT_EQ(std::wstring(row.reason), qrv_detail::qrvShellFolderReason(row.hr, buffer, 64));
    }

    // The reason is the record's second text, two blanks after the full stop.
    QRVLogCapture log;
    wchar_t buffer[64];
    {
        CQRVSIgetStoragePathException failure(L"SHGetFolderPath( CSIDL_COMMON_APPDATA ) failed",
                                              qrv_detail::qrvShellFolderReason(E_INVALIDARG, buffer, 64),
                                              static_cast<int>(E_INVALIDARG), L"CQRVSystemInfo", L"getStoragePath",
                                              QRV_HERE);
        EXPECT_TRUE(failure.logged);
    }
    EXPECT_EQ(1u, log.linesWith(L"Unable to obtain Windows shell folder path for folder ( \"SHGetFolderPath( "
                                L"CSIDL_COMMON_APPDATA ) failed\" ).  Shell folder does not exist.")
                      .size());
}
