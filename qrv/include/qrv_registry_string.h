// CQRVRegistryString: a REG_SZ value and its cached text.
//
// The read takes at most 520 bytes (259 characters and the terminator); a longer value
// cannot be read. A successful read fills the cache but does not mark it valid, so
// getValue with bUseCache reads the registry again until the value has been written.
#pragma once

#include "qrv_registry_value.h"

class CQRVRegistryString : public CQRVRegistryValue {
public:
    CQRVRegistryString(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                       const CQRVWCharString& szValueName, REGSAM samDesired, bool bCreate = false,
                       DWORD dwOptions = 0);
    ~CQRVRegistryString();

    // From the cache when bUseCache is set and the cache is valid, else from the registry.
    bool getValue(CQRVWCharString& szOut, bool bUseCache);
    // Into the cache, and to the registry unless bCacheOnly.
    bool setValue(const CQRVWCharString& szValue, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    bool m_bCacheValid;
    CQRVWCharString m_szRegStringCache;

protected:
    // RegSetValueExW of the cache with the given string type; failures are recorded
    // under szClass.
    bool writeString(DWORD dwType, const wchar_t* szClass);
};
