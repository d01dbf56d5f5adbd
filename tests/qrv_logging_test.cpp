// The log objects and the failure protocol: when records are written, how often, and
// that the caller's last-error value survives logging.
#include <gtest/gtest.h>

#include "qrv_protocol.h"
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
    EXPECT_EQ(RESULT_PASS_FAIL, failure.m_record.resultType);
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
