// CQRVMethodTrace: held at the top of a traced method. When "DynamicLogging" is on and
// logging is enabled it owns a _CQRVLogEntry, which writes ENTRY now and EXIT (with
// the result set through passFail/logical/setResult) when the method returns, and
// keeps the log file open in between.
#pragma once

struct QRVTracedCall;

class CQRVMethodTrace {
public:
    CQRVMethodTrace(const wchar_t* objectName, const wchar_t* functionName,
                    const wchar_t* sourceFile, int line) noexcept;
    ~CQRVMethodTrace();
    CQRVMethodTrace(const CQRVMethodTrace&) = delete;
    CQRVMethodTrace& operator=(const CQRVMethodTrace&) = delete;

    // Records the method's result for the EXIT line and hands it back.
    bool passFail(bool bResult) noexcept;  // RESULT_PASS_FAIL: the bool reports success
    bool logical(bool bResult) noexcept;   // RESULT_LOGICAL: the bool answers a question
    void setResult(int resultType, int resultValue) noexcept;

    bool isTracing() const noexcept { return m_pCall != nullptr; }

private:
    QRVTracedCall* m_pCall;
};

// Declares the trace object `qrvTrace` for the enclosing method.
#define QRV_TRACE(objectName, functionName) CQRVMethodTrace qrvTrace(objectName, functionName, QRV_HERE)
