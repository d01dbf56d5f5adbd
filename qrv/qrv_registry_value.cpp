// CQRVRegistryValue: the name shared by every value kind.
#include "qrv_registry_value.h"

#include "qrv_protocol.h"

CQRVRegistryValue::CQRVRegistryValue(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                                     const CQRVWCharString& szValueName, REGSAM samDesired,
                                     bool bCreate, DWORD dwOptions)
    : CQRVRegistryKey(hRootKey, szKeyPath, samDesired, bCreate, dwOptions)
{
    qrvAbsorb(false, QRV_HERE, [&] {
        m_szValueName = szValueName;
        if (szValueName.isValid() && !m_szValueName.isValid())
            throw CQRVMemAllocException(L"m_szValueName", QRV_HERE);
        return true;
    });
}
