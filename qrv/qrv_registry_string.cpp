// CQRVRegistryString, and the key's collector of REG_SZ values.
#include "qrv_registry_string.h"

#include "internal/qrv_registry_detail.h"
#include "qrv_protocol.h"

using qrv_detail::textOrNull;

namespace {

// The read buffer: 520 bytes as the registry sees it, plus one unit that stays 0 so
// the text always ends inside the buffer, even for a value stored without terminator.
const DWORD kReadBytes = 520;
const unsigned long kReadUnits = kReadBytes / 2 + 1;

} // namespace

CQRVRegistryString::CQRVRegistryString(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                                       const CQRVWCharString& szValueName, REGSAM samDesired,
                                       bool bCreate, DWORD dwOptions)
    : CQRVRegistryValue(hRootKey, szKeyPath, szValueName, samDesired, bCreate, dwOptions),
      m_bCacheValid(false)
{
}

CQRVRegistryString::~CQRVRegistryString()
{
    m_szRegStringCache.release();
}

bool CQRVRegistryString::getValue(CQRVWCharString& szOut, bool bUseCache)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!(bUseCache && m_bCacheValid) && !readRegistry())
            return false;
        szOut = m_szRegStringCache;
        return true;
    });
}

bool CQRVRegistryString::setValue(const CQRVWCharString& szValue, bool bCacheOnly)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        m_szRegStringCache = szValue;
        if (bCacheOnly)
            return true;
        return writeRegistry();
    });
}

bool CQRVRegistryString::readRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::withOpenKey(*this, [&] {
            CQRVBuffer<unsigned short> bufData(kReadUnits);
            DWORD dwSize = kReadBytes;
            LONG lResult = ::RegQueryValueExW(m_hKey, textOrNull(m_szValueName), nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(bufData.m_pBuffer), &dwSize);
            // A missing value leaves ERROR_FILE_NOT_FOUND, a text of 260 units or more
            // ERROR_MORE_DATA (no record for either).
            if (lResult == ERROR_FILE_NOT_FOUND && m_bCreate)
                return setValue(CQRVWCharString(), false);
            if (lResult != ERROR_SUCCESS)
                return qrvFail(lResult);
            m_szRegStringCache = reinterpret_cast<const wchar_t*>(bufData.m_pBuffer);
            return true;
        });
    });
}

bool CQRVRegistryString::writeString(DWORD dwType, const wchar_t* szClass)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        // The text and its terminator; slack behind the terminator is not stored, and
        // a string without storage is stored as 0 bytes.
        const unsigned long ulLength = m_szRegStringCache.getLength();
        const DWORD dwBytes = m_szRegStringCache.isValid() ? (ulLength + 1) * 2 : 0;
        return writeData(dwType, reinterpret_cast<const BYTE*>(m_szRegStringCache.m_pBuffer), dwBytes,
                         szClass, m_bCacheValid, QRV_HERE);
    });
}

bool CQRVRegistryString::writeRegistry()
{
    return writeString(REG_SZ, L"CQRVRegistryValue");
}

// ---- CQRVRegistryKey::getStringValues ------------------------------------------------

namespace qrv_detail {

CQRVRegistryStringValue stringRecord(const CQRVRegistryValent& valent)
{
    CQRVWCharString szText;
    if (valent.m_bufData.m_ulNumElems > 0)
        szText = valent.m_bufData.toWideBuffer();
    return CQRVRegistryStringValue(valent.m_szValueName, szText);
}

} // namespace qrv_detail

bool CQRVRegistryKey::getStringValues(CQRVRegistryStringValueList& lstValues)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::collectValues(*this, REG_SZ, lstValues, qrv_detail::stringRecord);
    });
}
