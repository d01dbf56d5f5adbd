// The output dispatcher and the text output (UTF-16LE log file with rotation).
#include "qrv_logging_outputs.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "internal/qrv_lock.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_logging_config.h"

unsigned long g_bytesWritten = 0;
unsigned long g_rotations = 0;

namespace {

std::wstring hex8(int value)
{
    wchar_t sz[16];
    swprintf(sz, 16, L"0x%08x", static_cast<unsigned int>(value));
    return sz;
}

std::wstring fileNameOf(const std::wstring& strSource)
{
    const size_t slash = strSource.rfind(L'\\');
    return slash == std::wstring::npos ? strSource : strSource.substr(slash + 1);
}

// Pieces shared by both lines: time, kind, module and the quoted message.
void appendHead(std::wstring& line, const CQRVLogRecord& record, bool bWithObject)
{
    line += L"<" + CQRVLoggingOutputText::formatTime() + L">: ";
    line += L"<";
    line += qrvKindName(record.kind);
    line += L"> ";
    line += L"<" + record.moduleName + L"> ";
    if (bWithObject) {
        if (!record.objectName.empty() && !record.functionName.empty())
            line += L"<" + record.objectName + L"::" + record.functionName + L"> ";
        else if (!record.objectName.empty())
            line += L"<" + record.objectName + L"> ";
        else if (!record.functionName.empty())
            line += L"<::" + record.functionName + L"> ";
    }
    if (!record.message.empty())
        line += L"\"" + record.message + L"\" ";
}

// The folder part of a log path: it must start with a drive letter and a colon, and
// runs up to and including the last backslash.
bool folderOf(const std::wstring& strPath, std::wstring& strFolder)
{
    if (strPath.size() < 2 || strPath[1] != L':' || !((strPath[0] >= L'A' && strPath[0] <= L'Z') ||
                                                      (strPath[0] >= L'a' && strPath[0] <= L'z')))
        return false;
    const size_t slash = strPath.rfind(L'\\');
    if (slash == std::wstring::npos)
        return false;
    strFolder = strPath.substr(0, slash + 1);
    return true;
}

// The result piece. The two lines differ only in the texts of the EXIT results.
struct ResultTexts {
    const wchar_t* passed;
    const wchar_t* failed;
    const wchar_t* logicalFailed;
};
const ResultTexts kFullResults = {L"<Passed> ", L"<Failed> ", L"<Failed Logical Result> "};
const ResultTexts kShortResults = {L"<Passed>", L"<Failed>", L"<Failed Comparison>"};

void appendResult(std::wstring& line, const CQRVLogRecord& record, const ResultTexts& texts)
{
    const bool bExit = record.kind == lkExit;
    switch (record.resultType) {
    case RESULT_ERROR_CODE:
        if (record.resultValue != 0 && record.resultValue != -1)
            line += L"<Error: " + hex8(record.resultValue) + L"> ";
        break;
    case RESULT_PASS_FAIL:
        if (bExit)
            line += record.resultValue != 0 ? texts.passed : texts.failed;
        break;
    case RESULT_LOGICAL:
        if (bExit)
            line += record.resultValue != 0 ? texts.passed : texts.logicalFailed;
        break;
    case RESULT_RETURN_CODE:
        line += L"<Return Code: " + hex8(record.resultValue) + L"> ";
        break;
    default:
        break;
    }
}

// What writing one line did: whether the file opened, and whether it took the whole line.
struct LineWrite {
    bool bOpened = false;
    bool bWhole = false;
    DWORD cbWritten = 0;
};

// The one LogFileHolder of the process (LogFileHolder::instance).
class LogFileHolder;
LogFileHolder* g_pLogFileHolder = nullptr;

// The text output's file, kept open from one line to the next while a traced call runs
// (QRVLogFileHold): a traced call writes two lines and most calls are nested in others,
// so a traced program would otherwise open and close the file hundreds of times, and
// each opening costs many times what writing a line does. When the outermost hold ends
// the file is closed; lines outside any hold open and close it as before. The file is
// opened with the same sharing as always, so other programs read it and append to it
// meanwhile, and each line still goes to the end of the file in one write; renaming or
// deleting it waits until the traced call returns (this process's own rotation closes
// it first).
//
// Shared by every thread: the open file, its path, the hold count, the rotation
// counters (g_bytesWritten, g_rotations), the rotation's staging counter, its retry
// time and a staged file still to go back are touched only under m_lock, which each
// line holds from opening the file to the end of its rotation, so no other thread's
// line comes between a line and the rotation it causes.
class LogFileHolder {
public:
    // Never destroyed: records may be written while the process's statics go away. The
    // system closes a file still open at exit; each line was handed to it when written.
    static LogFileHolder& instance()
    {
        return qrv_detail::sharedObject(g_pLogFileHolder, [] { return new LogFileHolder(); });
    }

