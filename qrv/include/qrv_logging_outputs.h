// CQRVLoggingOutputs: runs one output per set bit of a log object's outputMask. Only
// the text output writes: one UTF-16LE line per record appended to the log file, which
// is rotated once this process has written more than "MaxLogFileSize" KB. Any number of
// threads may write at once: each line, and the rotation it causes, is written under
// one lock.
#pragma once

#include <string>

#include "qrv_log_record.h"

// Rotation counters, changed only under the text output's lock (read them when no
// thread writes).
extern unsigned long g_bytesWritten; // bytes this process wrote since the last rotation
extern unsigned long g_rotations;    // rotations this process has done

class CQRVLoggingOutputText {
public:
    virtual ~CQRVLoggingOutputText() = default;
    virtual bool write(CQRVLogRecord& record);      // the full line
    virtual bool writeShort(CQRVLogRecord& record); // the short line of CQRVSimpleLog

    // The line texts, without file access; exposed for the tests.
    static std::wstring formatLine(const CQRVLogRecord& record);
    static std::wstring formatShortLine(const CQRVLogRecord& record);
    static std::wstring formatTime();

private:
    bool appendLine(CQRVLogRecord& record, const std::wstring& strLine, bool bFullLine);
};

// While one is alive the text output keeps its log file open from one line to the next
// (sharing reading and writing, as when it opens the file for one line); when the last
// one goes the file is closed. A traced call holds one from its ENTRY line to its EXIT
// line.
class QRVLogFileHold {
public:
    QRVLogFileHold() noexcept;
    ~QRVLogFileHold();
    QRVLogFileHold(const QRVLogFileHold&) = delete;
    QRVLogFileHold& operator=(const QRVLogFileHold&) = delete;

private:
    bool m_bHeld;
};

// Outputs that have no format: they write nothing and report failure.
class CQRVLoggingOutputXML {
public:
    virtual ~CQRVLoggingOutputXML() = default;
    virtual bool write(CQRVLogRecord& record);
};

class CQRVLoggingOutputServer {
public:
    virtual ~CQRVLoggingOutputServer() = default;
    virtual bool write(CQRVLogRecord& record);
};

class CQRVLoggingOutputUnknown {
public:
    virtual ~CQRVLoggingOutputUnknown() = default;
    virtual bool write(CQRVLogRecord& record);
};

class CQRVLoggingOutputs {
public:
    // Bits run in the order 0x1, 0x2, 0x8, 0x4, 0x20; the result is that of the last
    // output run, false when no bit is set.
    bool dispatch(unsigned short usOutputMask, CQRVLogRecord& record) const;
    bool dispatchShort(unsigned short usOutputMask, CQRVLogRecord& record) const;

private:
    bool run(unsigned short usOutputMask, CQRVLogRecord& record, bool bShort) const;
};
