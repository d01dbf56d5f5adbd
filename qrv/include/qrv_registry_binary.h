// CQRVRegistryBinary: a REG_BINARY value and its cached bytes. The read asks the
// registry for the size first; a missing value is created empty when the create flag
// is set.
#pragma once

#include "qrv_registry_value.h"

class CQRVRegistryBinary : public CQRVRegistryValue {
public:
    // Raises CQRVBufferInitException when the cache cannot be set up.
    CQRVRegistryBinary(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                       const CQRVWCharString& szValueName, REGSAM samDesired, bool bCreate = false,
                       DWORD dwOptions = 0);
    ~CQRVRegistryBinary();

    // Into the cache, and to the registry unless bCacheOnly. The bytes are read back
    // through m_bufRegBinaryCache after readRegistry.
    bool setValue(const CQRVBuffer<unsigned char>& bufValue, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    bool m_bCacheValid;
    CQRVBuffer<unsigned char> m_bufRegBinaryCache;
};
