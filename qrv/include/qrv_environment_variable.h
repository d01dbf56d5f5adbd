// CQRVEnvironmentVariable: one environment variable of the running process, by name.
// Nothing is cached: every getValue asks the system again (GetEnvironmentVariableW).
#pragma once

#include "qrv_wchar_string.h"

class CQRVEnvironmentVariable {
public:
    CQRVEnvironmentVariable(const CQRVWCharString& name);

    // The variable's current value. False when it does not exist or is empty (the
    // system reports both as 0), with out left as it was; false with a
    // CQRVUnknownVariableNameException record when the name is not valid.
    bool getValue(CQRVWCharString& out) const;

    CQRVWCharString m_name;
};