    // Appends strLine at the end of the file at strPath. strFolder (empty when the path
    // has none) is made, one level, when the file can't be opened as it is. A full line
    // counts towards the rotation limit and may rotate the file.
    LineWrite append(const std::wstring& strPath, const std::wstring& strFolder, const std::wstring& strLine,
                     bool bFullLine)
    {
        LineWrite result;
        qrv_detail::LockGuard guard(m_lock);
        try {
            if (!m_strPending.empty()) {
                closeLocked();
                finishPending();
            }
            if (!isCurrent(strPath))
                open(strPath, strFolder);
            if (m_file.valid()) {
                result.bOpened = true;
                ::SetFilePointer(m_file.get(), 0, nullptr, FILE_END);
                const DWORD cbLine = static_cast<DWORD>(strLine.size() * sizeof(wchar_t));
                result.bWhole = ::WriteFile(m_file.get(), strLine.data(), cbLine, &result.cbWritten, nullptr) &&
                                result.cbWritten == cbLine;
                if (bFullLine) {
                    g_bytesWritten += result.cbWritten;
                    rotateLocked(strPath);
                }
            }
            // A line the file did not take drops it too: the next line opens it afresh.
            if (m_nHolds == 0 || !result.bWhole)
                closeLocked();
        } catch (...) {
            closeLocked();
        }
        return result;
    }

    void beginHold() noexcept
    {
        qrv_detail::LockGuard guard(m_lock);
        ++m_nHolds;
    }
    void endHold() noexcept
    {
        qrv_detail::LockGuard guard(m_lock);
        if (--m_nHolds == 0)
            closeLocked();
    }

private:
    LogFileHolder() : m_nHolds(0), m_ulStagings(0), m_bGenerationHeld(false), m_dwHeldAt(0) {}

    void closeLocked() noexcept
    {
        m_file.reset();
        m_strPath.clear();
    }

    bool isCurrent(const std::wstring& strPath) const { return m_file.valid() && m_strPath == strPath; }

