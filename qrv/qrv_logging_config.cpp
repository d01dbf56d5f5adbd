// CQRVLoggingConfig and the record filter. The registry is read with the plain API
// here: the library's registry classes log, and logging from the logging
// configuration would recurse.
#include "qrv_logging_config.h"

#include <windows.h>

#include <atomic>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "internal/qrv_lock.h"
#include "internal/qrv_thread_slot.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_registry_dword.h"

int g_dynamicLogging = 0;
unsigned long g_maxLogFileNum = 1;
unsigned long g_maxLogFileSize = 10240;

const wchar_t* const CQRVLoggingConfig::s_szLogsKey = L"SOFTWARE\\Zarvik\\Logs";

namespace {

const unsigned short kDefaultLogDetail = 0x1B;

// How a value read from an open key ended: missing (ERROR_FILE_NOT_FOUND), read, or
// failed some other way. A failed read counts as present, with whatever was read, but
// is not worth keeping: the next read may succeed.
enum class ValueRead { Missing, Read, Failed };

// Reads a value's raw bytes whole from an open key. A value that vanishes or keeps
// growing between the two queries still counts as present, with whatever was read.
ValueRead readRawFrom(HKEY hKey, const wchar_t* szValueName, std::vector<BYTE>& data)
{
    data.clear();
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD cbData = static_cast<DWORD>(data.size());
        LONG rc = ::RegQueryValueExW(hKey, szValueName, nullptr, nullptr, data.empty() ? nullptr : data.data(),
                                     &cbData);
        if (rc == ERROR_FILE_NOT_FOUND)
            return ValueRead::Missing;
        if (rc == ERROR_SUCCESS && (!data.empty() || cbData == 0)) {
            data.resize(cbData);
            return ValueRead::Read;
        }
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
            return ValueRead::Failed;
        data.assign(cbData + sizeof(wchar_t), 0);
    }
    return ValueRead::Failed;
}

// Per-thread bookkeeping of the record this thread is filtering and writing: how deep
// it is nested (a record written while another is written on the same thread counts),
// and whether the change signal was checked for it. Other threads' records have no
// say in it, so a change reaches every record any thread begins after it.
qrv_detail::ThreadValue<int> t_nRecordDepth;
qrv_detail::ThreadValue<bool> t_bCheckedForRecord;

// The one LogsKeyCache of the process (LogsKeyCache::instance).
class LogsKeyCache;
LogsKeyCache* g_pLogsKeyCache = nullptr;

// The logs key's values as this process last read them, valid until the registry says
// otherwise. Each key on the path to the logs key that exists is watched with
// RegNotifyChangeKeyValue on one event: a value set or removed in the logs key, or a
// key created or deleted along the path, signals it, and the next read finds the
// event set and reads the registry again. A record's decision and output are
// therefore those of reading every value afresh, at the cost of one wait check per
// record. Where a watch cannot be set up (a key on the path that exists but does not
// open, no event), nothing is kept and every read goes to the registry until it can.
//
// Shared by every thread: the watched keys, the event and the values read are touched
// only under m_lock; each thread's record bookkeeping is its own (above).
class LogsKeyCache {
public:
    // Never destroyed: records may be written while the process's statics go away.
    static LogsKeyCache& instance()
    {
        return qrv_detail::sharedObject(g_pLogsKeyCache, [] { return new LogsKeyCache(); });
    }
    // Only a copy that lost the race to be the one is destroyed.
    ~LogsKeyCache()
    {
        if (m_hEvent)
            ::CloseHandle(m_hEvent);
    }

    // A record's filter and output read several values: the change signal is checked
    // at the first of them only, once per record rather than once per value.
    static void beginRecord() noexcept
    {
        const int nDepth = t_nRecordDepth.get();
        t_nRecordDepth.set(nDepth + 1);
        if (nDepth == 0)
            t_bCheckedForRecord.set(false);
    }
    static void endRecord() noexcept { t_nRecordDepth.set(t_nRecordDepth.get() - 1); }

