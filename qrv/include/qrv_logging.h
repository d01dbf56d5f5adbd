// The log-object family. A log object carries one CQRVLogRecord and decides by itself,
// through the registry-held filter, whether the record is written. The same family
// serves failures (thrown by value and caught), warnings and debug notes (written and
// dropped) and method tracing (ENTRY on construction, EXIT on destruction).
//
// Nothing here throws: a text that cannot be copied is left absent, a write that
// fails leaves `logged` false. Writing never changes the thread's last-error value.
#pragma once

#include <windows.h>

#include "qrv_log_record.h"

class CQRVLogging {
public:
    virtual ~CQRVLogging() = default;
    virtual bool log() = 0;

    bool logAtDestruction;
    unsigned short outputMask;
    unsigned short detail;
    bool logged;
    // The thread's last error when the object was made: for a failure, the code of the
    // call that failed (set just before the raise). The catch puts it back, since
    // unwinding may change the thread's value before the operation returns.
    DWORD lastError;

protected:
    CQRVLogging(bool bLogAtDestruction, unsigned short usOutputMask) noexcept
        : logAtDestruction(bLogAtDestruction), outputMask(usOutputMask), detail(0), logged(false),
          lastError(::GetLastError())
    {
    }
    CQRVLogging(const CQRVLogging&) = default;
    CQRVLogging& operator=(const CQRVLogging&) = default;

    // Filters the record (the full filter, or only its first stage for the short form)
    // and hands it to the outputs; sets `logged` when the outputs report success. Keeps
    // the last-error value and never throws.
    bool writeRecord(CQRVLogRecord& record, bool bShortForm) noexcept;
    // What the destructors do: write once more when logAtDestruction is set.
    void writeAtDestruction(CQRVLogRecord& record, bool bShortForm) noexcept;
    // The six fields every log object has (kind to resultValue).
    static void fillHead(CQRVLogRecord& record, int kind, const wchar_t* message, int resultValue,
                         int resultType, const wchar_t* moduleName, const wchar_t* logFilePath) noexcept;
    // A copy of the record's fields; a copy that fails keeps the numbers only.
    static void copyRecord(CQRVLogRecord& to, const CQRVLogRecord& from) noexcept;
};

// A log object with the full record; writes the long text line.
class CQRVDetailedLog : public CQRVLogging {
public:
    CQRVDetailedLog(int kind, const wchar_t* message, int resultValue, int resultType,
                    const wchar_t* objectName, const wchar_t* functionName,
                    const wchar_t* sourceFile, int line, bool logNow, bool logAtDestruction,
                    unsigned short outputMask, const wchar_t* moduleName = nullptr,
                    const wchar_t* logFilePath = nullptr) noexcept;
    CQRVDetailedLog(const CQRVDetailedLog& other) noexcept;
    CQRVDetailedLog& operator=(const CQRVDetailedLog& other) noexcept;
    ~CQRVDetailedLog() override;

    // Filter, then hand the record to the outputs; sets `logged` on success.
    bool log() override;

    CQRVLogRecord m_record;
};

// Failures: kind EXCEPTION_BAD. Thrown by value, caught as CQRVLogging&.
class CQRVLogException1 : public CQRVDetailedLog {
public:
    CQRVLogException1(const wchar_t* message, int resultValue, int resultType,
                      const wchar_t* objectName, const wchar_t* functionName,
                      const wchar_t* sourceFile, int line, unsigned short outputMask = OUTPUT_TEXT,
                      bool logNow = true, bool logAtDestruction = false) noexcept;
};

// Warnings: kind WARNING. Written and dropped, never thrown.
class CQRVLogWarning : public CQRVDetailedLog {
public:
    CQRVLogWarning(const wchar_t* message, int resultValue, int resultType,
                   const wchar_t* objectName, const wchar_t* functionName,
                   const wchar_t* sourceFile, int line, unsigned short outputMask = OUTPUT_TEXT,
                   bool logNow = true, bool logAtDestruction = false) noexcept;
};

// Debug notes: kind DEBUG.
class CQRVLogDebug : public CQRVDetailedLog {
public:
    CQRVLogDebug(const wchar_t* message, int resultValue, int resultType,
                 const wchar_t* objectName, const wchar_t* functionName,
                 const wchar_t* sourceFile, int line, unsigned short outputMask = OUTPUT_TEXT,
                 bool logNow = true, bool logAtDestruction = false) noexcept;
};

// Method trace: an ENTRY record when made, an EXIT record (with the result that the
// owner put into m_record) when destroyed.
class _CQRVLogEntry : public CQRVDetailedLog {
public:
    _CQRVLogEntry(const wchar_t* objectName, const wchar_t* functionName,
                  const wchar_t* sourceFile, int line, unsigned short outputMask,
                  bool logNow, bool logAtDestruction) noexcept;
    ~_CQRVLogEntry() override;
};

// The plain log object: kind to resultValue only, the first filter stage only, and
// the short text line.
class CQRVSimpleLog : public CQRVLogging {
public:
    CQRVSimpleLog(int kind, const wchar_t* message, int resultValue, int resultType,
                  bool logNow = true, bool logAtDestruction = false,
                  unsigned short outputMask = OUTPUT_TEXT, const wchar_t* moduleName = nullptr,
                  const wchar_t* logFilePath = nullptr) noexcept;
    CQRVSimpleLog(const CQRVSimpleLog& other) noexcept;
    ~CQRVSimpleLog() override;

    bool log() override;

    CQRVLogRecord m_record; // only kind, message, moduleName, logFilePath, resultType, resultValue
};

// A NOTIFICATION written through the short line (the message box uses it).
class CLogNotification : public CQRVSimpleLog {
public:
    explicit CLogNotification(const wchar_t* message, bool logNow = true,
                              bool logAtDestruction = false) noexcept;
};
