// The log objects and the failure protocol: when records are written, how often, and
// that the caller's last-error value survives logging.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <functional>

#include "qrv_ini.h"
#include "qrv_protocol.h"
#include "qrv_registry_dword.h"
#include "qrv_registry_multi_string.h"
#include "qrv_registry_string.h"
#include "qrv_test_support.h"

namespace {

bool raiseBadArg(const wchar_t* argName)
{
    return qrvAbsorb(false, QRV_HERE, [&]() -> bool {
        throw CQRVBadArgException(argName, L"value is NULL", QRV_HERE);
    });
}

bool tracedPredicate(bool bAnswer)
{
    QRV_TRACE(L"CQRVTestObject", L"isThing");
    return qrvTrace.logical(bAnswer);
}

bool tracedOperation(bool bSuccess)
{
    QRV_TRACE(L"CQRVTestObject", L"doThing");
    return qrvTrace.passFail(bSuccess);
}

} // namespace

TEST(LogProtocolTest, FailureRaisedWithLoggingOnIsWrittenOnceAtConstruction)
{
    QRVLogCapture capture;
    bool bLoggedWhenCaught = false;
    const bool bResult = qrvAbsorb(false, QRV_HERE, [&]() -> bool {
        try {
            throw CQRVBadArgException(L"ulOffset", L"can't append", QRV_HERE);
        } catch (CQRVLogging& failure) {
            bLoggedWhenCaught = failure.logged;
            throw;
        }
    });
    EXPECT_FALSE(bResult);
    EXPECT_TRUE(bLoggedWhenCaught) << "the failure should have been written when it was made";
    const auto lines = capture.linesWith(L"A bad argument was provided ( ulOffset ). can't append");
    EXPECT_EQ(1u, lines.size()) << "written once, not again by the catch";
    EXPECT_EQ(1u, capture.lines().size());
}

TEST(LogProtocolTest, FailureRaisedWithLoggingOffIsNeverWritten)
{
    QRVLogCapture capture;
    capture.setDword(L"Logging", 0);
    CQRVBadArgException failure(L"x", L"y", QRV_HERE);
    EXPECT_FALSE(failure.logged);
    EXPECT_FALSE(failure.log());
    EXPECT_FALSE(failure.logged);
    EXPECT_FALSE(raiseBadArg(L"x"));

    capture.remove(L"Logging"); // a missing value is off too
    EXPECT_FALSE(raiseBadArg(L"x"));
    EXPECT_TRUE(capture.bytes().empty());
}

TEST(LogProtocolTest, BufferInitFailureIsWrittenByTheCatchAndAgainAtDestruction)
{
    QRVLogCapture capture;
    {
        CQRVBufferInitException made(QRV_HERE);
        EXPECT_FALSE(made.logged);
        EXPECT_TRUE(capture.bytes().empty()) << "never written at construction";
        made.logAtDestruction = false; // only the thrown copy below should write
    }
    EXPECT_FALSE(qrvAbsorb(false, QRV_HERE, []() -> bool { throw CQRVBufferInitException(QRV_HERE); }));
    EXPECT_EQ(2u, capture.linesWith(L"\"Unable to initialize CQRVBuffer\"").size())
        << "once by the catch, once when the caught object is destroyed";
}

TEST(LogProtocolTest, MissingTextArgumentsPrintUnknown)
{
    QRVLogCapture capture;
    EXPECT_FALSE(raiseBadArg(nullptr));
    EXPECT_EQ(1u, capture.linesWith(L"\"A bad argument was provided ( Unknown ). value is NULL\"").size());

    CQRVBadArgException noSentence(L"pBuffer", nullptr, QRV_HERE, OUTPUT_TEXT, false);
    EXPECT_EQ(L"A bad argument was provided ( pBuffer ). Unknown", noSentence.m_record.message);
    CQRVRegValueSetException set(nullptr, L"", 5, L"CQRVRegistryString", L"writeRegistry", QRV_HERE);
    EXPECT_EQ(L"Unable to Set registry value ( \"Unknown\\Unknown\" )", set.m_record.message);
    CQRVLoadStringException load(1121, nullptr, 1814, QRV_HERE, false);
    EXPECT_EQ(L"Unable to load string ( ID: 1121 ) from resource DLL ( Unknown resource DLL )", load.m_record.message);
    CQRVSIgetStoragePathException storage(L"CSIDL_COMMON_APPDATA", L"Reason.", 3, L"CQRVSystemInfo",
                                          L"getStoragePath", QRV_HERE, OUTPUT_TEXT, false);
    EXPECT_EQ(L"Unable to obtain Windows shell folder path for folder ( \"CSIDL_COMMON_APPDATA\" ).  Reason.",
              storage.m_record.message);
}

