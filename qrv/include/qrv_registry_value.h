// CQRVRegistryValue: the abstract base of the typed registry values. A value object is
// also the key object that holds the value; it adds the value's name, and each kind
// adds a cache in its own type together with readRegistry (registry to cache) and
// writeRegistry (cache to registry).
//
// Both operations open the key when it is not open, do their work and close the key
// before they return. A value that is missing is created (with an empty or zero value)
// when the create flag is set. Failures are logged and reported as false.
#pragma once

#include "qrv_registry_key.h"

class CQRVRegistryValue : public CQRVRegistryKey {
public:
    // The value name is copied; a failure to copy it is logged and the object is still
    // built. A failure of the key part escapes as for CQRVRegistryKey.
    CQRVRegistryValue(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                      const CQRVWCharString& szValueName, REGSAM samDesired, bool bCreate = false,
                      DWORD dwOptions = 0);

    virtual bool readRegistry() = 0;
    virtual bool writeRegistry() = 0;

    CQRVWCharString m_szValueName;

protected:
    // The write shared by every kind: RegSetValueExW of cbData bytes as dwType on the
    // key, opened for the call and closed again. Success sets bCacheValid; a refused
    // write raises CQRVRegValueSetException under szClass, recorded at the caller's
    // sourceFile and line (callers absorb it). False, without a record, when the key
    // cannot be opened.
    bool writeData(DWORD dwType, const BYTE* pData, DWORD cbData, const wchar_t* szClass,
                   bool& bCacheValid, const wchar_t* sourceFile, int line);
};
