// The text output: the exact pieces of the full and short lines, the file's bytes,
// the dispatcher's result and rotation.
#include <gtest/gtest.h>

#include <atomic>
#include <cwctype>
#include <iostream>
#include <thread>

#include "qrv_logging_config.h"
#include "qrv_logging_outputs.h"
#include "qrv_method_trace.h"
#include "qrv_protocol.h"
#include "qrv_test_support.h"

namespace {

// Checks the "<Www Mmm DD hh:mm:ss YYYY>: " head and returns what follows it.
std::wstring afterTime(const std::wstring& line)
{
    static const wchar_t* const kDays = L"Sun Mon Tue Wed Thu Fri Sat";
    static const wchar_t* const kMonths = L"Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec";
    EXPECT_GE(line.size(), 28u);
    if (line.size() < 28)
        return line;
    EXPECT_EQ(L'<', line[0]);
    EXPECT_NE(std::wstring::npos, std::wstring(kDays).find(line.substr(1, 3))) << "weekday in " << line.c_str();
    EXPECT_NE(std::wstring::npos, std::wstring(kMonths).find(line.substr(5, 3))) << "month in " << line.c_str();
    const std::wstring digits = line.substr(9, 2) + line.substr(12, 2) + line.substr(15, 2) + line.substr(18, 2) +
                                line.substr(21, 4);
    for (wchar_t c : digits)
        EXPECT_TRUE(std::iswdigit(c)) << "time in " << line.c_str();
    EXPECT_EQ(L">: ", line.substr(25, 3));
    return line.substr(28);
}

CQRVLogRecord makeRecord(int kind, const wchar_t* message, int resultType, int resultValue,
                         const wchar_t* object, const wchar_t* method, const wchar_t* file, int line)
{
    CQRVLogRecord record;
    record.kind = kind;
    qrvAssignText(record.message, message);
    record.moduleName = L"quillfix";
    record.resultType = resultType;
    record.resultValue = resultValue;
    qrvAssignText(record.objectName, object);
    qrvAssignText(record.functionName, method);
    qrvAssignText(record.sourceFile, file);
    record.line = line;
    return record;
}

} // namespace

