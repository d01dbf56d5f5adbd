// CQRVRegistryDword: a REG_DWORD value and its cached number. A successful read or
// write marks the cache valid; a missing value is created as 0 when the create flag is
// set.
#pragma once

#include "qrv_registry_value.h"

class CQRVRegistryDword : public CQRVRegistryValue {
public:
    CQRVRegistryDword(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                      const CQRVWCharString& szValueName, REGSAM samDesired, bool bCreate = false,
                      DWORD dwOptions = 0);
    ~CQRVRegistryDword();

    bool getValue(DWORD& dwOut, bool bUseCache);
    bool setValue(DWORD dwValue, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    bool m_bCacheValid;
    DWORD m_dwRegDwordCache;
};
