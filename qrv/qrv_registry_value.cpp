// CQRVRegistryValue: the name shared by every value kind.
#include "qrv_registry_value.h"

#include "internal/qrv_registry_detail.h"
#include "qrv_protocol.h"

using qrv_detail::textOrNull;

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

bool CQRVRegistryValue::writeData(DWORD dwType, const BYTE* pData, DWORD cbData, const wchar_t* szClass,
                                  bool& bCacheValid, const wchar_t* sourceFile, int line)
{
    return qrv_detail::withOpenKey(*this, [&] {
        LONG lResult = ::RegSetValueExW(m_hKey, textOrNull(m_szValueName), 0, dwType, pData, cbData);
        if (lResult != ERROR_SUCCESS)
            throw CQRVRegValueSetException(textOrNull(m_szKeyPath), textOrNull(m_szValueName),
                                           qrvCode(lResult), szClass, L"writeRegistry", sourceFile, line);
        bCacheValid = true;
        return true;
    });
}