TEST(LoggingOutputTextTest, FullLinePieces)
{
    struct Row {
        const char* what;
        CQRVLogRecord record;
        const wchar_t* expected;
    } rows[] = {
        {"pass/fail type prints no result piece off EXIT",
         makeRecord(lkExceptionBad, L"Unable to create registry key ( \"A\\B\" )", RESULT_PASS_FAIL, 5,
                    L"CQRVRegistryKey", L"create", L"d:\\src\\qrv\\qrv_registry_key.cpp", 120),
         L"<EXCEPTION_BAD> <quillfix> <CQRVRegistryKey::create> \"Unable to create registry key ( \"A\\B\" )\" "
         L"<qrv_registry_key.cpp, 120> \r\n"},
        {"error code 5", makeRecord(lkExceptionBad, L"m", RESULT_ERROR_CODE, 5, nullptr, nullptr, L"f.cpp", 7),
         L"<EXCEPTION_BAD> <quillfix> \"m\" <Error: 0x00000005> <f.cpp, 7> \r\n"},
        {"error code -1 prints nothing",
         makeRecord(lkExceptionBad, L"m", RESULT_ERROR_CODE, -1, nullptr, nullptr, nullptr, 0),
         L"<EXCEPTION_BAD> <quillfix> \"m\" \r\n"},
        {"error code 0 prints nothing", makeRecord(lkWarning, L"m", RESULT_ERROR_CODE, 0, nullptr, nullptr, nullptr, 0),
         L"<WARNING> <quillfix> \"m\" \r\n"},
        {"kind 0x300 is unspecified", makeRecord(0x300, nullptr, RESULT_ERROR_CODE, 0, nullptr, nullptr, nullptr, 0),
         L"<UNSPECIFIED> <quillfix> \r\n"},
        {"EXIT passed", makeRecord(lkExit, nullptr, RESULT_PASS_FAIL, 1, L"O", L"m", nullptr, 0),
         L"<EXIT> <quillfix> <O::m> <Passed> \r\n"},
        {"EXIT failed", makeRecord(lkExit, nullptr, RESULT_PASS_FAIL, 0, L"O", nullptr, nullptr, 0),
         L"<EXIT> <quillfix> <O> <Failed> \r\n"},
        {"EXIT false predicate", makeRecord(lkExit, nullptr, RESULT_LOGICAL, 0, nullptr, L"m", nullptr, 0),
         L"<EXIT> <quillfix> <::m> <Failed Logical Result> \r\n"},
        {"ENTRY logical prints no result", makeRecord(lkEntry, nullptr, RESULT_LOGICAL, 0, L"O", L"m", nullptr, 0),
         L"<ENTRY> <quillfix> <O::m> \r\n"},
        {"return code always", makeRecord(lkInformation, L"r", RESULT_RETURN_CODE, 0, nullptr, nullptr, nullptr, 0),
         L"<INFORMATION> <quillfix> \"r\" <Return Code: 0x00000000> \r\n"},
        {"negative return code", makeRecord(lkDebug, nullptr, RESULT_RETURN_CODE, -2, nullptr, nullptr, nullptr, 0),
         L"<DEBUG> <quillfix> <Return Code: 0xfffffffe> \r\n"},
        {"source without line", makeRecord(lkWarning, nullptr, 7, 0, nullptr, nullptr, L"qrv_ini.cpp", 0),
         L"<WARNING> <quillfix> <qrv_ini.cpp>\r\n"},
        {"line without source", makeRecord(lkWarning, nullptr, 7, 0, nullptr, nullptr, nullptr, 12),
         L"<WARNING> <quillfix> <12> \r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.expected, afterTime(CQRVLoggingOutputText::formatLine(row.record)));
    }
}

TEST(LoggingOutputTextTest, ShortLinePieces)
{
    struct Row {
        const char* what;
        CQRVLogRecord record;
        const wchar_t* expected;
    } rows[] = {
        {"pass", makeRecord(lkExit, L"m", RESULT_PASS_FAIL, 1, L"O", L"f", L"x.cpp", 3),
         L"<EXIT> <quillfix> \"m\" <Passed>\r\n"},
        {"fail", makeRecord(lkExit, nullptr, RESULT_PASS_FAIL, 0, nullptr, nullptr, nullptr, 0),
         L"<EXIT> <quillfix> <Failed>\r\n"},
        {"false comparison", makeRecord(lkExit, nullptr, RESULT_LOGICAL, 0, nullptr, nullptr, nullptr, 0),
         L"<EXIT> <quillfix> <Failed Comparison>\r\n"},
        {"error", makeRecord(lkError, L"e", RESULT_ERROR_CODE, 0x57, nullptr, nullptr, nullptr, 0),
         L"<ERROR> <quillfix> \"e\" <Error: 0x00000057> \r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.expected, afterTime(CQRVLoggingOutputText::formatShortLine(row.record)));
    }
}

TEST(LoggingOutputTextTest, FileStartsWithOneByteOrderMarkAndKeepsLongLinesWhole)
{
    QRVLogCapture capture;
    const std::wstring longMessage(3000, L'x');
    CQRVLogWarning first(longMessage.c_str(), 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
    CQRVLogWarning second(L"two", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
    EXPECT_TRUE(first.logged);
    EXPECT_TRUE(second.logged);

    const auto bytes = capture.bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    size_t marks = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        marks += (bytes[i] == 0xFF && bytes[i + 1] == 0xFE) ? 1 : 0;
    EXPECT_EQ(1u, marks) << "appending must not write a second mark";

    const auto lines = capture.lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"<WARNING> <qrv_logging_outputs_test> \"" + longMessage + L"\" ", afterTime(lines[0]));
    EXPECT_EQ(L"<WARNING> <qrv_logging_outputs_test> \"two\" ", afterTime(lines[1]));
    // Every line ends with CR LF: the last two units of the file.
    EXPECT_EQ(0x0D, bytes[bytes.size() - 4]);
    EXPECT_EQ(0x0A, bytes[bytes.size() - 2]);
}

TEST(LoggingOutputTextTest, DispatcherReportsTheLastOutputAndFailuresWithoutLocation)
{
    QRVLogCapture capture;
    CQRVLogWarning both(L"both", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0, 0x3, true);
    EXPECT_FALSE(both.logged) << "the XML output ran last and reports failure";
    EXPECT_EQ(1u, capture.linesWith(L"\"both\"").size()) << "the text line was written all the same";

    CQRVLogWarning none(L"none", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0, 0x0, true);
    EXPECT_FALSE(none.logged);

    capture.remove(L"TextOutput");
    CQRVLogWarning lost(L"lost", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
    EXPECT_FALSE(lost.logged);
    EXPECT_FALSE(lost.log());

    // A record with its own file goes there; a relative path has no folder and fails.
    const std::wstring folder = qrvtest::makeTempFolder(L"own");
    const std::wstring own = folder + L"\\sub\\own.log";
    CQRVDetailedLog mine(lkWarning, L"own", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0, true, false,
                         OUTPUT_TEXT, nullptr, own.c_str());
    EXPECT_TRUE(mine.logged) << "the one missing folder level is created";
    EXPECT_FALSE(qrvtest::readFile(own).empty());
    CQRVDetailedLog relative(lkWarning, L"rel", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0, true, false,
                             OUTPUT_TEXT, nullptr, L"relative.log");
    EXPECT_FALSE(relative.logged);
    qrvtest::removeFolder(folder);
}

TEST(LoggingOutputTextTest, RotationKeepsAtMostMaxLogFileNumFiles)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 0);
    capture.setDword(L"MaxLogFileSize", 1);
    capture.setDword(L"MaxLogFileNum", 3);
    ASSERT_TRUE(CQRVLoggingConfig().loadDynamicSettings());
    ASSERT_EQ(1ul, g_maxLogFileSize);
    ASSERT_EQ(3ul, g_maxLogFileNum);

    const std::wstring filler(600, L'r'); // each line > 1200 bytes: two lines pass 1 KB... + 1 KB
    auto exists = [&](const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    auto writeUntilRotation = [&] {
        const unsigned long before = g_rotations;
        for (int i = 0; i < 10 && g_rotations == before; ++i)
            qrvNote<CQRVLogWarning>(filler.c_str(), 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
        EXPECT_EQ(before + 1, g_rotations);
    };
    const std::wstring& path = capture.path();
    writeUntilRotation();
    EXPECT_TRUE(exists(path + L".1"));
    EXPECT_FALSE(exists(path + L".2"));
    {
        QRVLogFileHold hold; // as inside a traced call: the rotation closes the file itself
        writeUntilRotation();
    }
    EXPECT_TRUE(exists(path + L".2"));
    writeUntilRotation();
    EXPECT_TRUE(exists(path + L".3"));
    for (int i = 0; i < 3; ++i)
        writeUntilRotation();
    EXPECT_FALSE(exists(path + L".4"));
    EXPECT_FALSE(exists(path + L".5"));

    // The next line starts a new file with its own mark.
    qrvNote<CQRVLogWarning>(L"fresh", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0);
    const auto bytes = capture.bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(1u, capture.lines().size());
}

TEST(LoggingOutputTextTest, ATracedCallKeepsItsFileOpenUntilTheOutermostCallReturns)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x3FF);
    const std::wstring& path = capture.path();
    const std::wstring folder = qrvtest::makeTempFolder(L"held");
    const std::wstring own = folder + L"\\own.log";
    {
        CQRVMethodTrace outer(L"CQRVHeld", L"outer", QRV_HERE);
        ASSERT_TRUE(outer.isTracing());
        // Another program appends meanwhile: the next line still goes to the end.
        HANDLE other = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        DWORD cb = 0;
        SetFilePointer(other, 0, nullptr, FILE_END);
        WriteFile(other, L"X", 2, &cb, nullptr);
        CloseHandle(other);
        // A record with a file of its own goes there; the next traced line takes the log up again.
        CQRVDetailedLog mine(lkWarning, L"own", 0, RESULT_ERROR_CODE, nullptr, nullptr, nullptr, 0, true, false,
                             OUTPUT_TEXT, nullptr, own.c_str());
        EXPECT_TRUE(mine.logged);
        {
            CQRVMethodTrace inner(L"CQRVHeld", L"inner", QRV_HERE);
        }
        EXPECT_TRUE(DeleteFileW(own.c_str())) << "the other file is closed once the log is taken up again";
        EXPECT_FALSE(DeleteFileW(path.c_str())) << "the log stays open while the outer call runs";
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    }
    const auto lines = capture.lines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<ENTRY> <qrv_logging_outputs_test> <CQRVHeld::outer>"));
    EXPECT_EQ(L'X', lines[1][0]) << "the other program's unit, then the line after it";
    EXPECT_NE(std::wstring::npos, lines[1].find(L"<ENTRY> <qrv_logging_outputs_test> <CQRVHeld::inner>"));
    EXPECT_NE(std::wstring::npos, lines[2].find(L"<EXIT> <qrv_logging_outputs_test> <CQRVHeld::inner>"));
    EXPECT_NE(std::wstring::npos, lines[3].find(L"<EXIT> <qrv_logging_outputs_test> <CQRVHeld::outer>"));
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "closed when the outermost call returned";
    qrvtest::removeFolder(folder);
}

TEST(LoggingOutputTextTest, RotationSettingsNeedDynamicLogging)
{
    QRVLogCapture capture;
    capture.setDword(L"MaxLogFileSize", 1);
    capture.setDword(L"MaxLogFileNum", 3);
    EXPECT_FALSE(CQRVLoggingConfig().loadDynamicSettings());
    EXPECT_EQ(2, g_dynamicLogging);
    EXPECT_EQ(1ul, g_maxLogFileNum);
    EXPECT_EQ(10240ul, g_maxLogFileSize);
}

namespace {

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring generation(const std::wstring& path, unsigned long number)
{
    return path + L"." + std::to_wstring(number);
}

// Staged files a rotation left behind (there should be none).
bool anyStagedFile(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((path + L".*.rotating").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    return true;
}

// A log file's lines; the file must start with one byte-order mark and hold no other.
std::vector<std::wstring> logLines(const std::wstring& path)
{
    const std::vector<unsigned char> bytes = qrvtest::readFile(path);
    std::vector<std::wstring> lines;
    EXPECT_TRUE(bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) << "no byte-order mark";
    std::wstring line;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        EXPECT_NE(0xFEFF, unit) << "a second mark";
        line += unit;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, L"\r\n") == 0) {
            lines.push_back(line.substr(0, line.size() - 2));
            line.clear();
        }
    }
    EXPECT_TRUE(line.empty()) << "a cut line";
    return lines;
}

// The number after `"<tag>` in a warning line of that tag, or -1.
long numberAfter(const std::wstring& line, wchar_t tag)
{
    const size_t at = line.find(std::wstring(L"\"") + tag);
    return at == std::wstring::npos ? -1 : std::wcstol(line.c_str() + at + 2, nullptr, 10);
}

// file_holder (tests/probes) holding a file open as another program that writes the
// log does (reading and writing shared, deleting and renaming not), or as a reader
// that shares reading only.
class HeldByAnotherProcess {
public:
    explicit HeldByAnotherProcess(const std::wstring& path, const wchar_t* mode = L"write") : m_path(path)
    {
        wchar_t module[MAX_PATH] = {0};
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        std::wstring program(module);
        program.erase(program.find_last_of(L"\\/") + 1);
        std::wstring command = L"\"" + program + L"probes\\file_holder.exe\" \"" + path + L"\" " + mode;
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                            &m_process))
            return;
        // A new process in a prefix just copied, with another test busy beside it, may
        // take seconds to start under Wine: up to 30 s.
        for (int i = 0; i < 3000 && !held(); ++i)
            Sleep(10);
    }
    ~HeldByAnotherProcess() { letGo(); }

    // Nobody else may take the file for deleting while another handle refuses it.
    bool held() const
    {
        HANDLE h = CreateFileW(m_path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_SHARING_VIOLATION;
        CloseHandle(h);
        return false;
    }

    void letGo()
    {
        if (!m_process.hProcess)
            return;
        TerminateProcess(m_process.hProcess, 0);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
        m_process = PROCESS_INFORMATION();
        for (int i = 0; i < 1000 && held(); ++i)
            Sleep(10);
    }

private:
    std::wstring m_path;
    PROCESS_INFORMATION m_process = {};
};

} // namespace

