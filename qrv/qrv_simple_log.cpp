// CQRVSimpleLog and CLogNotification: the short-line log objects.
#include "qrv_logging.h"

#include "internal/qrv_unique_handle.h"

CQRVSimpleLog::CQRVSimpleLog(int kind, const wchar_t* message, int resultValue, int resultType,
                             bool logNow, bool logAtDestruction, unsigned short outputMask,
                             const wchar_t* moduleName, const wchar_t* logFilePath) noexcept
    : CQRVLogging(logAtDestruction, outputMask)
{
    qrv_detail::LastErrorKeeper keep;
    fillHead(m_record, kind, message, resultValue, resultType, moduleName, logFilePath);
    if (logNow)
        writeRecord(m_record, true);
}

CQRVSimpleLog::CQRVSimpleLog(const CQRVSimpleLog& other) noexcept
    : CQRVLogging(other)
{
    copyRecord(m_record, other.m_record);
}

CQRVSimpleLog::~CQRVSimpleLog()
{
    writeAtDestruction(m_record, true);
}

bool CQRVSimpleLog::log()
{
    return writeRecord(m_record, true);
}

CLogNotification::CLogNotification(const wchar_t* message, bool logNow, bool logAtDestruction) noexcept
    : CQRVSimpleLog(lkNotification, message, 0, RESULT_ERROR_CODE, logNow, logAtDestruction)
{
}