    bool read(const wchar_t* szValueName, std::vector<BYTE>& data)
    {
        data.clear();
        if (!szValueName)
            return false;
        bool bPresent = false;
        if (readCached(szValueName, data, bPresent))
            return bPresent;
        return readUncached(szValueName, data);
    }

private:
    struct Entry {
        bool bPresent;
        std::vector<BYTE> data;
    };
    static const int kPathKeys = 3; // SOFTWARE, SOFTWARE\Zarvik, SOFTWARE\Zarvik\Logs

    LogsKeyCache() : m_hEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_bArmed(false) {}

    static bool readUncached(const wchar_t* szValueName, std::vector<BYTE>& data)
    {
        qrv_detail::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, CQRVLoggingConfig::s_szLogsKey, 0, KEY_READ, key.put()) !=
            ERROR_SUCCESS)
            return false;
        return readRawFrom(key.get(), szValueName, data) != ValueRead::Missing;
    }

    // The value as kept; false when the cache cannot answer (no watch could be set up,
    // or memory ran out), and the caller reads the registry itself.
    bool readCached(const wchar_t* szValueName, std::vector<BYTE>& data, bool& bPresent)
    {
        const bool bInRecord = t_nRecordDepth.get() > 0;
        const bool bCheck = !(bInRecord && t_bCheckedForRecord.get());
        try {
            qrv_detail::LockGuard guard(m_lock);
            // Unarmed (another thread's re-arm failed meanwhile) means nothing is kept,
            // whether or not this record has checked already.
            if ((!m_bArmed || (bCheck && changed())) && !arm())
                return false;
            if (bCheck)
                t_bCheckedForRecord.set(bInRecord);
            auto found = m_values.find(szValueName);
            if (found == m_values.end()) {
                Entry entry;
                const ValueRead how = m_keys[kPathKeys - 1].valid()
                                          ? readRawFrom(m_keys[kPathKeys - 1].get(), szValueName, entry.data)
                                          : ValueRead::Missing;
                entry.bPresent = how != ValueRead::Missing;
                if (how == ValueRead::Failed) {
                    data.swap(entry.data);
                    bPresent = true;
                    return true;
                }
                found = m_values.emplace(szValueName, std::move(entry)).first;
            }
            data = found->second.data;
            bPresent = found->second.bPresent;
        } catch (...) {
            return false;
        }
        return true;
    }

    // A change was signalled since the watches were set.
    bool changed() const { return ::WaitForSingleObject(m_hEvent, 0) != WAIT_TIMEOUT; }

    // Drops what was read, then watches the path again. Old handles are closed before
    // the event is reset (closing a watched key may signal it); the watches are set
    // before anything is read, so a change made during the reads signals the event.
    bool arm()
    {
        m_bArmed = false;
        m_values.clear();
        for (auto& key : m_keys)
            key.reset();
        if (!m_hEvent || !::ResetEvent(m_hEvent))
            return false;
        // "SOFTWARE", "SOFTWARE\\Zarvik", "SOFTWARE\\Zarvik\\Logs": each ends where the next
        // backslash is, the last at the end of the path.
        const std::wstring strPath = CQRVLoggingConfig::s_szLogsKey;
        size_t end = 0;
        for (int i = 0; i < kPathKeys; ++i) {
            end = i + 1 == kPathKeys ? strPath.size() : strPath.find(L'\\', end + 1);
            if (end == std::wstring::npos)
                return false;
            const LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, strPath.substr(0, end).c_str(), 0, KEY_READ,
                                            m_keys[i].put());
            // A missing key ends the chain: its parent's watch reports its creation. Any
            // other failure (access denied, a passing error) may clear without a signal,
            // so nothing is kept then; nor when no parent watches the first key.
            if (rc == ERROR_FILE_NOT_FOUND && i > 0)
                break;
            if (rc != ERROR_SUCCESS ||
                ::RegNotifyChangeKeyValue(m_keys[i].get(), FALSE,
                                          REG_NOTIFY_CHANGE_NAME | (i + 1 == kPathKeys ? REG_NOTIFY_CHANGE_LAST_SET : 0),
                                          m_hEvent, TRUE) != ERROR_SUCCESS) {
                for (auto& key : m_keys)
                    key.reset();
                return false;
            }
        }
        m_bArmed = true;
        return true;
    }

    qrv_detail::CriticalSection m_lock; // guards every member below
    HANDLE m_hEvent;
    bool m_bArmed;
    qrv_detail::UniqueRegKey m_keys[kPathKeys];
    std::map<std::wstring, Entry> m_values; // by the name asked for
};

} // namespace