// One thread sits in a traced call (the log held open) writing short lines while
// another writes long ones past "MaxLogFileSize": each rotation renames the live file,
// so every numbered file holds one limit's worth of earlier lines, the live file never
// grows past the limit, and each line is in exactly one file, in order.
TEST(LoggingOutputRotationTest, EveryRotationRenamesTheLiveFileWhileAnotherThreadHoldsIt)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"MaxLogFileSize", 2);
    capture.setDword(L"MaxLogFileNum", 1000); // every generation kept, to account for every line
    ASSERT_TRUE(CQRVLoggingConfig().loadDynamicSettings());
    const long kLongLines = 120;
    std::atomic<bool> stop(false);
    std::atomic<bool> inCall(false);
    long shortLines = 0;
    std::thread traced([&] {
        CQRVMethodTrace call(L"CQRVHeld", L"busy", QRV_HERE);
        EXPECT_TRUE(call.isTracing());
        inCall = true;
        while (!stop) {
            qrvNote<CQRVLogWarning>((L"A" + std::to_wstring(shortLines++)).c_str(), 0, RESULT_ERROR_CODE, nullptr,
                                    nullptr, nullptr, 0);
            Sleep(1);
        }
    });
    while (!inCall)
        Sleep(1);
    const std::wstring filler(500, L'b');
    for (long i = 0; i < kLongLines; ++i)
        qrvNote<CQRVLogWarning>((L"B" + std::to_wstring(i) + L" " + filler).c_str(), 0, RESULT_ERROR_CODE, nullptr,
                                nullptr, nullptr, 0);
    stop = true;
    traced.join();

    const std::wstring& path = capture.path();
    const unsigned long rotations = g_rotations;
    const unsigned long kLimit = 3 * 1024; // more than 2 KB in whole KB
    const unsigned long kLongestLine = 1300;
    EXPECT_GE(rotations, static_cast<unsigned long>(kLongLines * 1100 / (kLimit + kLongestLine)));
    EXPECT_FALSE(fileExists(generation(path, rotations + 1)));
    EXPECT_FALSE(anyStagedFile(path));
    std::vector<std::wstring> lines;
    for (unsigned long number = rotations; number >= 1; --number) {
        SCOPED_TRACE(::testing::Message() << "generation " << number);
        const unsigned long size = static_cast<unsigned long>(qrvtest::readFile(generation(path, number)).size());
        EXPECT_GE(size, kLimit + 2) << "rotated before the limit";
        EXPECT_LT(size, kLimit + 2 + kLongestLine) << "grew past the limit";
        const auto more = logLines(generation(path, number));
        lines.insert(lines.end(), more.begin(), more.end());
    }
    // The live file holds what was written since the last rotation (none if the last
    // line rotated).
    const size_t liveSize = qrvtest::readFile(path).size();
    EXPECT_EQ(g_bytesWritten == 0 ? 0 : g_bytesWritten + 2, liveSize);
    if (liveSize > 0) {
        const auto live = logLines(path);
        lines.insert(lines.end(), live.begin(), live.end());
    }

    long nextA = 0;
    long nextB = 0;
    for (const std::wstring& line : lines) {
        if (numberAfter(line, L'A') >= 0)
            EXPECT_EQ(nextA++, numberAfter(line, L'A')) << "short line lost, repeated or out of order";
        else
            EXPECT_EQ(nextB++, numberAfter(line, L'B')) << "long line lost, repeated or out of order";
    }
    EXPECT_EQ(shortLines, nextA);
    EXPECT_EQ(kLongLines, nextB);
    std::cout << "rotations " << rotations << ", lines " << lines.size() << " (" << nextA << " short, " << nextB
              << " long), live file " << liveSize << " bytes\n";
}

