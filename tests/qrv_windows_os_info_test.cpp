#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "qrv_test_support.h"
#include "qrv_windows_os_info.h"

namespace {

const wchar_t kWindowsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Windows";
const wchar_t kProbeDefaultsKey[] = L"Software\\Wine\\AppDefaults\\os_info_probe.exe";

bool runningUnderWine()
{
    HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

// <folder of this test program>\probes\os_info_probe.exe
std::wstring probePath()
{
    wchar_t szModule[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, szModule, MAX_PATH);
    std::wstring path(szModule);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"probes\\os_info_probe.exe";
}

// Runs the probe and returns its "name=value" lines; "exit" holds its exit code.
std::map<std::string, std::string> runProbe()
{
    std::map<std::string, std::string> result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
        return result;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    std::wstring commandLine = L"\"" + probePath() + L"\"";
    BOOL bStarted = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &si, &pi);
    CloseHandle(hWrite);
    if (!bStarted) {
        CloseHandle(hRead);
        result["error"] = std::to_string(GetLastError());
        return result;
    }
    std::string output;
    char buffer[256];
    DWORD dwRead = 0;
    while (ReadFile(hRead, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        output.append(buffer, dwRead);
    CloseHandle(hRead);
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD dwExit = 0xDEADBEEF;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    result["exit"] = std::to_string(dwExit);
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            result[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return result;
}

// Keeps "CSDVersion" as it was before the test.
class CsdVersionGuard {
public:
    CsdVersionGuard() { m_bHad = qrvtest::getDword(HKEY_LOCAL_MACHINE, kWindowsKey, L"CSDVersion", m_dwValue); }
    ~CsdVersionGuard()
    {
        if (m_bHad) {
            qrvtest::setDword(HKEY_LOCAL_MACHINE, kWindowsKey, L"CSDVersion", m_dwValue);
        } else {
            HKEY hKey = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
                RegDeleteValueW(hKey, L"CSDVersion");
                RegCloseKey(hKey);
            }
        }
    }

private:
    bool m_bHad = false;
    DWORD m_dwValue = 0;
};

void removeCsdVersion()
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_SET_VALUE, &hKey));
    LONG rc = RegDeleteValueW(hKey, L"CSDVersion");
    RegCloseKey(hKey);
    ASSERT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) << rc;
}

// Keeps the process's QRVDrive variable as it was.
class QrvDriveGuard {
public:
    QrvDriveGuard()
    {
        DWORD dwLength = GetEnvironmentVariableW(L"QRVDrive", m_szValue, MAX_PATH);
        m_bHad = dwLength > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    }
    ~QrvDriveGuard() { SetEnvironmentVariableW(L"QRVDrive", m_bHad ? m_szValue : nullptr); }

private:
    bool m_bHad = false;
    wchar_t m_szValue[MAX_PATH] = {0};
};

} // namespace

// Wine applies HKCU\Software\Wine\AppDefaults\<exe>\Version when a process starts, so
// each version runs the probe in a process of its own.
TEST(WindowsOSInfoTest, GatesAcrossWindowsVersions)
{
    if (!runningUnderWine())
        GTEST_SKIP() << "needs Wine's per-program Windows version setting";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(probePath().c_str())) << "probe not built";

    struct Row {
        const wchar_t* szWineVersion;
        const char* szVersion;
        const char* szXP;
        const char* szVista;
    };
    const Row rows[] = {
        {L"win2k", "5.0", "0", "0"},   // before XP: refused by both
        {L"winxp", "5.1", "1", "0"},   // XP
        {L"win2003", "5.2", "1", "0"}, // Server 2003 is still the XP family
        {L"vista", "6.0", "0", "1"},   // Vista
        {L"win7", "6.1", "0", "0"},    // later than Vista: refused by both
    };
    for (const Row& row : rows) {
        std::string name(row.szVersion);
        SCOPED_TRACE(name);
        ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, kProbeDefaultsKey, L"Version", row.szWineVersion));
        std::map<std::string, std::string> probe = runProbe();
        EXPECT_EQ("0", probe["exit"]) << "error " << probe["error"];
        EXPECT_EQ(row.szVersion, probe["version"]);
        EXPECT_EQ(row.szXP, probe["isXP"]);
        EXPECT_EQ(row.szVista, probe["isVista"]);
        EXPECT_EQ(qrvtest::onSixtyFourBitWindows() ? "2" : "1", probe["platform"]);
    }
    qrvtest::deleteTree(HKEY_CURRENT_USER, kProbeDefaultsKey);
}

