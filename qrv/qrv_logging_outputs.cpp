// The output dispatcher and the text output (UTF-16LE log file with rotation).
#include "qrv_logging_outputs.h"

#include <windows.h>

#include <cwchar>

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

    qrv_detail::UniqueFile file(::CreateFileW(record.logFilePath.c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        // The folder is made (one level; an existing one is fine) only when the file
        // is not there: an existing file has its folder, and the call is saved.
        if (bHaveFolder)
            ::CreateDirectoryW(strFolder.c_str(), nullptr);
        file.reset(::CreateFileW(record.logFilePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        // Another process may have made the file in between: only a file this call
        // created gets the mark, never over someone else's first two bytes.
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
            DWORD cbMark = 0;
            ::WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &cbMark, nullptr);
        }
    }
    ::SetFilePointer(file.get(), 0, nullptr, FILE_END);

    // A line the file did not take whole is reported as not written, so the log object
    // keeps `logged` false and a later catch may try again.
    const DWORD cbLine = static_cast<DWORD>(strLine.size() * sizeof(wchar_t));
    DWORD cbWritten = 0;
    const BOOL bWrote = ::WriteFile(file.get(), strLine.data(), cbLine, &cbWritten, nullptr);
    file.reset();

    if (bFullLine) {
        g_bytesWritten += cbWritten;
        rotate(record.logFilePath);
    }
    return bWrote && cbWritten == cbLine;
}

void CQRVLoggingOutputText::rotate(const std::wstring& strPath)
{
    if (g_maxLogFileSize == 0 || g_maxLogFileNum == 0 || g_bytesWritten / 1024 <= g_maxLogFileSize)
        return;
    for (unsigned long i = g_rotations; i >= 1; --i) {
        if (i == g_maxLogFileNum)
            continue;
        const std::wstring strFrom = strPath + L"." + std::to_wstring(i);
        const std::wstring strTo = strPath + L"." + std::to_wstring(i + 1);
        ::MoveFileExW(strFrom.c_str(), strTo.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    ::MoveFileExW(strPath.c_str(), (strPath + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    ++g_rotations;
    g_bytesWritten = 0;
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
