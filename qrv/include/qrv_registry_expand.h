// CQRVRegistryStringExpand: a REG_EXPAND_SZ value. It reads like the string kind and
// can hand out the text with its %NAME% references expanded (ExpandEnvironmentStringsW).
// Its write refuses a text without an even, non-zero number of "%" characters.
#pragma once

#include "qrv_registry_string.h"

class CQRVRegistryStringExpand : public CQRVRegistryString {
public:
    CQRVRegistryStringExpand(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                             const CQRVWCharString& szValueName, REGSAM samDesired,
                             bool bCreate = false, DWORD dwOptions = 0);

    using CQRVRegistryString::getValue;
    // The raw text, or with bExpand its expansion.
    bool getValue(CQRVWCharString& szOut, bool bUseCache, bool bExpand);

    bool writeRegistry() override;
};