QRVLoggingConfigRecordScope::QRVLoggingConfigRecordScope() noexcept
{
    LogsKeyCache::beginRecord();
}

QRVLoggingConfigRecordScope::~QRVLoggingConfigRecordScope()
{
    LogsKeyCache::endRecord();
}

namespace {

// A value's raw bytes; present when the key opens and the value is not missing.
bool readRaw(const wchar_t* szValueName, std::vector<BYTE>& data)
{
    return LogsKeyCache::instance().read(szValueName, data);
}

// Whether the object list in szValueName is present, and whether the name occurs in it
// (a case-sensitive substring test).
QRVObjectListMatch matchObjectList(const wchar_t* szValueName, const std::wstring& strObjectName)
{
    QRVObjectListMatch match;
    std::wstring strList;
    match.bListPresent = CQRVLoggingConfig::readString(szValueName, strList);
    match.bNameFound = match.bListPresent && strList.find(strObjectName) != std::wstring::npos;
    return match;
}

// A decimal number as the C runtime's atoi reads it: leading blanks, a sign, digits
// up to the first other character; kept to 16 bits.
unsigned short parseDecimal(const std::wstring& strText, size_t pos)
{
    while (pos < strText.size() && std::iswspace(strText[pos]))
        ++pos;
    bool bNegative = false;
    if (pos < strText.size() && (strText[pos] == L'+' || strText[pos] == L'-'))
        bNegative = strText[pos++] == L'-';
    unsigned long ulValue = 0;
    for (; pos < strText.size() && strText[pos] >= L'0' && strText[pos] <= L'9'; ++pos)
        ulValue = ulValue * 10 + static_cast<unsigned long>(strText[pos] - L'0');
    if (bNegative)
        ulValue = 0UL - ulValue;
    return static_cast<unsigned short>(ulValue & 0xFFFF);
}

const wchar_t* outputValueName(unsigned short usOutputBit)
{
    switch (usOutputBit) {
    case OUTPUT_TEXT: return L"TextOutput";
    case OUTPUT_XML: return L"XMLOutput";
    case OUTPUT_SERVER: return L"ServerOutput";
    case OUTPUT_HTML: return L"HTMLOutput";
    case OUTPUT_UNKNOWN: return L"UnknownOutput";
    default: return nullptr;
    }
}

} // namespace

bool CQRVLoggingConfig::readDword(const wchar_t* szValueName, unsigned long& ulValue)
{
    std::vector<BYTE> data;
    if (!readRaw(szValueName, data))
        return false;
    DWORD dwValue = 0;
    for (size_t i = 0; i < data.size() && i < sizeof(dwValue); ++i)
        dwValue |= static_cast<DWORD>(data[i]) << (8 * i);
    ulValue = dwValue;
    return true;
}

bool CQRVLoggingConfig::readString(const wchar_t* szValueName, std::wstring& strValue)
{
    std::vector<BYTE> data;
    strValue.clear();
    if (!readRaw(szValueName, data))
        return false;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const wchar_t ch = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (ch == L'\0')
            break;
        strValue += ch;
    }
    return true;
}

bool CQRVLoggingConfig::isLoggingEnabled() const
{
    unsigned long ulLogging = 0;
    return readDword(L"Logging", ulLogging) && ulLogging != 0;
}

unsigned short CQRVLoggingConfig::getLogDetail() const
{
    unsigned long ulDetail = 0;
    if (!readDword(L"LogDetail", ulDetail))
        return kDefaultLogDetail;
    return static_cast<unsigned short>(ulDetail & 0xFFFF);
}

bool CQRVLoggingConfig::getOutputLocation(unsigned short usOutputBit, std::wstring& strLocation) const
{
    strLocation.clear();
    if (usOutputBit == 0x10)
        return true;
    const wchar_t* szName = outputValueName(usOutputBit);
    return szName && readString(szName, strLocation);
}

