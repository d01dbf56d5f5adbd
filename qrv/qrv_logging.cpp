// The log-object family: CQRVDetailedLog and the bases that fix its kind
// (CQRVLogException1, CQRVLogWarning, CQRVLogDebug, _CQRVLogEntry).
#include "qrv_logging.h"

#include "internal/qrv_process_log.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_logging_config.h"
#include "qrv_logging_outputs.h"

const wchar_t* qrvKindName(int kind)
{
    switch (kind) {
    case lkCritical: return L"CRITICAL";
    case lkExceptionBad: return L"EXCEPTION_BAD";
    case lkExceptionOk: return L"EXCEPTION_OK";
    case lkError: return L"ERROR";
    case lkWarning: return L"WARNING";
    case lkDebug: return L"DEBUG";
    case lkInformation: return L"INFORMATION";
    case lkNotification: return L"NOTIFICATION";
    case lkEntry: return L"ENTRY";
    case lkExit: return L"EXIT";
    case lkSuccess: return L"SUCCESS";
    case lkFailure: return L"FAILURE";
    default: return L"UNSPECIFIED";
    }
}

bool CQRVLogging::writeRecord(CQRVLogRecord& record, bool bShortForm) noexcept
{
    qrv_detail::LastErrorKeeper keep;
    try {
        // A process with a log destination of its own writes there instead.
        bool bOwnWritten = false;
        if (qrvWriteToProcessLog(*this, record, bShortForm, bOwnWritten)) {
            logged = logged || bOwnWritten;
            return bOwnWritten;
        }
        QRVLoggingConfigRecordScope oneState;
        if (!(bShortForm ? passesDetail(*this, record) : shouldLog(*this, record)))
            return false;
        CQRVLoggingOutputs outputs;
        const bool bWritten =
            bShortForm ? outputs.dispatchShort(outputMask, record) : outputs.dispatch(outputMask, record);
        if (bWritten)
            logged = true;
        return bWritten;
    } catch (...) {
        return false;
    }
}

void CQRVLogging::writeAtDestruction(CQRVLogRecord& record, bool bShortForm) noexcept
{
    if (logAtDestruction)
        writeRecord(record, bShortForm);
}

void CQRVLogging::fillHead(CQRVLogRecord& record, int kind, const wchar_t* message, int resultValue,
                           int resultType, const wchar_t* moduleName, const wchar_t* logFilePath) noexcept
{
    record.kind = kind;
    qrvAssignText(record.message, message);
    qrvAssignText(record.moduleName, moduleName);
    qrvAssignText(record.logFilePath, logFilePath);
    record.resultType = resultType;
    record.resultValue = resultValue;
}

void CQRVLogging::copyRecord(CQRVLogRecord& to, const CQRVLogRecord& from) noexcept
{
    try {
        to = from;
    } catch (...) {
        // A record whose texts could not be copied still travels; it prints without them.
        to = CQRVLogRecord();
        to.kind = from.kind;
        to.resultType = from.resultType;
        to.resultValue = from.resultValue;
        to.line = from.line;
    }
}

void qrvAssignText(std::wstring& field, const wchar_t* text) noexcept
{
    try {
        if (text)
            field = text;
        else
            field.clear();
    } catch (...) {
        field.clear();
    }
}

CQRVDetailedLog::CQRVDetailedLog(int kind, const wchar_t* message, int resultValue, int resultType,
                                 const wchar_t* objectName, const wchar_t* functionName,
                                 const wchar_t* sourceFile, int line, bool logNow,
                                 bool logAtDestruction, unsigned short outputMask,
                                 const wchar_t* moduleName, const wchar_t* logFilePath) noexcept
    : CQRVLogging(logAtDestruction, outputMask)
{
    qrv_detail::LastErrorKeeper keep;
    fillHead(m_record, kind, message, resultValue, resultType, moduleName, logFilePath);
    qrvAssignText(m_record.objectName, objectName);
    qrvAssignText(m_record.functionName, functionName);
    qrvAssignText(m_record.sourceFile, sourceFile);
    m_record.line = line;
    if (logNow)
        writeRecord(m_record, false);
}

CQRVDetailedLog::CQRVDetailedLog(const CQRVDetailedLog& other) noexcept
    : CQRVLogging(other)
{
    copyRecord(m_record, other.m_record);
}

CQRVDetailedLog& CQRVDetailedLog::operator=(const CQRVDetailedLog& other) noexcept
{
    if (this != &other) {
        CQRVLogging::operator=(other);
        copyRecord(m_record, other.m_record);
    }
    return *this;
}

CQRVDetailedLog::~CQRVDetailedLog()
{
    writeAtDestruction(m_record, false);
}

bool CQRVDetailedLog::log()
{
    return writeRecord(m_record, false);
}

CQRVLogException1::CQRVLogException1(const wchar_t* message, int resultValue, int resultType,
                                     const wchar_t* objectName, const wchar_t* functionName,
                                     const wchar_t* sourceFile, int line, unsigned short outputMask,
                                     bool logNow, bool logAtDestruction) noexcept
    : CQRVDetailedLog(lkExceptionBad, message, resultValue, resultType, objectName, functionName,
                      sourceFile, line, logNow, logAtDestruction, outputMask)
{
}

CQRVLogWarning::CQRVLogWarning(const wchar_t* message, int resultValue, int resultType,
                               const wchar_t* objectName, const wchar_t* functionName,
                               const wchar_t* sourceFile, int line, unsigned short outputMask,
                               bool logNow, bool logAtDestruction) noexcept
    : CQRVDetailedLog(lkWarning, message, resultValue, resultType, objectName, functionName,
                      sourceFile, line, logNow, logAtDestruction, outputMask)
{
}

CQRVLogDebug::CQRVLogDebug(const wchar_t* message, int resultValue, int resultType,
                           const wchar_t* objectName, const wchar_t* functionName,
                           const wchar_t* sourceFile, int line, unsigned short outputMask,
                           bool logNow, bool logAtDestruction) noexcept
    : CQRVDetailedLog(lkDebug, message, resultValue, resultType, objectName, functionName,
                      sourceFile, line, logNow, logAtDestruction, outputMask)
{
}

_CQRVLogEntry::_CQRVLogEntry(const wchar_t* objectName, const wchar_t* functionName,
                             const wchar_t* sourceFile, int line, unsigned short outputMask,
                             bool logNow, bool logAtDestruction) noexcept
    : CQRVDetailedLog(lkEntry, nullptr, 0, RESULT_PASS_FAIL, objectName, functionName, sourceFile,
                      line, logNow, logAtDestruction, outputMask)
{
}

_CQRVLogEntry::~_CQRVLogEntry()
{
    // The base destructor then writes the record once more, now as the EXIT line.
    m_record.kind = lkExit;
}