TEST(LogProtocolTest, ArgumentsAreNeverReadAsFormats)
{
    QRVLogCapture capture;
    CQRVRegKeyCreateException failure(L"SOFTWARE\\%s%d%n\\Key", 5, L"CQRVRegistryKey", L"create", QRV_HERE);
    EXPECT_EQ(L"Unable to create registry key ( \"SOFTWARE\\%s%d%n\\Key\" )", failure.m_record.message);
    EXPECT_EQ(RESULT_ERROR_CODE, failure.m_record.resultType);
    EXPECT_EQ(5, failure.m_record.resultValue);
    EXPECT_EQ(L"qrv_logging_test.cpp", failure.m_record.sourceFile);
}

TEST(LogProtocolTest, LastErrorSurvivesLogging)
{
    QRVLogCapture capture;
    SetLastError(0xDEADBEEF);
    {
        CQRVBadArgException failure(L"a", L"b", QRV_HERE);
        EXPECT_EQ(0xDEADBEEFu, GetLastError()) << "after construction (which wrote the file)";
        failure.logAtDestruction = true;
        SetLastError(1234);
        failure.log();
        EXPECT_EQ(1234u, GetLastError()) << "after log";
    }
    EXPECT_EQ(1234u, GetLastError()) << "after destruction";
    EXPECT_EQ(3u, capture.lines().size());
}

TEST(LogProtocolTest, NonLibraryFailuresAreLoggedAsUnhandled)
{
    QRVLogCapture capture;
    // The record carries the last-error value seen by the catch. The C++ runtime's
    // unwinding (SEH on x64) may itself change that value between throw and catch, so
    // only the record and its source piece are checked here.
    EXPECT_EQ(-1, qrvAbsorb(-1, QRV_HERE, []() -> int { throw 42; }));
    const auto lines = capture.linesWith(L"<EXCEPTION_BAD> <qrv_logging_test> \"An unhandled exception occurred\" <");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<qrv_logging_test.cpp, "));

    // The passing catch logs the same way and replaces the failure with its own class.
    bool bCaughtReplacement = false;
    try {
        qrvPass(QRV_HERE, [] { return CQRVMemAllocException(L"m_pBuffer", QRV_HERE, OUTPUT_TEXT, false); },
                []() -> int { throw std::bad_alloc(); });
    } catch (CQRVMemAllocException& replacement) {
        bCaughtReplacement = true;
        EXPECT_EQ(L"Unable to allocate memory ( m_pBuffer )", replacement.m_record.message);
    }
    EXPECT_TRUE(bCaughtReplacement);
    EXPECT_EQ(2u, capture.linesWith(L"An unhandled exception occurred").size());

    // A library failure passes through unchanged, written once.
    try {
        qrvPass(QRV_HERE, [] { return CQRVBufferInitException(QRV_HERE, false); },
                []() -> int { throw CQRVIndexOutOfBoundsException(QRV_HERE); });
        ADD_FAILURE() << "the failure should have passed";
    } catch (CQRVIndexOutOfBoundsException& passed) {
        EXPECT_TRUE(passed.logged);
    }
    EXPECT_EQ(1u, capture.linesWith(L"Index out of array bounds").size());
}

TEST(LogProtocolTest, FailuresOnlyCatchPassesForeignExceptionsAsUnhandled)
{
    QRVLogCapture capture;
    EXPECT_EQ(-5, qrvAbsorbFailuresOnly(-5, QRV_HERE, []() -> int { throw CQRVUnknownVariableNameException(QRV_HERE); }));
    EXPECT_EQ(1u, capture.linesWith(L"The environment variable name has not been initialized").size());
    try {
        qrvAbsorbFailuresOnly(true, QRV_HERE, []() -> bool { throw 7; });
        ADD_FAILURE() << "a foreign exception must reach the caller";
    } catch (CQRVUnhandledExceptionException& unhandled) {
        EXPECT_EQ(-1, unhandled.m_record.resultValue);
        EXPECT_TRUE(unhandled.logged);
    }
    // Code -1 prints no error piece.
    EXPECT_FALSE(qrvAbsorb(false, QRV_HERE, []() -> bool { throw 7; }, QRVErrorSource::NoCode));
    const auto lines = capture.linesWith(L"\"An unhandled exception occurred\" <qrv_logging_test.cpp, ");
    EXPECT_EQ(2u, lines.size());
}

