// The registry-held logging configuration and the filter it drives.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>
#include <iostream>
#include <thread>

#include "qrv_logging_config.h"
#include "qrv_protocol.h"
#include "qrv_test_support.h"

namespace {

// Writes one record of the given kind and object through the full filter.
bool writeKind(int kind, const wchar_t* object = nullptr)
{
    CQRVDetailedLog record(kind, L"probe", 0, RESULT_ERROR_CODE, object, nullptr, nullptr, 0, true, false,
                           OUTPUT_TEXT);
    return record.logged;
}

} // namespace

TEST(LoggingConfigTest, DefaultDetailWritesOnlyTheSeriousKinds)
{
    QRVLogCapture capture; // "LogDetail" absent: 0x1B
    EXPECT_EQ(0x1B, CQRVLoggingConfig().getLogDetail());
    EXPECT_TRUE(writeKind(lkCritical));
    EXPECT_TRUE(writeKind(lkExceptionBad));
    EXPECT_TRUE(writeKind(lkError));
    EXPECT_TRUE(writeKind(lkWarning));
    EXPECT_FALSE(writeKind(lkEntry));
    EXPECT_FALSE(writeKind(lkExit));
    EXPECT_FALSE(writeKind(lkDebug));
    EXPECT_FALSE(writeKind(lkInformation));
    EXPECT_EQ(4u, capture.lines().size());
}

