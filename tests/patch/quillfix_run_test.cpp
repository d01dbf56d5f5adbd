// The gates of the patch run: the silent switch, the operating-system check and the
// suite check.
#include <windows.h>

#include <gtest/gtest.h>

#include "qrv_test_support.h"
#include "quillfix.h"

namespace {

TEST(PatchRunTest, SilentSwitchIsACaseSensitiveSubstring)
{
    struct {
        const wchar_t* commandLine;
        int bSilent;
    } const rows[] = {
        {L"/s", 1},
        {L"/S", 1},
        {L"-s", 1},
        {L"-S", 1},
        {L"/silent", 1},          // inside a word
        {L"-Silent", 1},
        {L"C:\\data-sets", 1},    // inside a path
        {L"/x /S /y", 1},
        {L"/q", 0},
        {L"s S", 0},
        {L"\\s", 0},              // backslash is no switch character
        {L"", 0},
        {nullptr, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.commandLine ? testing::PrintToString(std::wstring(row.commandLine)) : "null");
        g_bSilent = 1 - row.bSilent;  // the flag is decided afresh, not kept
        setSilentMode(row.commandLine);
        EXPECT_EQ(row.bSilent, g_bSilent);
    }
    g_bSilent = 0;
}

// "/uninstall" and "/exitcode" are words of their own, "/" or "-", in any case; and
// only "/exitcode" turns the run's result into the exit code.
TEST(PatchRunTest, SwitchWordsAndTheExitCode)
{
    struct {
        const wchar_t* commandLine;
        bool bUninstall;
        bool bExitCode;
    } const rows[] = {
        {L"/uninstall", true, false},
        {L"-UNINSTALL /s", true, false},
        {L"/s /Uninstall\t/ExitCode", true, true},
        {L"\"/uninstall\" \"-exitcode\"", true, true},   // quoted words
        {L"/uninstaller /exitcodes", false, false},       // longer words
        {L"x/uninstall uninstall exitcode", false, false}, // no switch character in front
        {L"/s", false, false},
        {L"", false, false},
        {nullptr, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.commandLine ? testing::PrintToString(std::wstring(row.commandLine)) : "null");
        EXPECT_EQ(row.bUninstall, hasSwitchWord(row.commandLine, L"uninstall"));
        EXPECT_EQ(row.bExitCode, hasSwitchWord(row.commandLine, L"exitcode"));
        EXPECT_EQ(row.bExitCode ? 3010 : 0, exitCodeFor(row.commandLine, 3010));
    }
}

TEST(PatchRunTest, OperatingSystemKindFollowsTheReportedVersion)
{
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExW(&info));
    double dVersion = info.dwMajorVersion + info.dwMinorVersion / 10.0;
    int nExpected = dVersion == 6.0 ? osVista : (dVersion >= 5.1 && dVersion < 6.0 ? osXPFamily : osUnsupported);

    int nKind = 0xDEAD;
    EXPECT_EQ(1, checkOperatingSystem(nKind));
    EXPECT_EQ(nExpected, nKind) << "version " << dVersion;
}

class SuiteGateTest : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear()
    {
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, L"Software\\Zarvik\\Quellant");
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Zarvik\\QRV Common\\Quellant");
    }
};

TEST_F(SuiteGateTest, SuiteCountsFromAnyVersionBelowSevenAndFromSevenWithThePolicy)
{
    const wchar_t kSuite[] = L"Software\\Zarvik\\Quellant";
    EXPECT_FALSE(isSuiteInstalled());

    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kSuite, L"Version", L"6.1.0.0"));
    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kSuite, L"InstallPath", L"C:\\Suite\\"));
    EXPECT_TRUE(isSuiteInstalled());

    ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, kSuite, L"Version", L"7.0.0.0"));
    EXPECT_FALSE(isSuiteInstalled());
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Zarvik\\QRV Common\\Quellant",
                                  L"QLTInstall", 1));
    EXPECT_TRUE(isSuiteInstalled());
}

} // namespace