TEST(MethodTraceTest, EntryAndExitLinesFollowDynamicLoggingAndDetail)
{
    {
        QRVLogCapture capture; // no "DynamicLogging": no tracing at all
        capture.setDword(L"LogDetail", 0x300);
        tracedOperation(true);
        EXPECT_TRUE(capture.bytes().empty());
    }
    {
        QRVLogCapture capture;
        capture.setDword(L"DynamicLogging", 1);
        capture.setDword(L"LogDetail", 0x300);
        tracedOperation(false);
        tracedPredicate(false);
        tracedPredicate(true);
        const auto lines = capture.lines();
        ASSERT_EQ(6u, lines.size());
        EXPECT_NE(std::wstring::npos, lines[0].find(L"<ENTRY> <qrv_logging_test> <CQRVTestObject::doThing> <qrv_logging_test.cpp, "));
        EXPECT_NE(std::wstring::npos, lines[1].find(L"<EXIT> <qrv_logging_test> <CQRVTestObject::doThing> <Failed> <"));
        EXPECT_NE(std::wstring::npos, lines[3].find(L"<CQRVTestObject::isThing> <Failed Logical Result> <"));
        EXPECT_NE(std::wstring::npos, lines[5].find(L"<CQRVTestObject::isThing> <Passed> <"));
    }
    {
        QRVLogCapture capture;
        capture.setDword(L"DynamicLogging", 1);
        capture.setDword(L"LogDetail", 0x2300); // EXIT lines only for failed operations
        tracedOperation(true);
        tracedOperation(false);
        tracedPredicate(false);
        EXPECT_EQ(3u, capture.linesWith(L"<ENTRY>").size());
        const auto exits = capture.linesWith(L"<EXIT>");
        ASSERT_EQ(1u, exits.size());
        EXPECT_NE(std::wstring::npos, exits[0].find(L"doThing> <Failed>"));
    }
    {
        QRVLogCapture capture;
        capture.setDword(L"DynamicLogging", 2); // any value but 1 is off
        capture.setDword(L"LogDetail", 0x300);
        tracedOperation(true);
        EXPECT_TRUE(capture.bytes().empty());
    }
}

TEST(SimpleLogTest, NotificationWritesTheShortLine)
{
    QRVLogCapture capture;
    capture.setDword(L"LogDetail", 0x80);
    CLogNotification note(L"Message Box displayed: hello");
    EXPECT_TRUE(note.logged);
    const auto lines = capture.lines();
    ASSERT_EQ(1u, lines.size());
    const size_t at = lines[0].find(L">: ");
    ASSERT_NE(std::wstring::npos, at);
    EXPECT_EQ(L"<NOTIFICATION> <qrv_logging_test> \"Message Box displayed: hello\" ", lines[0].substr(at + 3));

    // The short form ignores the object filters: only the first stage applies.
    capture.setString(L"AllowObjects", L"CQRVIni");
    CQRVSimpleLog simple(lkNotification, L"second", 0, RESULT_ERROR_CODE);
    EXPECT_TRUE(simple.logged);
}

// ---- the last error a failed operation leaves ----------------------------------------
// (docs/library.md repeats this table.)

namespace {

// HKCU\...\Locked with a DACL that lets everyone read and delete it, nothing else; the
// DACL is opened up again before the test key is deleted.
struct LockedKey {
    explicit LockedKey(const std::wstring& path) : m_path(path)
    {
        PSECURITY_DESCRIPTOR pSd = nullptr;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KRSD;;;WD)", SDDL_REVISION_1,
                                                                         &pSd, nullptr));
        SECURITY_ATTRIBUTES sa = { sizeof(sa), pSd, FALSE };
        HKEY h = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ, &sa, &h,
                                                 nullptr));
        RegCloseKey(h);
        LocalFree(pSd);
    }
    ~LockedKey()
    {
        PSECURITY_DESCRIPTOR pSd = nullptr;
        HKEY h = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &pSd, nullptr) &&
            RegOpenKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, WRITE_DAC, &h) == ERROR_SUCCESS) {
            RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, pSd);
            RegCloseKey(h);
        }
        LocalFree(pSd);
    }
    std::wstring m_path;
};

} // namespace

