// CQRVSystemInfo: where the vendor's machine-wide data lives, a folder named after
// the vendor below the all-users application-data folder, created on first use.
#pragma once

#include "qrv_wchar_string.h"

class CQRVSystemInfo {
public:
    // nVendor indexes the vendor-name table: 0 "Zarvik", 1 "Solmira".
    explicit CQRVSystemInfo(int nVendor);

    // szPath receives "<common application data>\<vendor>\" (with the trailing
    // backslash); the folder is created when missing. On failure szPath is left
    // unchanged and the result is false; an index outside the vendor table fails
    // with a bad-argument record.
    virtual bool getStoragePath(CQRVWCharString& szPath);

private:
    int m_nVendor;
};
