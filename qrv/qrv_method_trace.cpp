// CQRVMethodTrace and the protocol's shared logging helper.
#include "qrv_method_trace.h"

#include <new>

#include "internal/qrv_unique_handle.h"
#include "qrv_logging_config.h"
#include "qrv_logging_outputs.h"
#include "qrv_protocol.h"

// A traced call's records with the log file held open between them: the hold begins
// before the ENTRY line and ends after the EXIT line (members go in reverse order).
struct QRVTracedCall {
    QRVLogFileHold hold;
    _CQRVLogEntry entry;

    QRVTracedCall(const wchar_t* objectName, const wchar_t* functionName, const wchar_t* sourceFile,
                  int line) noexcept
        : entry(objectName, functionName, sourceFile, line, OUTPUT_TEXT, true, true)
    {
    }
};

CQRVMethodTrace::CQRVMethodTrace(const wchar_t* objectName, const wchar_t* functionName,
                                 const wchar_t* sourceFile, int line) noexcept
    : m_pCall(nullptr)
{
    qrv_detail::LastErrorKeeper keep;
    try {
        // The check below and the ENTRY record it leads to look for a settings change
        // once, as one record of this thread.
        QRVLoggingConfigRecordScope oneState;
        CQRVLoggingConfig config;
        if (g_dynamicLogging == 0)
            config.loadDynamicSettings();
        if (g_dynamicLogging == 1 && config.isLoggingEnabled())
            m_pCall = new (std::nothrow) QRVTracedCall(objectName, functionName, sourceFile, line);
    } catch (...) {
        m_pCall = nullptr; // the method runs on untraced
    }
}

CQRVMethodTrace::~CQRVMethodTrace()
{
    delete m_pCall; // writes the EXIT record
}

void CQRVMethodTrace::setResult(int resultType, int resultValue) noexcept
{
    if (m_pCall) {
        m_pCall->entry.m_record.resultType = resultType;
        m_pCall->entry.m_record.resultValue = resultValue;
    }
}

bool CQRVMethodTrace::passFail(bool bResult) noexcept
{
    setResult(RESULT_PASS_FAIL, bResult ? 1 : 0);
    return bResult;
}

bool CQRVMethodTrace::logical(bool bResult) noexcept
{
    setResult(RESULT_LOGICAL, bResult ? 1 : 0);
    return bResult;
}

void qrvLogUnhandled(const wchar_t* sourceFile, int line, QRVErrorSource source) noexcept
{
    int code = -1;
    if (source == QRVErrorSource::Errno)
        code = errno;
    else if (source == QRVErrorSource::LastError)
        code = static_cast<int>(::GetLastError());
    CQRVUnhandledExceptionException unhandled(code, sourceFile, line, OUTPUT_TEXT, true, false);
    (void)unhandled;
}