TEST(LogProtocolTest, FailedOperationsLeaveTheirCodeInGetLastError)
{
    QRVTestKey key;
    QRVLogCapture capture;
    const CQRVWCharString path(key.path());
    LockedKey locked(key.sub(L"Locked"));
    const CQRVWCharString lockedPath(locked.m_path);
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, key.path(), L"long", std::wstring(300, L'x')));
    const std::wstring folder = qrvtest::makeTempFolder(L"lasterror");
    const CQRVWCharString ini(folder + L"\\held.ini");
    ASSERT_TRUE(WritePrivateProfileStringW(L"S", L"k", L"1", ini.c_str()));

    // Wine does not check a key's DACL against the caller (the open for writing
    // succeeds), so the two DACL rows run only where the platform refuses a plain
    // RegOpenKeyExW; RegSetValueExW through a read-only handle shows the same code here.
    HKEY hProbe = nullptr;
    const LONG lProbe = RegOpenKeyExW(HKEY_CURRENT_USER, locked.m_path.c_str(), 0, KEY_WRITE, &hProbe);
    if (lProbe == ERROR_SUCCESS)
        RegCloseKey(hProbe);
    const bool bDaclChecked = lProbe == ERROR_ACCESS_DENIED;
    if (!bDaclChecked)
        std::printf("note: this platform does not check key DACLs; the two DACL rows are skipped\n");

    struct Row {
        const char* operation;
        std::function<bool()> call;
        DWORD expected;
        bool bNeedsDacl;
    } rows[] = {
        {"setValue, key opened for reading (RegSetValueExW)",
         [&] { return CQRVRegistryString(HKEY_CURRENT_USER, path, L"v", KEY_READ).setValue(L"x", false); },
         ERROR_ACCESS_DENIED, false},
        {"setValue, key whose DACL allows reading only (RegOpenKeyExW)",
         [&] { return CQRVRegistryDword(HKEY_CURRENT_USER, lockedPath, L"v", KEY_WRITE).setValue(1, false); },
         ERROR_ACCESS_DENIED, true},
        {"create below that key (RegCreateKeyExW)",
         [&] { return CQRVRegistryKey(HKEY_CURRENT_USER, lockedPath + L"\\Sub", KEY_WRITE).create(); },
         ERROR_ACCESS_DENIED, true},
        {"open of a missing key", [&] { return CQRVRegistryKey(HKEY_CURRENT_USER, path + L"\\No", KEY_READ).open(); },
         ERROR_FILE_NOT_FOUND, false},
        {"string getValue of a missing value",
         [&] {
             CQRVWCharString s;
             return CQRVRegistryString(HKEY_CURRENT_USER, path, L"no", KEY_READ).getValue(s, false);
         },
         ERROR_FILE_NOT_FOUND, false},
        {"dword getValue of a missing value",
         [&] { DWORD d; return CQRVRegistryDword(HKEY_CURRENT_USER, path, L"no", KEY_READ).getValue(d, false); },
         ERROR_FILE_NOT_FOUND, false},
        {"multi-string getValue of a missing value",
         [&] {
             CQRVRegStringList l;
             return CQRVRegistryMultiString(HKEY_CURRENT_USER, path, L"no", KEY_READ).getValue(l, false);
         },
         ERROR_FILE_NOT_FOUND, false},
        {"string getValue of 300 characters",
         [&] {
             CQRVWCharString s;
             return CQRVRegistryString(HKEY_CURRENT_USER, path, L"long", KEY_READ).getValue(s, false);
         },
         ERROR_MORE_DATA, false},
        {"exportKey (text) of a missing key",
         [&] {
             return CQRVRegistryKey(HKEY_CURRENT_USER, path + L"\\No", KEY_READ)
                 .exportKey(folder + L"\\x.txt", CQRVRegistryKey::kExportTextFile, true);
         },
         ERROR_FILE_NOT_FOUND, false},
        {"getProfileString of a missing INI key",
         [&] { CQRVWCharString s; return CQRVIni(ini).getProfileString(L"S", L"no", s); }, ERROR_FILE_NOT_FOUND, false},
        {"getProfileInt of a missing INI key",
         [&] { int n; return CQRVIni(ini).getProfileInt(L"S", L"no", n); }, ERROR_FILE_NOT_FOUND, false},
    };
    for (const Row& row : rows) {
        if (row.bNeedsDacl && !bDaclChecked)
            continue;
        SCOPED_TRACE(row.operation);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(row.call());
        EXPECT_EQ(row.expected, GetLastError());
    }

    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"\\x.txt").c_str())) << "the failed export made a file";

    // A file held open without sharing: reads and writes fail with the sharing violation.
    HANDLE hHeld = CreateFileW(ini.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    CQRVWCharString szValue;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CQRVIni(ini).getProfileString(L"S", L"k", szValue));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError()) << "getProfileString";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CQRVIni(ini).setProfileString(L"S", L"k", L"2"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError()) << "setProfileString";
    CloseHandle(hHeld);
    qrvtest::removeFolder(folder);

    // The records of the failed value write and the failed export show their code.
    EXPECT_EQ(1u, capture.linesWith(L"\"Unable to Set registry value ( \"" + key.path() +
                                    L"\\v\" )\" <Error: 0x00000005>").size());
    EXPECT_EQ(1u, capture.linesWith(L"<CQRVRegistryKey::exportKey> \"Unable to save registry key ( \"" + key.path() +
                                    L"\\No\" )\" <Error: 0x00000002>").size());
}
