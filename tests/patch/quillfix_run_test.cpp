// The gates of the patch run: the command line, the operating-system check and the
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
        bool bSilent;
    } const rows[] = {
        {L"/s", true},
        {L"/S", true},
        {L"-s", true},
        {L"-S", true},
        {L"/silent", true},          // inside a word
        {L"-Silent", true},
        {L"C:\\data-sets", true},   // inside a path
        {L"/x /S /y", true},
        {L"/q", true},               // the platform's patch tools' words: silent too
        {L"/QUIET", true},
        {L"-passive", true},
        {L"s S", false},
        {L"\\s", false},            // backslash is no switch character
        {L"", false},
        {nullptr, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.commandLine ? testing::PrintToString(std::wstring(row.commandLine)) : "null");
        EXPECT_EQ(row.bSilent, parseCommandLine(row.commandLine).bSilent);
    }
}

// The switch table: words of their own, "/" or "-", in any case; a value in the next
// word (quotes group it) or after "/log:"; any other word with a switch character that
// does not select silent mode is refused (the first one named); "/exitcode" alone
// turns the run's result into the exit code.
TEST(PatchRunTest, SwitchTableAndTheExitCode)
{
    struct {
        const wchar_t* commandLine;
        bool bRemove, bExitCode, bNoRestart, bHelp;
        const wchar_t* logFile;
        const wchar_t* refused;
    } const rows[] = {
        {L"/uninstall", true, false, false, false, L"", L""},
        {L"-UNINSTALL /s", true, false, false, false, L"", L""},
        {L"/silent /Uninstall\t/ExitCode", true, true, false, false, L"", L""},
        {L"\"/uninstall\" \"-exitcode\"", true, true, false, false, L"", L""}, // quoted words
        {L"x/uninstall uninstall exitcode", false, false, false, false, L"", L""}, // no switch character
        {L"C:\\data-sets /norestart", false, false, true, false, L"", L""},
        {L"-RestartService /uninstall", true, false, false, false, L"", L""}, // opt-in service restart
        // mistyped removals: refused, not run as an installation
        {L"/unistall /s /exitcode", false, true, false, false, L"", L"/unistall"},
        {L"/u /s", false, false, false, false, L"", L"/u"},
        {L"/remove /s", false, false, false, false, L"", L"/remove"},
        {L"/x /s", false, false, false, false, L"", L"/x"},
        {L"/uninstall:yes /s", false, false, false, false, L"", L"/uninstall:yes"},
        {L"/uninstaller --quiet", false, false, false, false, L"", L"/uninstaller"}, // the first one
        {L"/? /bogus", false, false, false, true, L"", L"/bogus"},                    // the run shows usage
        {L"-HELP", false, false, false, true, L"", L""},
        // the detailed log's name, as the platform splits arguments
        {L"/log x.log", false, false, false, false, L"x.log", L""},
        {L"/LOG:\"C:\\my logs\\a.log\" /s", false, false, false, false, L"C:\\my logs\\a.log", L""},
        {L"/l*v \"a \\\"b\\\".log\" /quiet", false, false, false, false, L"a \"b\".log", L""},
        {L"/log", false, false, false, false, L"", L"/log"},
        {L"/log /s", false, false, false, false, L"", L"/log"},
        {L"/log:", false, false, false, false, L"", L"/log:"},
        {L"", false, false, false, false, L"", L""},
        {nullptr, false, false, false, false, L"", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.commandLine ? testing::PrintToString(std::wstring(row.commandLine)) : "null");
        const QuillfixOptions options = parseCommandLine(row.commandLine);
        EXPECT_EQ(row.bRemove, options.bRemove);
        EXPECT_EQ(row.bExitCode, options.bExitCode);
        EXPECT_EQ(row.bNoRestart, options.bNoRestart);
        EXPECT_EQ(row.bHelp, options.bHelp);
        EXPECT_EQ(row.commandLine != nullptr && wcsstr(row.commandLine, L"RestartService") != nullptr,
                  options.bRestartService);
        EXPECT_EQ(*row.logFile != L'\0', options.bLog);
        EXPECT_EQ(std::wstring(row.logFile), options.strLogFile);
        EXPECT_EQ(std::wstring(row.refused), options.strRefusedWord);
        EXPECT_EQ(row.bExitCode ? 3010 : 0, exitCodeFor(options, 3010));
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
