// The process's own log destination: one file that several runs of a program, and a
// reader, may share. Each line is appended in one WriteFile on a handle opened for
// appending only (FILE_APPEND_DATA), so the system puts every line whole at the end of
// the file, whichever process writes it, without a lock between them; the byte-order
// mark is written only by the run that created the file. The file is opened for
// each line, as the registry-configured log is, so nothing stays open between records
// and any thread may write.
#include "internal/qrv_process_log.h"

#include <windows.h>

#include <cwchar>

#include "internal/qrv_unique_handle.h"
#include "qrv_logging_config.h"
#include "qrv_logging_outputs.h"

namespace {

// A missing file is created by one run alone: CREATE_NEW (which only one creator can
// win) with no sharing, so no other run can open it, or append before the mark, until
// the byte-order mark is in. A run that loses the creation opens the winner's file.
void createWithMark(const std::wstring& strPath)
{
    qrv_detail::UniqueFile file(::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return;
    static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
    DWORD cbWritten = 0;
    ::WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &cbWritten, nullptr);
}

bool appendToFile(const std::wstring& strPath, const std::wstring& strLine)
{
    // The file held by its creator for the moment it writes the mark gives a sharing
    // violation: a short wait (at most about two seconds), never a lost line.
    const int kTries = 200;
    const DWORD kWaitMs = 10;
    qrv_detail::UniqueFile file;
    for (int nTry = 0; nTry < kTries && !file.valid(); ++nTry) {
        file.reset(::CreateFileW(strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid())
            break;
        const DWORD dwError = ::GetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND)
            createWithMark(strPath);
        else if (dwError == ERROR_SHARING_VIOLATION)
            ::Sleep(kWaitMs);
        else
            break;
    }
    if (!file.valid())
        return false;
    DWORD cbWritten = 0;
    const DWORD cbLine = static_cast<DWORD>(strLine.size() * sizeof(wchar_t));
    return ::WriteFile(file.get(), strLine.data(), cbLine, &cbWritten, nullptr) && cbWritten == cbLine;
}

} // namespace

std::wstring qrvSystemErrorText(unsigned long ulError)
{
    wchar_t szText[512];
    DWORD cch = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ulError, 0,
                                 szText, sizeof(szText) / sizeof(szText[0]), nullptr);
    while (cch > 0 && (szText[cch - 1] == L'\r' || szText[cch - 1] == L'\n' || szText[cch - 1] == L' '))
        --cch;
    return std::wstring(szText, cch);
}

std::wstring qrvFormatProcessLogLine(const CQRVLogRecord& record, bool bShortForm)
{
    std::wstring line = bShortForm ? CQRVLoggingOutputText::formatShortLine(record)
                                   : CQRVLoggingOutputText::formatLine(record);
    // Runs that share the file tell their lines apart by the process id, which follows
    // the time piece "<...>: ".
    const size_t afterTime = line.find(L">: ");
    if (afterTime != std::wstring::npos)
        line.insert(afterTime + 3, L"<pid " + std::to_wstring(::GetCurrentProcessId()) + L"> ");
    // A code is written in hex by the library's line; its reader also wants the number
    // the system's tools show and what it means.
    if (record.resultType == RESULT_ERROR_CODE && record.resultValue != 0 && record.resultValue != -1) {
        const std::wstring strCode = L"<Error: ";
        const size_t codeEnd = line.find(L"> ", line.find(strCode));
        if (codeEnd != std::wstring::npos) {
            const unsigned long ulCode = static_cast<unsigned long>(record.resultValue);
            line.insert(codeEnd, L" = " + std::to_wstring(ulCode) + L": " + qrvSystemErrorText(ulCode));
        }
    }
    return line;
}

bool qrvWriteToProcessLog(CQRVLogging& logObject, CQRVLogRecord& record, bool bShortForm, bool& bWritten) noexcept
{
    bWritten = false;
    try {
        std::wstring strPath;
        unsigned short usDetail = 0;
        if (!CQRVLoggingConfig::getProcessLogDestination(strPath, usDetail))
            return false;
        logObject.detail = usDetail;
        if (!(logObject.outputMask & OUTPUT_TEXT) || !qrvPassesDetailMask(record, usDetail))
            return true;
        if (record.moduleName.empty())
            qrvGetModuleBaseName(record.moduleName);
        bWritten = appendToFile(strPath, qrvFormatProcessLogLine(record, bShortForm));
    } catch (...) {
        bWritten = false;
    }
    return true;
}