// While another process holds the live log (as a program of its own in a traced call
// does), no rotation can rename it: nothing moves, the lines go on into the live
// file, and the first line after it lets go rotates, the held lines becoming ".1".
TEST(LoggingOutputRotationTest, NoGenerationMovesWhileAnotherProcessHoldsTheLog)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"MaxLogFileSize", 1);
    capture.setDword(L"MaxLogFileNum", 3);
    ASSERT_TRUE(CQRVLoggingConfig().loadDynamicSettings());
    const std::wstring& path = capture.path();
    const std::wstring filler(500, L'h');
    long next = 0;
    auto writeLine = [&] {
        qrvNote<CQRVLogWarning>((L"H" + std::to_wstring(next++) + L" " + filler).c_str(), 0, RESULT_ERROR_CODE,
                                nullptr, nullptr, nullptr, 0);
    };
    while (g_rotations == 0 && next < 10)
        writeLine();
    ASSERT_EQ(1ul, g_rotations);
    writeLine();
    const auto firstGeneration = qrvtest::readFile(generation(path, 1));

    HeldByAnotherProcess holder(path);
    ASSERT_TRUE(holder.held()) << "file_holder did not take the log";
    const long heldFrom = next - 1;
    for (int i = 0; i < 6; ++i)
        writeLine(); // each of these is past the limit and tries to rotate
    EXPECT_EQ(1ul, g_rotations);
    EXPECT_EQ(firstGeneration, qrvtest::readFile(generation(path, 1))) << "\".1\" moved";
    EXPECT_FALSE(fileExists(generation(path, 2)));
    EXPECT_FALSE(anyStagedFile(path));
    EXPECT_EQ(7u, logLines(path).size());

    holder.letGo();
    writeLine();
    EXPECT_EQ(2ul, g_rotations);
    EXPECT_EQ(firstGeneration, qrvtest::readFile(generation(path, 2)));
    EXPECT_FALSE(fileExists(path)) << "the next line starts the live file";
    EXPECT_FALSE(anyStagedFile(path));
    const auto rotated = logLines(generation(path, 1));
    ASSERT_EQ(8u, rotated.size());
    for (long i = 0; i < 8; ++i)
        EXPECT_EQ(heldFrom + i, numberAfter(rotated[i], L'H'));
}