bool CQRVLoggingConfig::getOutputLocation(unsigned short usOutputBit, wchar_t* pBuffer, unsigned long ulSize) const
{
    if (usOutputBit == 0x10)
        return true;
    if (!pBuffer || ulSize == 0 || !outputValueName(usOutputBit))
        return false;
    std::wstring strLocation;
    if (!getOutputLocation(usOutputBit, strLocation))
        return false;
    const size_t cchMax = ulSize / sizeof(wchar_t);
    if (cchMax == 0)
        return false;
    const size_t cchCopy = strLocation.size() < cchMax ? strLocation.size() : cchMax - 1;
    strLocation.copy(pBuffer, cchCopy);
    pBuffer[cchCopy] = L'\0';
    return true;
}

QRVProgramSettings qrvParseProgramSettings(const std::wstring& strSetting)
{
    QRVProgramSettings settings;
    settings.outputMask = parseDecimal(strSetting, 0);
    const size_t firstComma = strSetting.find(L',');
    if (firstComma != std::wstring::npos) {
        settings.detailMask = parseDecimal(strSetting, firstComma + 1);
        const size_t lastComma = strSetting.rfind(L',');
        if (lastComma != firstComma)
            settings.location = strSetting.substr(lastComma + 1);
    }
    return settings;
}

bool CQRVLoggingConfig::getProgramSettings(const std::wstring& strProgramName, QRVProgramSettings& settings) const
{
    std::wstring strSetting;
    if (strProgramName.empty() || !readString(strProgramName.c_str(), strSetting))
        return false;
    settings = qrvParseProgramSettings(strSetting);
    return true;
}

QRVObjectListMatch CQRVLoggingConfig::isObjectAllowed(const std::wstring& strObjectName) const
{
    return matchObjectList(L"AllowObjects", strObjectName);
}

QRVObjectListMatch CQRVLoggingConfig::isObjectExcluded(const std::wstring& strObjectName) const
{
    return matchObjectList(L"ExcludeObjects", strObjectName);
}

namespace {
// Set while this thread runs loadDynamicSettings (see there).
qrv_detail::ThreadValue<bool> t_bLoadingDynamicSettings;
} // namespace

// Reads the three process-wide settings through the registry value class. That class
// traces, and its traces come back here on this thread: they find the load under way
// and run untraced. g_dynamicLogging is set once, to its final value, so another
// thread never takes a load still under way for "off"; two threads that load at once
// read the same values.
bool CQRVLoggingConfig::loadDynamicSettings() const
{
    if (t_bLoadingDynamicSettings.get())
        return false;
    // Without a mark the load's own traces would load again, without end: then the
    // settings stay off.
    if (!t_bLoadingDynamicSettings.set(true)) {
        g_dynamicLogging = 2;
        return false;
    }
    struct Loading {
        ~Loading() { t_bLoadingDynamicSettings.set(false); }
    } loading;
    int nDynamic = 2;
    bool bResult = false;
    try {
        auto readSetting = [](const wchar_t* szName, DWORD& dwValue) {
            CQRVRegistryDword setting(HKEY_LOCAL_MACHINE, CQRVWCharString(s_szLogsKey), CQRVWCharString(szName),
                                      KEY_READ);
            return setting.getValue(dwValue, false);
        };
        DWORD dwValue = 0;
        if (readSetting(L"DynamicLogging", dwValue)) {
            if (dwValue == 1)
                nDynamic = 1;
            if (readSetting(L"MaxLogFileNum", dwValue))
                g_maxLogFileNum = dwValue;
            if (readSetting(L"MaxLogFileSize", dwValue))
                g_maxLogFileSize = dwValue;
            bResult = true;
        }
    } catch (...) {
        bResult = false;
    }
    g_dynamicLogging = nDynamic;
    return bResult;
}

namespace {

// The destination of setProcessLogDestination. Shared by every thread: the path and the
// detail are touched only under lock; bSet mirrors "a path is set" so that the records
// of a process that never sets one pass without taking the lock. Never destroyed:
// records may be written while the process's statics go away.
struct ProcessLogDestination {
    qrv_detail::CriticalSection lock;
    std::wstring strPath;
    unsigned short usDetail = 0;
    std::atomic<bool> bSet{false};

