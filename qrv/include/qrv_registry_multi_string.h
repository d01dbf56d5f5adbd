// CQRVRegistryMultiString: a REG_MULTI_SZ value and its cached list of strings.
//
// Encoding: each string's characters and terminator in order (an empty string adds
// nothing), then one more NUL when the list was not empty; an empty list is 0 bytes.
// Decoding: one string per NUL-terminated run, stopping at a double NUL or at the end;
// text after the last NUL is dropped. Empty strings inside a list are therefore not
// kept across a write and a read.
#pragma once

#include "qrv_registry_value.h"

class CQRVRegistryMultiString : public CQRVRegistryValue {
public:
    CQRVRegistryMultiString(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                            const CQRVWCharString& szValueName, REGSAM samDesired,
                            bool bCreate = false, DWORD dwOptions = 0);
    ~CQRVRegistryMultiString();

    // Into the cache, and to the registry unless bCacheOnly. The strings are read back
    // through m_lstRegMultiStringCache after readRegistry, or with getValue.
    bool setValue(const CQRVRegStringList& lstValue, bool bCacheOnly);
    // The value's strings, tagged 0, 1, 2, ...: from the cache when bUseCache and the
    // cache is valid, else read from the registry first (readRegistry). lstOut is
    // untouched on failure.
    bool getValue(CQRVRegStringList& lstOut, bool bUseCache);

    bool readRegistry() override;
    bool writeRegistry() override;

    static bool encode(const CQRVRegStringList& lstStrings, CQRVBuffer<unsigned char>& bufOut);
    static bool decode(const CQRVBuffer<unsigned char>& bufData, CQRVRegStringList& lstOut);

    bool m_bCacheValid;
    CQRVRegStringList m_lstRegMultiStringCache;
};