TEST(LoggingConfigTest, DetailRecordedOnTheObject)
{
    QRVLogCapture capture;
    capture.setDword(L"LogDetail", 0x10020); // only the low 16 bits count
    CQRVLogDebug debug(L"d", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
    EXPECT_TRUE(debug.logged);
    EXPECT_EQ(0x20, debug.detail);
    EXPECT_FALSE(writeKind(lkWarning));

    capture.setDword(L"Logging", 0);
    CQRVLogDebug off(L"d", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(0, off.detail);
}

TEST(LoggingConfigTest, ExitFlagsSelectWhichExitRecordsAreWritten)
{
    struct Row {
        const char* what;
        unsigned long detail;
        int type;
        int value;
        bool written;
    } rows[] = {
        {"plain EXIT detail writes all", 0x200, RESULT_PASS_FAIL, 1, true},
        {"failed-only: passed is dropped", 0x2200, RESULT_PASS_FAIL, 1, false},
        {"failed-only: failed is written", 0x2200, RESULT_PASS_FAIL, 0, true},
        {"failed-only: low byte decides", 0x2200, RESULT_PASS_FAIL, 0x100, true},
        {"failed-only: logical is never written", 0x2200, RESULT_LOGICAL, 0, false},
        {"false-only: false predicate", 0x4200, RESULT_LOGICAL, 0, true},
        {"false-only: true predicate", 0x4200, RESULT_LOGICAL, 1, false},
        {"nonzero errors: zero dropped", 0x1200, RESULT_ERROR_CODE, 0, false},
        {"nonzero errors: code written", 0x1200, RESULT_ERROR_CODE, 5, true},
        {"nonzero errors: return code not covered", 0x1200, RESULT_RETURN_CODE, 5, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QRVLogCapture capture;
        capture.setDword(L"LogDetail", row.detail);
        CQRVDetailedLog exitRecord(lkExit, nullptr, row.value, row.type, L"O", L"m", nullptr, 0, true, false,
                                   OUTPUT_TEXT);
        EXPECT_EQ(row.written, exitRecord.logged);
    }
}

TEST(LoggingConfigTest, ProgramSettingOverridesDetailAndOutputMask)
{
    QRVLogCapture capture;
    capture.setDword(L"LogDetail", 0x10);
    capture.setString(L"qrv_logging_config_test", L"1,2,C:\\elsewhere.log");
    CQRVDetailedLog entry(lkEntry, nullptr, 0, RESULT_PASS_FAIL, nullptr, nullptr, nullptr, 0, true, false, 0x3);
    EXPECT_TRUE(entry.logged) << "every kind passes, and the output mask becomes 1";
    EXPECT_EQ(1, entry.outputMask);
    EXPECT_EQ(2, entry.detail);
    EXPECT_EQ(1u, capture.lines().size()) << "records still go to TextOutput";

    struct Row {
        const wchar_t* text;
        unsigned short output;
        unsigned short detail;
        const wchar_t* location;
    } rows[] = {
        {L"1,27,C:\\x.log", 1, 27, L"C:\\x.log"},
        {L"  +3, 0x1b ,a,b", 3, 0, L"b"},
        {L"1", 1, 0, L""},
        {L"1,27", 1, 27, L""},
        {L"", 0, 0, L""},
        {L"-1,65537,z", 0xFFFF, 1, L"z"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "setting " << row.text);
        const QRVProgramSettings settings = qrvParseProgramSettings(row.text);
        EXPECT_EQ(row.output, settings.outputMask);
        EXPECT_EQ(row.detail, settings.detailMask);
        EXPECT_EQ(row.location, settings.location);
    }
}

TEST(LoggingConfigTest, AllowListWinsOverExcludeList)
{
    QRVLogCapture capture;
    capture.setString(L"AllowObjects", L"CQRVIni");
    capture.setString(L"ExcludeObjects", L"CQRVIni");
    EXPECT_TRUE(writeKind(lkWarning, L"CQRVIni"));
    EXPECT_FALSE(writeKind(lkWarning, L"CQRVRegistryKey"));
    EXPECT_TRUE(writeKind(lkWarning)) << "a record without an object name passes";

    capture.remove(L"AllowObjects");
    EXPECT_FALSE(writeKind(lkWarning, L"CQRVIni"));
    EXPECT_TRUE(writeKind(lkWarning, L"CQRVRegistryKey"));
    EXPECT_FALSE(writeKind(lkWarning, L"Ini")) << "substring match";
    EXPECT_TRUE(writeKind(lkWarning, L"cqrvini")) << "case-sensitive";
}

TEST(LoggingConfigTest, LongSettingsAreReadWhole)
{
    QRVLogCapture capture;
    // A list longer than 1024 bytes that names the object only at its end.
    capture.setString(L"AllowObjects", std::wstring(700, L'-') + L"CQRVDirectory");
    EXPECT_TRUE(writeKind(lkWarning, L"CQRVDirectory"));

    // A log path longer than 127 characters.
    const std::wstring folder = qrvtest::makeTempFolder(std::wstring(120, L'p'));
    const std::wstring path = folder + L"\\quillfix.log";
    ASSERT_GT(path.size(), 127u);
    capture.setString(L"TextOutput", path);
    EXPECT_TRUE(writeKind(lkWarning));
    EXPECT_FALSE(qrvtest::readFile(path).empty());
    qrvtest::removeFolder(folder);

    std::wstring name;
    ASSERT_TRUE(qrvGetModuleBaseName(name));
    EXPECT_EQ(L"qrv_logging_config_test", name);
}

TEST(LoggingConfigTest, OutputLocationBits)
{
    QRVLogCapture capture;
    capture.setString(L"XMLOutput", L"C:\\x.xml");
    CQRVLoggingConfig config;
    wchar_t buffer[8];
    EXPECT_TRUE(config.getOutputLocation(0x10, nullptr, 0)) << "bit 0x10 reads nothing";
    EXPECT_FALSE(config.getOutputLocation(0x40, buffer, sizeof(buffer)));
    EXPECT_FALSE(config.getOutputLocation(OUTPUT_XML, nullptr, 16));
    EXPECT_FALSE(config.getOutputLocation(OUTPUT_XML, buffer, 0));
    EXPECT_FALSE(config.getOutputLocation(OUTPUT_HTML, buffer, sizeof(buffer)));
    ASSERT_TRUE(config.getOutputLocation(OUTPUT_XML, buffer, sizeof(buffer)));
    EXPECT_STREQ(L"C:\\x.xm", buffer) << "cut to the caller's buffer, terminated";
}

namespace {

// Runs the platform's reg.exe with the arguments and waits for it.
DWORD runReg(const std::wstring& arguments)
{
    std::wstring command = L"reg.exe " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace

// The settings are kept between records, so this checks that every kind of change
// reaches the next record: a value set here, one set by another process, the key
// deleted and made again.
TEST(LoggingConfigTest, ChangesWhileRunningReachTheNextRecord)
{
    QRVLogCapture capture;
    CQRVLoggingConfig config;
    EXPECT_EQ(0x1B, config.getLogDetail());
    EXPECT_TRUE(writeKind(lkWarning));

    capture.setDword(L"LogDetail", 0x20);
    EXPECT_EQ(0x20, config.getLogDetail());
    EXPECT_FALSE(writeKind(lkWarning));

    ASSERT_EQ(0u, runReg(L"add HKLM\\SOFTWARE\\Zarvik\\Logs /v LogDetail /t REG_DWORD /d 16 /f /reg:64"));
    EXPECT_EQ(0x10, config.getLogDetail()) << "set by another process";
    EXPECT_TRUE(writeKind(lkWarning));

    ASSERT_EQ(0u, runReg(L"delete HKLM\\SOFTWARE\\Zarvik\\Logs /f /reg:64"));
    EXPECT_FALSE(config.isLoggingEnabled()) << "key deleted by another process";
    EXPECT_FALSE(writeKind(lkWarning));

    capture.setDword(L"Logging", 1);
    capture.setString(L"TextOutput", capture.path());
    EXPECT_TRUE(config.isLoggingEnabled()) << "key made again";
    EXPECT_EQ(0x1B, config.getLogDetail());
    EXPECT_TRUE(writeKind(lkWarning));
    EXPECT_EQ(3u, capture.lines().size());
}

// "Logging" switched off and on again while two threads keep logging and a third holds
// a record in flight (its change check done): every record begun after a switch, on
// every thread, follows it. While the registry changes the phase is "switching"; a
// record counts for the phase it began and ended in, never for a switch.
TEST(LoggingConfigThreadsTest, ASwitchReachesEveryRecordBegunAfterIt)
{
    QRVLogCapture capture;
    enum { kOn, kOff, kOnAgain, kPhases, kSwitching = kPhases };
    const long kPerPhase = 300;
    std::atomic<int> phase(kOn);
    std::atomic<bool> stop(false);
    std::atomic<long> begun[2][kPhases] = {};
    std::atomic<long> logged[2][kPhases] = {};
    auto busy = [&](int thread) {
        while (!stop) {
            const int now = phase;
            CQRVLogWarning record(L"busy", thread, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
            if (now == kSwitching || phase != now)
                continue; // a switch came while the record was written: it may go either way
            ++begun[thread][now];
            if (record.logged)
                ++logged[thread][now];
        }
    };
    std::atomic<bool> inFlight(false);
    std::thread holder([&] {
        QRVLoggingConfigRecordScope record;
        EXPECT_TRUE(CQRVLoggingConfig().isLoggingEnabled());
        inFlight = true;
        while (!stop)
            Sleep(1);
    });
    std::thread first(busy, 0);
    std::thread second(busy, 1);
    auto waitForRecords = [&](int now) {
        for (int i = 0; i < 60000 && (begun[0][now] < kPerPhase || begun[1][now] < kPerPhase || !inFlight); ++i)
            Sleep(1);
    };
    waitForRecords(kOn);
    auto switchTo = [&](int next, DWORD dwLogging) {
        phase = kSwitching;
        capture.setDword(L"Logging", dwLogging);
        phase = next;
    };
    switchTo(kOff, 0);
    EXPECT_FALSE(writeKind(lkWarning)) << "this thread, with records in flight on three others";
    waitForRecords(kOff);
    switchTo(kOnAgain, 1);
    EXPECT_TRUE(writeKind(lkWarning));
    waitForRecords(kOnAgain);
    stop = true;
    first.join();
    second.join();
    holder.join();

    for (int thread = 0; thread < 2; ++thread) {
        SCOPED_TRACE(::testing::Message() << "thread " << thread);
        for (int now = kOn; now < kPhases; ++now) {
            const long nBegun = begun[thread][now];
            const long nLogged = logged[thread][now];
            SCOPED_TRACE(::testing::Message() << "phase " << now << ": " << nLogged << " of " << nBegun
                                              << " records logged");
            EXPECT_GE(nBegun, kPerPhase);
            EXPECT_EQ(now == kOff ? 0 : nBegun, nLogged);
        }
    }
    std::cout << "records begun (on, off, on again): " << begun[0][kOn] + begun[1][kOn] << ", "
              << begun[0][kOff] + begun[1][kOff] << ", " << begun[0][kOnAgain] + begun[1][kOnAgain] << "\n";
}

// The logs key refusing this process (an empty DACL) when a change makes the settings
// be read again is not "missing" for good: once it opens again, with nothing changed on
// the watched path but its security (which no watch reports), the next record reads it.
TEST(LoggingConfigTest, AKeyThatFailsToOpenIsReadAgainUntilItOpens)
{
    QRVLogCapture capture;
    EXPECT_TRUE(writeKind(lkWarning));
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, CQRVLoggingConfig::s_szLogsKey, 0,
                                           READ_CONTROL | WRITE_DAC | KEY_SET_VALUE, &h));
    DWORD cbSaved = 0;
    RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, nullptr, &cbSaved);
    std::vector<BYTE> saved(cbSaved);
    ASSERT_EQ(ERROR_SUCCESS, RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, saved.data(), &cbSaved));
    ACL empty;
    ASSERT_TRUE(InitializeAcl(&empty, sizeof(empty), ACL_REVISION));
    SECURITY_DESCRIPTOR denyAll;
    ASSERT_TRUE(InitializeSecurityDescriptor(&denyAll, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&denyAll, TRUE, &empty, FALSE));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &denyAll));
    const DWORD touch = 1; // a change: the next record reads the settings again
    RegSetValueExW(h, L"Touch", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&touch), sizeof(touch));
    HKEY probe = nullptr;
    const LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, CQRVLoggingConfig::s_szLogsKey, 0, KEY_READ, &probe);
    if (probe)
        RegCloseKey(probe);
    const bool bLoggedWhileDenied = writeKind(lkWarning);
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, saved.data()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, rc);
    EXPECT_FALSE(bLoggedWhileDenied) << "a key that does not open has no values";
    EXPECT_TRUE(writeKind(lkWarning)) << "read again once it opens";
    EXPECT_EQ(2u, capture.lines().size());
    RegDeleteValueW(h, L"Touch");
    RegCloseKey(h);
}

