// CQRVSimpleLog and CLogNotification: the short-line log objects.
#include "qrv_logging.h"

#include "internal/qrv_unique_handle.h"
#include "qrv_logging_config.h"
#include "qrv_logging_outputs.h"

CQRVSimpleLog::CQRVSimpleLog(int kind, const wchar_t* message, int resultValue, int resultType,
                             bool logNow, bool logAtDestruction, unsigned short outputMask,
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
    if (logNow)
        writeRecord();
}

CQRVSimpleLog::CQRVSimpleLog(const CQRVSimpleLog& other) noexcept
    : CQRVLogging(other)
{
    try {
        m_record = other.m_record;
    } catch (...) {
        m_record = CQRVLogRecord();
        m_record.kind = other.m_record.kind;
        m_record.resultType = other.m_record.resultType;
        m_record.resultValue = other.m_record.resultValue;
    }
}

CQRVSimpleLog::~CQRVSimpleLog()
{
    if (logAtDestruction) {
        qrv_detail::LastErrorKeeper keep;
        writeRecord();
    }
}

bool CQRVSimpleLog::log()
{
    qrv_detail::LastErrorKeeper keep;
    return writeRecord();
}

bool CQRVSimpleLog::writeRecord() noexcept
{
    try {
        if (!passesDetail(*this, m_record))
            return false;
        const bool bWritten = CQRVLoggingOutputs().dispatchShort(outputMask, m_record);
        if (bWritten)
            logged = true;
        return bWritten;
    } catch (...) {
        return false;
    }
}

CLogNotification::CLogNotification(const wchar_t* message, bool logNow, bool logAtDestruction) noexcept
    : CQRVSimpleLog(lkNotification, message, 0, RESULT_ERROR_CODE, logNow, logAtDestruction)
{
}