// The answer is the system's, whatever the process: 2 on 64-bit Windows for the
// 64-bit and the 32-bit (WOW64) build alike, 1 on a 32-bit Windows (a WINEARCH=win32
// prefix, where Wine reports x86, 0).
TEST(WindowsOSInfoTest, PlatformIsTheSystemsWordSize)
{
    CQRVWindowsOSInfo info;
    SYSTEM_INFO native;
    GetNativeSystemInfo(&native);
    if (qrvtest::onSixtyFourBitWindows()) {
        EXPECT_EQ(PROCESSOR_ARCHITECTURE_AMD64, native.wProcessorArchitecture);
        EXPECT_EQ(2, info.getPlatform());
    } else {
        EXPECT_EQ(PROCESSOR_ARCHITECTURE_INTEL, native.wProcessorArchitecture);
        EXPECT_EQ(1, info.getPlatform());
    }
}

TEST(WindowsOSInfoTest, ServicePackComesFromCsdVersion)
{
    CsdVersionGuard guard;

    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, kWindowsKey, L"CSDVersion", 0x0300));
    EXPECT_EQ(3UL, CQRVWindowsOSInfo().getServicePack());

    // Only the second byte counts: the low byte (the minor service pack) is dropped.
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, kWindowsKey, L"CSDVersion", 0x0201));
    EXPECT_EQ(2UL, CQRVWindowsOSInfo().getServicePack());

    removeCsdVersion();
    CQRVWindowsOSInfo withoutValue;
    EXPECT_EQ(0UL, withoutValue.getServicePack());
    EXPECT_GT(withoutValue.getVersion(), 0.0) << "a missing service pack must not stop construction";
}

TEST(WindowsOSInfoTest, PeFlagNeedsNonEmptyQrvDrive)
{
    QrvDriveGuard guard;

    ASSERT_TRUE(SetEnvironmentVariableW(L"QRVDrive", nullptr) || GetLastError() == ERROR_ENVVAR_NOT_FOUND);
    EXPECT_FALSE(CQRVWindowsOSInfo().isPE());

    ASSERT_TRUE(SetEnvironmentVariableW(L"QRVDrive", L""));
    EXPECT_FALSE(CQRVWindowsOSInfo().isPE()) << "an empty QRVDrive is no PE";

    ASSERT_TRUE(SetEnvironmentVariableW(L"QRVDrive", L"X:"));
    CQRVWindowsOSInfo info;
    EXPECT_TRUE(info.isPE());
    EXPECT_TRUE(info.performPECheck());
}

TEST(WindowsOSInfoTest, FeatureFlagsAreTheOrdinal437Answers)
{
    CQRVWindowsOSInfo info;
    bool bAnswer18 = !info.getFeature18();
    bool bAnswer37 = !info.getFeature37();
    // Wine's shlwapi.dll exports ordinal 437, so both queries are made.
    ASSERT_TRUE(info.performOSQueryFunction(18, bAnswer18));
    ASSERT_TRUE(info.performOSQueryFunction(37, bAnswer37));
    EXPECT_EQ(bAnswer18, info.getFeature18());
    EXPECT_EQ(bAnswer37, info.getFeature37());
}

TEST(WindowsOSInfoTest, TracesQuestionsAsLogicalResults)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300); // ENTRY and EXIT records
    {
        CQRVWindowsOSInfo info;
        info.isVista();
        info.isXP();
    }
    // Wine's default version is 6.1: both questions answer false.
    size_t nVistaFalse = 0, nXpFalse = 0, nDestructorPassed = 0;
    for (const std::wstring& line : capture.linesWith(L"<EXIT> ")) {
        if (line.find(L"<CQRVWindowsOSInfo::isVista> <Failed Logical Result> ") != std::wstring::npos)
            ++nVistaFalse;
        if (line.find(L"<CQRVWindowsOSInfo::isXP> <Failed Logical Result> ") != std::wstring::npos)
            ++nXpFalse;
        if (line.find(L"<CQRVWindowsOSInfo::~CQRVWindowsOSInfo> <Passed> ") != std::wstring::npos)
            ++nDestructorPassed;
    }
    EXPECT_EQ(1u, nVistaFalse);
    EXPECT_EQ(1u, nXpFalse);
    EXPECT_EQ(1u, nDestructorPassed);
    EXPECT_EQ(capture.linesWith(L"<ENTRY> ").size(), capture.linesWith(L"<EXIT> ").size())
        << "every ENTRY has its EXIT";
}
