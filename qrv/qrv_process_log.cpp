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

// A missing file is made whole under a name of this process's own, byte-order mark
// included, and then given its name in one rename that never replaces a file: another
// run never finds it without its mark, nor appends before it. The run whose rename
// loses drops its own copy.
void createWithMark(const std::wstring& strPath)
{
    const std::wstring strOwn = strPath + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
    {
        qrv_detail::UniqueFile file(::CreateFileW(strOwn.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return;
        static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
        DWORD cbWritten = 0;
        ::WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &cbWritten, nullptr);
    }
    if (!::MoveFileExW(strOwn.c_str(), strPath.c_str(), 0))
        ::DeleteFileW(strOwn.c_str());
}

bool appendToFile(const std::wstring& strPath, const std::wstring& strLine)
{
    auto open = [&] {
        return ::CreateFileW(strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    qrv_detail::UniqueFile file(open());
    if (!file.valid() && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        createWithMark(strPath);
        file.reset(open());
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
