// The writer of a process's own log destination (CQRVLoggingConfig::
// setProcessLogDestination). Not part of the library's public surface.
#pragma once

#include <string>

#include "qrv_logging.h"

// When this process has a log destination of its own, filters the record by that
// destination's detail bits alone (no registry setting applies) and appends its line
// there: true, with bWritten telling whether the line was written. False when the
// process has none, and the registry's settings decide as always. Never throws.
bool qrvWriteToProcessLog(CQRVLogging& logObject, CQRVLogRecord& record, bool bShortForm, bool& bWritten) noexcept;

// The line as the process destination receives it: the library's own line with the
// process id after its time, and, after a Windows error code, the system's text for it.
std::wstring qrvFormatProcessLogLine(const CQRVLogRecord& record, bool bShortForm);

// The system's text for a Windows error code (FormatMessageW, the user's language),
// without its line end; empty when the system has none.
std::wstring qrvSystemErrorText(unsigned long ulError);
