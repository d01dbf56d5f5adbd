// CQRVWinReboot: the shutdown privilege is enabled in the process token and disabled
// again. ExitWindowsEx itself is not called here: under Wine it ends the session of
// the prefix that every test shares; the end-to-end restart test runs it in a prefix
// of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "qrv_test_support.h"
#include "qrv_win_reboot.h"

namespace {

// Attributes of SeShutdownPrivilege in the process token; -1 when it is not listed.
long shutdownAttributes()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return -2;
    DWORD dwSize = 0;
    GetTokenInformation(hToken, TokenPrivileges, nullptr, 0, &dwSize);
    std::vector<BYTE> data(dwSize);
    long lResult = -1;
    LUID luid;
    if (dwSize && GetTokenInformation(hToken, TokenPrivileges, data.data(), dwSize, &dwSize) &&
        LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &luid)) {
        const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(data.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& l = privileges->Privileges[i].Luid;
            if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart)
                lResult = static_cast<long>(privileges->Privileges[i].Attributes);
        }
    }
    CloseHandle(hToken);
    return lResult;
}

TEST(WinRebootTest, PrivilegeIsEnabledThenDisabledAgain)
{
    CQRVWinReboot reboot;
    EXPECT_EQ(nullptr, reboot.getToken());
    ASSERT_TRUE(reboot.setShutdownPrivilege());
    EXPECT_NE(nullptr, reboot.getToken());
    ASSERT_GE(shutdownAttributes(), 0) << "SeShutdownPrivilege is not in the token";
    EXPECT_EQ(SE_PRIVILEGE_ENABLED, shutdownAttributes() & SE_PRIVILEGE_ENABLED);

    // A second call reuses the token it opened.
    HANDLE hToken = reboot.getToken();
    EXPECT_TRUE(reboot.setShutdownPrivilege());
    EXPECT_EQ(hToken, reboot.getToken());

    EXPECT_TRUE(reboot.resetShutdownPrivilege());
    EXPECT_EQ(0, shutdownAttributes() & SE_PRIVILEGE_ENABLED);
}

TEST(WinRebootTest, ResetWithoutATokenIsHarmless)
{
    CQRVWinReboot reboot;
    EXPECT_TRUE(reboot.resetShutdownPrivilege());
    EXPECT_EQ(nullptr, reboot.getToken());
}

TEST(WinRebootTest, ResetIsTracedUnderTheEnablingName)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300);
    {
        CQRVWinReboot reboot;
        reboot.resetShutdownPrivilege();
    }
    EXPECT_EQ(2u, capture.linesWith(L"<CQRVWinReboot::setShutdownPrivilege>").size());
    EXPECT_TRUE(capture.linesWith(L"resetShutdownPrivilege").empty());
    EXPECT_EQ(2u, capture.linesWith(L"<CQRVWinReboot::CQRVWinReboot>").size());
    EXPECT_EQ(2u, capture.linesWith(L"<CQRVWinReboot::~CQRVWinReboot>").size());
}

} // namespace