    // The existing file, or else, after making its folder (one level; an existing one
    // is fine), a new one that gets the byte-order mark: only a file this call created
    // gets it, never over another program's first two bytes.
    void open(const std::wstring& strPath, const std::wstring& strFolder)
    {
        closeLocked();
        const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
        m_file.reset(::CreateFileW(strPath.c_str(), GENERIC_WRITE, dwShare, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_file.valid()) {
            if (!strFolder.empty())
                ::CreateDirectoryW(strFolder.c_str(), nullptr);
            m_file.reset(::CreateFileW(strPath.c_str(), GENERIC_WRITE, dwShare, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!m_file.valid()) {
                closeLocked();
                return;
            }
            if (::GetLastError() != ERROR_ALREADY_EXISTS) {
                static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
                DWORD cbMark = 0;
                ::WriteFile(m_file.get(), kByteOrderMark, sizeof(kByteOrderMark), &cbMark, nullptr);
            }
        }
        m_strPath = strPath;
    }

    // Invariant: every line is in exactly one file, and the numbered files hold the
    // earlier lines in order (".1" the newest of them); no generation is replaced but
    // the oldest kept. Runs once this process has written more than the limit since its
    // last rotation; each step is a rename that leaves that true if the process is
    // killed after it.
    void rotateLocked(const std::wstring& strPath)
    {
        if (g_maxLogFileSize == 0 || g_maxLogFileNum == 0 || g_bytesWritten / 1024 <= g_maxLogFileSize)
            return;
        // While a reader holds a generation, each try costs renames forth and back; and
        // the lines of a staged file still to go back come before any live line.
        if ((m_bGenerationHeld && ::GetTickCount() - m_dwHeldAt < kHeldRetryMs) || !m_strPending.empty())
            return;
        // This process's own handle would stop the rename; the next line opens the file
        // that is then live.
        closeLocked();
        // 1. The live file moves to a name of this rotation's own, in one rename that
        //    fails while any other handle is open on it (every writer of the log opens
        //    it without delete sharing). Then nothing has moved and the counters stay,
        //    so the next line tries again.
        const std::wstring strStaged = stagingName(strPath);
        if (!::MoveFileExW(strPath.c_str(), strStaged.c_str(), 0))
            return;
        // 2. Only now the older generations move up, the oldest first; the oldest one
        //    kept is replaced. The first move that fails (a reader holds that file or the
        //    one it would replace) ends the shift: what did not move stays where it is,
        //    and a name already moved away is a gap the next try steps over.
        const unsigned long ulTop = g_rotations < g_maxLogFileNum - 1 ? g_rotations : g_maxLogFileNum - 1;
        bool bShifted = true;
        for (unsigned long i = ulTop; i >= 1 && bShifted; --i)
            bShifted = ::MoveFileExW(generation(strPath, i).c_str(), generation(strPath, i + 1).c_str(),
                                     MOVEFILE_REPLACE_EXISTING) ||
                       isMissing(::GetLastError());
        // 3. The staged file becomes ".1", and only then is the rotation counted.
        if (bShifted &&
            ::MoveFileExW(strStaged.c_str(), generation(strPath, 1).c_str(), MOVEFILE_REPLACE_EXISTING)) {
            ++g_rotations;
            g_bytesWritten = 0;
            m_bGenerationHeld = false;
            return;
        }
        // 4. A held generation stopped the shift, or ".1" could not be replaced: no
        //    generation is replaced, and the staged file goes back before whatever is
        //    live now. The counters stay; a later line tries again, a second later.
        m_bGenerationHeld = true;
        m_dwHeldAt = ::GetTickCount();
        m_strPending = strStaged;
        m_strPendingLive = strPath;
        finishPending();
    }

    // Gives the staged file m_strPending back to the live name m_strPendingLive. Where
    // another program has made a new live file meanwhile, the new file's lines are
    // appended to the staged file, the new file is moved aside (while no writer can open
    // it) and removed, and the staged file takes the live name; a new live file made in
    // between is taken in the same way. When a writer has the live file open, nothing
    // more happens: the next line tries again, and lines written to the live file
    // meanwhile come after the staged ones all the same. A kill in between leaves every
    // line in some file (some twice).
    void finishPending()
    {
        for (int attempt = 0; attempt < 8; ++attempt) {
            if (::MoveFileExW(m_strPending.c_str(), m_strPendingLive.c_str(), 0) || isMissingStaged()) {
                m_strPending.clear();
                m_strPendingLive.clear();
                return;
            }
            // Read and write are not shared, so no writer opens it; delete is, for the
            // move aside below.
            qrv_detail::UniqueFile live(::CreateFileW(m_strPendingLive.c_str(), GENERIC_READ, FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            LARGE_INTEGER stagedEnd = {};
            if (!live.valid() || !appendLinesOf(live.get(), stagedEnd))
                return;
            const std::wstring strAside = stagingName(m_strPendingLive);
            if (!::MoveFileExW(m_strPendingLive.c_str(), strAside.c_str(), 0)) {
                cutStaged(stagedEnd); // the lines stay in the live file only
                return;
            }
            live.reset();
            ::DeleteFileW(strAside.c_str());
        }
    }

    bool isMissingStaged() const
    {
        return isMissing(::GetLastError()) && ::GetFileAttributesW(m_strPending.c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    // Appends the lines of the open file hFile (without its byte-order mark) to the end
    // of the staged file, and forces them to disk before the file they came from goes.
    // stagedEnd receives where the staged file ended before.
    bool appendLinesOf(HANDLE hFile, LARGE_INTEGER& stagedEnd)
    {
        std::string bytes;
        char buffer[16384];
        for (;;) {
            DWORD cbRead = 0;
            if (!::ReadFile(hFile, buffer, sizeof(buffer), &cbRead, nullptr))
                return false;
            if (cbRead == 0)
                break;
            bytes.append(buffer, cbRead);
        }
        const size_t cbMark = bytes.compare(0, 2, "\xFF\xFE") == 0 ? 2 : 0;
        qrv_detail::UniqueFile staged(::CreateFileW(m_strPending.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER zero = {};
        if (!staged.valid() || !::SetFilePointerEx(staged.get(), zero, &stagedEnd, FILE_END))
            return false;
        const DWORD cbLines = static_cast<DWORD>(bytes.size() - cbMark);
        DWORD cbWritten = 0;
        const bool bWritten = ::WriteFile(staged.get(), bytes.data() + cbMark, cbLines, &cbWritten, nullptr) &&
                              cbWritten == cbLines && ::FlushFileBuffers(staged.get());
        staged.reset();
        if (!bWritten)
            cutStaged(stagedEnd); // so that a later try does not add the lines twice
        return bWritten;
    }

    // Cuts the staged file back to its first `end` bytes.
    void cutStaged(LARGE_INTEGER end)
    {
        qrv_detail::UniqueFile staged(::CreateFileW(m_strPending.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (staged.valid() && ::SetFilePointerEx(staged.get(), end, nullptr, FILE_BEGIN))
            ::SetEndOfFile(staged.get());
    }

    static bool isMissing(DWORD dwError) { return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND; }

    std::wstring stagingName(const std::wstring& strPath)
    {
        return strPath + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++m_ulStagings) +
               L".rotating";
    }

    static std::wstring generation(const std::wstring& strPath, unsigned long ulNumber)
    {
        return strPath + L"." + std::to_wstring(ulNumber);
    }

    static const DWORD kHeldRetryMs = 1000;
    qrv_detail::CriticalSection m_lock; // the writers' lock: guards every member below
    long m_nHolds;                      // holds in force (nested traced calls, and other threads')
    unsigned long m_ulStagings;         // staging names used, for the next one's name
    bool m_bGenerationHeld;             // the last rotation stopped at a generation held open
    DWORD m_dwHeldAt;                   // when it stopped (GetTickCount)
    std::wstring m_strPending;          // a staged file still to go back to the live name
    std::wstring m_strPendingLive;      // that live name
    std::wstring m_strPath;             // the path the open file was opened by
    qrv_detail::UniqueFile m_file;
};

} // namespace

std::wstring CQRVLoggingOutputText::formatTime()
{
    static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                             L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    wchar_t sz[64];
    swprintf(sz, 64, L"%ls %ls %02u %02u:%02u:%02u %04u", kDays[st.wDayOfWeek % 7], kMonths[(st.wMonth + 11) % 12],
             static_cast<unsigned>(st.wDay), static_cast<unsigned>(st.wHour), static_cast<unsigned>(st.wMinute),
             static_cast<unsigned>(st.wSecond), static_cast<unsigned>(st.wYear));
    return sz;
}

std::wstring CQRVLoggingOutputText::formatLine(const CQRVLogRecord& record)
{
    std::wstring line;
    appendHead(line, record, true);
    appendResult(line, record, kFullResults);

    if (!record.sourceFile.empty()) {
        line += L"<" + fileNameOf(record.sourceFile);
        line += record.line != 0 ? L", " + std::to_wstring(record.line) + L"> " : L">";
    } else if (record.line != 0) {
        line += L"<" + std::to_wstring(record.line) + L"> ";
    }
    line += L"\r\n";
    return line;
}

std::wstring CQRVLoggingOutputText::formatShortLine(const CQRVLogRecord& record)
{
    std::wstring line;
    appendHead(line, record, false);
    appendResult(line, record, kShortResults);
    line += L"\r\n";
    return line;
}

QRVLogFileHold::QRVLogFileHold() noexcept : m_bHeld(false)
{
    try {
        LogFileHolder::instance().beginHold();
        m_bHeld = true;
    } catch (...) {
        // without a hold every line opens and closes the file
    }
}

QRVLogFileHold::~QRVLogFileHold()
{
    if (m_bHeld)
        LogFileHolder::instance().endHold();
}

bool CQRVLoggingOutputText::appendLine(CQRVLogRecord& record, const std::wstring& strLine, bool bFullLine)
{
    if (record.logFilePath.empty() && !CQRVLoggingConfig().getOutputLocation(OUTPUT_TEXT, record.logFilePath))
        return false;
    if (record.logFilePath.empty())
        return false;

    std::wstring strFolder;
    const bool bHaveFolder = folderOf(record.logFilePath, strFolder);
    if (!bHaveFolder && bFullLine)
        return false;

    const LineWrite written = LogFileHolder::instance().append(record.logFilePath, strFolder, strLine, bFullLine);
    if (!written.bOpened)
        return false;
    // A line the file did not take whole is reported as not written, so the log object
    // keeps `logged` false and a later catch may try again.
    return written.bWhole;
}

bool CQRVLoggingOutputText::write(CQRVLogRecord& record)
{
    try {
        return appendLine(record, formatLine(record), true);
    } catch (...) {
        return false;
    }
}

bool CQRVLoggingOutputText::writeShort(CQRVLogRecord& record)
{
    try {
        return appendLine(record, formatShortLine(record), false);
    } catch (...) {
        return false;
    }
}

bool CQRVLoggingOutputXML::write(CQRVLogRecord&)
{
    return false;
}

bool CQRVLoggingOutputServer::write(CQRVLogRecord&)
{
    return false;
}

bool CQRVLoggingOutputUnknown::write(CQRVLogRecord&)
{
    return false;
}

bool CQRVLoggingOutputs::run(unsigned short usOutputMask, CQRVLogRecord& record, bool bShort) const
{
    bool bResult = false;
    if (usOutputMask & OUTPUT_TEXT) {
        CQRVLoggingOutputText text;
        bResult = bShort ? text.writeShort(record) : text.write(record);
    }
    if (usOutputMask & OUTPUT_XML)
        bResult = CQRVLoggingOutputXML().write(record);
    if (usOutputMask & OUTPUT_HTML)
        bResult = CQRVLoggingOutputXML().write(record);
    if (usOutputMask & OUTPUT_SERVER)
        bResult = CQRVLoggingOutputServer().write(record);
    if (usOutputMask & OUTPUT_UNKNOWN)
        bResult = CQRVLoggingOutputUnknown().write(record);
    return bResult;
}

bool CQRVLoggingOutputs::dispatch(unsigned short usOutputMask, CQRVLogRecord& record) const
{
    return run(usOutputMask, record, false);
}

bool CQRVLoggingOutputs::dispatchShort(unsigned short usOutputMask, CQRVLogRecord& record) const
{
    return run(usOutputMask, record, true);
}