// A process's own destination takes its records whatever the registry says (logging
// off, or on with another file): only its detail bits filter, each line carries the
// process id and, after a code, the system's text; the byte-order mark comes once. An
// empty path hands the records back to the registry's settings.
TEST(LoggingConfigTest, ProcessDestinationOverridesTheRegistrysLocationAndDetail)
{
    QRVLogCapture capture;
    capture.setDword(L"Logging", 0);
    const std::wstring folder = qrvtest::makeTempFolder(L"process_log");
    const std::wstring path = folder + L"\\process.log";
    CQRVLoggingConfig::setProcessLogDestination(path, lkExceptionBad | lkWarning);
    std::wstring gotPath;
    unsigned short gotDetail = 0;
    ASSERT_TRUE(CQRVLoggingConfig::getProcessLogDestination(gotPath, gotDetail));
    EXPECT_EQ(path, gotPath);
    EXPECT_EQ(lkExceptionBad | lkWarning, gotDetail);

    SetLastError(0xDEADBEEF);
    CQRVDetailedLog failure(lkExceptionBad, L"probe failure", ERROR_SHARING_VIOLATION, RESULT_ERROR_CODE, L"O",
                            L"m", nullptr, 0, true, false, OUTPUT_TEXT);
    EXPECT_EQ(0xDEADBEEFu, GetLastError());
    EXPECT_TRUE(failure.logged);
    EXPECT_FALSE(writeKind(lkDebug)); // not among its bits
    capture.setDword(L"Logging", 1);
    EXPECT_TRUE(writeKind(lkWarning)); // the registry's log is not written meanwhile
    EXPECT_TRUE(capture.lines().empty());

    CQRVLoggingConfig::setProcessLogDestination(std::wstring(), 0xFFFF);
    EXPECT_FALSE(CQRVLoggingConfig::getProcessLogDestination(gotPath, gotDetail));
    EXPECT_TRUE(writeKind(lkWarning));
    EXPECT_EQ(1u, capture.lines().size());

    const std::vector<unsigned char> bytes = qrvtest::readFile(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_EQ(std::wstring::npos, text.find(L'\xFEFF'));
    const std::wstring pid = L">: <pid " + std::to_wstring(GetCurrentProcessId()) + L"> <";
    const size_t firstEnd = text.find(L"\r\n");
    ASSERT_NE(std::wstring::npos, firstEnd);
    const std::wstring first = text.substr(0, firstEnd + 2);
    EXPECT_NE(std::wstring::npos, first.find(pid + L"EXCEPTION_BAD> <")) << first.c_str();
    EXPECT_NE(std::wstring::npos, first.find(L"<O::m> \"probe failure\" <Error: 0x00000020 = 32: ")) << first.c_str();
    const std::wstring second = text.substr(firstEnd + 2);
    EXPECT_NE(std::wstring::npos, second.find(pid + L"WARNING> <")) << second.c_str();
    EXPECT_EQ(second.size() - 2, second.find(L"\r\n")) << "two lines in all";
    qrvtest::removeFolder(folder);
}
