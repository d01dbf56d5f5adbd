// CQRVRegistryDword, and the key's collector of REG_DWORD values.
#include "qrv_registry_dword.h"

#include "internal/qrv_registry_detail.h"
#include "qrv_protocol.h"

using qrv_detail::textOrNull;

CQRVRegistryDword::CQRVRegistryDword(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                                     const CQRVWCharString& szValueName, REGSAM samDesired,
                                     bool bCreate, DWORD dwOptions)
    : CQRVRegistryValue(hRootKey, szKeyPath, szValueName, samDesired, bCreate, dwOptions),
      m_bCacheValid(false), m_dwRegDwordCache(0)
{
}

CQRVRegistryDword::~CQRVRegistryDword()
{
    m_dwRegDwordCache = 0;
}

bool CQRVRegistryDword::getValue(DWORD& dwOut, bool bUseCache)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!(bUseCache && m_bCacheValid) && !readRegistry())
            return false;
        dwOut = m_dwRegDwordCache;
        return true;
    });
}

bool CQRVRegistryDword::setValue(DWORD dwValue, bool bCacheOnly)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        m_dwRegDwordCache = dwValue;
        return bCacheOnly || writeRegistry();
    });
}

// RegQueryValueExW into 4 bytes. The data lands in a local first: after a failed read
// (ERROR_MORE_DATA leaves the buffer undefined) the cache keeps its value.
bool CQRVRegistryDword::readRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::withOpenKey(*this, [&] {
            DWORD dwData = 0;
            DWORD dwSize = sizeof(dwData);
            LONG lResult = ::RegQueryValueExW(m_hKey, textOrNull(m_szValueName), nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&dwData), &dwSize);
            if (lResult == ERROR_FILE_NOT_FOUND && m_bCreate) {
                m_dwRegDwordCache = 0;
                return writeRegistry();
            }
            if (lResult != ERROR_SUCCESS)
                return qrvFail(lResult);
            m_dwRegDwordCache = dwData;
            m_bCacheValid = true;
            return true;
        });
    });
}

bool CQRVRegistryDword::writeRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return writeData(REG_DWORD, reinterpret_cast<const BYTE*>(&m_dwRegDwordCache),
                         sizeof(m_dwRegDwordCache), L"CQRVRegistryDword", m_bCacheValid, QRV_HERE);
    });
}

namespace qrv_detail {

CQRVRegistryDwordValue dwordRecord(const CQRVRegistryValent& valent)
{
    unsigned char abData[4] = {0, 0, 0, 0};
    unsigned long ulCount = sizeof(abData);
    DWORD dwValue = 0;
    if (valent.m_bufData.read(abData, 0, ulCount))
        dwValue = static_cast<DWORD>(abData[0]) | (static_cast<DWORD>(abData[1]) << 8) |
                  (static_cast<DWORD>(abData[2]) << 16) | (static_cast<DWORD>(abData[3]) << 24);
    return CQRVRegistryDwordValue(valent.m_szValueName, dwValue);
}

} // namespace qrv_detail

bool CQRVRegistryKey::getDwordValues(CQRVRegistryDwordValueList& lstValues)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::collectValues(*this, REG_DWORD, lstValues, qrv_detail::dwordRecord);
    });
}