    static ProcessLogDestination& instance()
    {
        static ProcessLogDestination* s_pDestination = new ProcessLogDestination();
        return *s_pDestination;
    }
};

} // namespace

void CQRVLoggingConfig::setProcessLogDestination(const std::wstring& strPath, unsigned short usDetail)
{
    try {
        ProcessLogDestination& destination = ProcessLogDestination::instance();
        qrv_detail::LockGuard guard(destination.lock);
        destination.strPath = strPath;
        destination.usDetail = usDetail;
        destination.bSet = !strPath.empty();
    } catch (...) {
        // out of memory: the destination stays as it was
    }
}

bool CQRVLoggingConfig::getProcessLogDestination(std::wstring& strPath, unsigned short& usDetail)
{
    try {
        ProcessLogDestination& destination = ProcessLogDestination::instance();
        if (!destination.bSet)
            return false;
        qrv_detail::LockGuard guard(destination.lock);
        if (destination.strPath.empty())
            return false;
        strPath = destination.strPath;
        usDetail = destination.usDetail;
        return true;
    } catch (...) {
        return false;
    }
}

bool qrvGetModuleBaseName(std::wstring& strName)
{
    try {
        std::vector<wchar_t> path(MAX_PATH);
        for (;;) {
            const DWORD cch = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (cch == 0)
                return false;
            if (cch < path.size())
                break;
            path.resize(path.size() * 2); // truncated: ask again with room for a long path
        }
        std::wstring strPath(path.data());
        const size_t slash = strPath.find_last_of(L"\\/");
        std::wstring strFile = slash == std::wstring::npos ? strPath : strPath.substr(slash + 1);
        const size_t dot = strFile.rfind(L'.');
        if (dot != std::wstring::npos)
            strFile.erase(dot);
        if (strFile.empty())
            return false;
        strName = strFile;
        return true;
    } catch (...) {
        return false;
    }
}

bool passesDetail(CQRVLogging& logObject, CQRVLogRecord& record)
{
    CQRVLoggingConfig config;
    logObject.detail = 0;
    if (!config.isLoggingEnabled())
        return false;
    if (record.moduleName.empty() && !qrvGetModuleBaseName(record.moduleName))
        return false;

    QRVProgramSettings program;
    if (config.getProgramSettings(record.moduleName, program)) {
        logObject.outputMask = program.outputMask;
        logObject.detail = program.detailMask;
        return true;
    }

    const unsigned short detail = config.getLogDetail();
    logObject.detail = detail;
    return qrvPassesDetailMask(record, detail);
}

bool qrvPassesDetailMask(const CQRVLogRecord& record, unsigned short detail)
{
    if ((record.kind & detail) != record.kind)
        return false;
    if (record.kind != lkExit)
        return true;

    const bool bNonZeroErrors = (detail & DETAIL_EXIT_NONZERO_ERRORS) != 0;
    const bool bFailedOnly = (detail & DETAIL_EXIT_FAILED_ONLY) != 0;
    const bool bFalseOnly = (detail & DETAIL_EXIT_FALSE_ONLY) != 0;
    if (record.resultType == RESULT_ERROR_CODE && bNonZeroErrors)
        return record.resultValue != 0;
    if ((record.resultType == RESULT_PASS_FAIL && bFailedOnly) || (record.resultType == RESULT_LOGICAL && bFalseOnly))
        return (record.resultValue & 0xFF) == 0;
    return !bNonZeroErrors && !bFailedOnly && !bFalseOnly;
}

bool shouldLog(CQRVLogging& logObject, CQRVLogRecord& record)
{
    if (!passesDetail(logObject, record))
        return false;
    if (record.objectName.empty())
        return true;
    CQRVLoggingConfig config;
    const QRVObjectListMatch allowed = config.isObjectAllowed(record.objectName);
    if (allowed.bListPresent)
        return allowed.bNameFound;
    const QRVObjectListMatch excluded = config.isObjectExcluded(record.objectName);
    if (excluded.bListPresent)
        return !excluded.bNameFound;
    return true;
}
