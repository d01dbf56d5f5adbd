// The log-object family: CQRVDetailedLog and the bases that fix its kind
// (CQRVLogException1, CQRVLogWarning, CQRVLogDebug, _CQRVLogEntry).
#include "qrv_logging.h"

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
    m_record.kind = kind;
    qrvAssignText(m_record.message, message);
    qrvAssignText(m_record.moduleName, moduleName);
    qrvAssignText(m_record.logFilePath, logFilePath);
    m_record.resultType = resultType;
    m_record.resultValue = resultValue;
    qrvAssignText(m_record.objectName, objectName);
    qrvAssignText(m_record.functionName, functionName);
    qrvAssignText(m_record.sourceFile, sourceFile);
    m_record.line = line;
    if (logNow)
        writeRecord();
}

CQRVDetailedLog::CQRVDetailedLog(const CQRVDetailedLog& other) noexcept
    : CQRVLogging(other)
{
    try {
        m_record = other.m_record;
    } catch (...) {
        // A record whose texts could not be copied still travels; it prints without them.
        m_record = CQRVLogRecord();
        m_record.kind = other.m_record.kind;
        m_record.resultType = other.m_record.resultType;
        m_record.resultValue = other.m_record.resultValue;
        m_record.line = other.m_record.line;
    }
}

CQRVDetailedLog& CQRVDetailedLog::operator=(const CQRVDetailedLog& other) noexcept
{
    if (this != &other) {
        CQRVLogging::operator=(other);
        try {
            m_record = other.m_record;
        } catch (...) {
            m_record.message.clear();
        }
    }
    return *this;
}

CQRVDetailedLog::~CQRVDetailedLog()
{
    if (logAtDestruction) {
        qrv_detail::LastErrorKeeper keep;
        writeRecord();
    }
}

bool CQRVDetailedLog::log()
{
    qrv_detail::LastErrorKeeper keep;
    return writeRecord();
}

bool CQRVDetailedLog::writeRecord() noexcept
{
    try {
        if (!shouldLog(*this, m_record))
            return false;
        const bool bWritten = CQRVLoggingOutputs().dispatch(outputMask, m_record);
        if (bWritten)
            logged = true;
        return bWritten;
    } catch (...) {
        return false;
    }
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