// A reader that shares reading only (a viewer, a tail tool) holds ".2", or holds ".1"
// while another program keeps appending to the live file, making a new one whenever
// the rotation has moved it away: no rotation is counted while the generation is held,
// and once it is let go every line is in exactly one file, in order, and no staged
// file is left.
TEST(LoggingOutputRotationTest, AHeldGenerationLosesNoLine)
{
    const struct Row {
        unsigned long held;
        bool otherWriter;
    } rows[] = { { 2, false }, { 1, true } };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "holding ." << row.held << (row.otherWriter ? ", another writer" : ""));
        QRVLogCapture capture;
        capture.setDword(L"DynamicLogging", 1);
        capture.setDword(L"MaxLogFileSize", 1);
        capture.setDword(L"MaxLogFileNum", 3);
        ASSERT_TRUE(CQRVLoggingConfig().loadDynamicSettings());
        const std::wstring& path = capture.path();
        const std::wstring filler(500, L'm');
        long next = 0;
        auto writeLine = [&] {
            qrvNote<CQRVLogWarning>((L"M" + std::to_wstring(next++) + L" " + filler).c_str(), 0, RESULT_ERROR_CODE,
                                    nullptr, nullptr, nullptr, 0);
        };
        while (g_rotations < row.held && next < 20)
            writeLine();
        ASSERT_EQ(row.held, g_rotations);

        writeLine(); // the live file exists from here on, but while a rotation has it moved away
        HeldByAnotherProcess reader(generation(path, row.held), L"read");
        ASSERT_TRUE(reader.held()) << "file_holder did not take the generation";
        // Another program's writer that makes a new live file whenever there is none (it
        // never appends: lines written at once by two programs may overlap, rotation or not).
        std::atomic<bool> stop(false);
        std::atomic<long> otherLines(0);
        std::thread other([&] {
            while (row.otherWriter && !stop) {
                HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       CREATE_NEW, 0, nullptr);
                if (h == INVALID_HANDLE_VALUE) {
                    Sleep(0);
                    continue;
                }
                const std::wstring line = L"\xFEFF\"W" + std::to_wstring(otherLines) + L"\"\r\n";
                DWORD cb = 0;
                WriteFile(h, line.data(), static_cast<DWORD>(line.size() * 2), &cb, nullptr);
                CloseHandle(h);
                ++otherLines;
            }
        });
        // Each line is past the limit; a rotation is tried once a second.
        for (int i = 0; i < 100 && (i < 25 || (row.otherWriter && otherLines == 0)); ++i, Sleep(100))
            writeLine();
        stop = true;
        other.join();
        EXPECT_TRUE(!row.otherWriter || otherLines > 0) << "the other writer never made a live file";
        EXPECT_EQ(row.held, g_rotations) << "counted a rotation that did not happen";
        reader.letGo();
        for (int i = 0; i < 30 && g_rotations == row.held; ++i, Sleep(100))
            writeLine();
        EXPECT_EQ(row.held + 1, g_rotations);
        writeLine();
        EXPECT_FALSE(anyStagedFile(path));

        long nextM = 0;
        long nextW = 0;
        for (long number = static_cast<long>(row.held) + 1; number >= 0; --number) { // oldest first, live last
            const std::wstring file = number == 0 ? path : generation(path, number);
            for (const std::wstring& line : logLines(file)) {
                if (numberAfter(line, L'W') >= 0)
                    EXPECT_EQ(nextW++, numberAfter(line, L'W')) << "other line lost, repeated or out of order";
                else
                    EXPECT_EQ(nextM++, numberAfter(line, L'M')) << "line lost, repeated or out of order";
            }
        }
        EXPECT_EQ(next, nextM);
        EXPECT_EQ(otherLines, nextW);
        std::cout << "holding ." << row.held << ": " << nextM << " lines, " << nextW << " of another writer\n";
    }
}
