// CQRVLoggingConfig: the machine-wide logging settings under
// HKEY_LOCAL_MACHINE\SOFTWARE\Zarvik\Logs, and the filter that applies them.
//
// Every setting but the three dynamic ones is as the registry holds it when the record
// is filtered, so a change takes effect with the next record: the values are read once
// and kept while RegNotifyChangeKeyValue reports no change to the key (or to the keys
// on the path to it), and read again after one. Nothing here logs or raises: that
// would recurse.
#pragma once

#include <string>

#include "qrv_logging.h"

// Process-wide settings read once by loadDynamicSettings (by the process's first
// traced call, on whichever thread) and read by every thread without a lock.
extern int g_dynamicLogging;           // 0 not read yet, 1 on, 2 off
extern unsigned long g_maxLogFileNum;  // rotated files kept; 0 disables rotation
extern unsigned long g_maxLogFileSize; // KB written before rotating; 0 disables rotation

struct QRVProgramSettings {
    unsigned short outputMask = 0;
    unsigned short detailMask = 0;
    std::wstring location;
};

struct QRVObjectListMatch {
    bool bListPresent = false;
    bool bNameFound = false;
};

class CQRVLoggingConfig {
public:
    static const wchar_t* const s_szLogsKey; // SOFTWARE\Zarvik\Logs under HKLM

    bool isLoggingEnabled() const;
    unsigned short getLogDetail() const;
    // Location of an output bit into a caller's buffer of ulSize bytes.
    bool getOutputLocation(unsigned short usOutputBit, wchar_t* pBuffer, unsigned long ulSize) const;
    // The same, read whole whatever its length.
    bool getOutputLocation(unsigned short usOutputBit, std::wstring& strLocation) const;
    bool getProgramSettings(const std::wstring& strProgramName, QRVProgramSettings& settings) const;
    QRVObjectListMatch isObjectAllowed(const std::wstring& strObjectName) const;
    QRVObjectListMatch isObjectExcluded(const std::wstring& strObjectName) const;
    bool loadDynamicSettings() const;

    // Sends this process's log records to strPath with the given LogDetail bits, whatever
    // the registry's logging settings say; overrides the registry's location and detail for
    // this process only. Any time, any thread. An empty path turns the override off.
    static void setProcessLogDestination(const std::wstring& strPath, unsigned short usDetail);
    static bool getProcessLogDestination(std::wstring& strPath, unsigned short& usDetail);

    // Raw readers under the logs key; present when the key opens and the value is
    // not missing (a value of another type or size still counts as present).
    static bool readDword(const wchar_t* szValueName, unsigned long& ulValue);
    static bool readString(const wchar_t* szValueName, std::wstring& strValue);
};

// Held while one record is filtered and written: the registry's change signal is
// checked once, at the record's first read, not again for every value it reads. The
// bookkeeping is the calling thread's own: a record on one thread never makes another
// thread's record skip its check.
class QRVLoggingConfigRecordScope {
public:
    QRVLoggingConfigRecordScope() noexcept;
    ~QRVLoggingConfigRecordScope();
    QRVLoggingConfigRecordScope(const QRVLoggingConfigRecordScope&) = delete;
    QRVLoggingConfigRecordScope& operator=(const QRVLoggingConfigRecordScope&) = delete;
};

// Parses "output,detail,location"; fields that are missing read as 0 or empty.
QRVProgramSettings qrvParseProgramSettings(const std::wstring& strSetting);

// The program file's name without folder and extension, from a path of any length.
bool qrvGetModuleBaseName(std::wstring& strName);

// The kind and EXIT tests of a detail mask (kind bits and the three EXIT flags).
bool qrvPassesDetailMask(const CQRVLogRecord& record, unsigned short usDetail);

// First filter stage (all that CQRVSimpleLog applies).
bool passesDetail(CQRVLogging& logObject, CQRVLogRecord& record);
// The full filter used by CQRVDetailedLog.
bool shouldLog(CQRVLogging& logObject, CQRVLogRecord& record);
