// CQRVRegistryBinary, and the key's collector of REG_BINARY values.
#include "qrv_registry_binary.h"

#include "internal/qrv_registry_detail.h"
#include "qrv_protocol.h"

using qrv_detail::textOrNull;

CQRVRegistryBinary::CQRVRegistryBinary(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                                       const CQRVWCharString& szValueName, REGSAM samDesired,
                                       bool bCreate, DWORD dwOptions)
    : CQRVRegistryValue(hRootKey, szKeyPath, szValueName, samDesired, bCreate, dwOptions),
      m_bCacheValid(false), m_bufRegBinaryCache(0)
{
}

CQRVRegistryBinary::~CQRVRegistryBinary()
{
    m_bufRegBinaryCache.release();
}

bool CQRVRegistryBinary::setValue(const CQRVBuffer<unsigned char>& bufValue, bool bCacheOnly)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (&bufValue != &m_bufRegBinaryCache) {
            m_bufRegBinaryCache = bufValue;
            if (m_bufRegBinaryCache.m_ulNumElems != bufValue.m_ulNumElems)
                return false;
        }
        return bCacheOnly || writeRegistry();
    });
}

bool CQRVRegistryBinary::readRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::withOpenKey(*this, [&] {
            DWORD dwSize = 0;
            if (::RegQueryValueExW(m_hKey, textOrNull(m_szValueName), nullptr, nullptr, nullptr, &dwSize) !=
                ERROR_SUCCESS)
                dwSize = 0;
            CQRVBuffer<unsigned char> bufData(dwSize);
            LONG lResult = ::RegQueryValueExW(m_hKey, textOrNull(m_szValueName), nullptr, nullptr,
                                              bufData.m_pBuffer, &dwSize);
            if (lResult == ERROR_FILE_NOT_FOUND && m_bCreate) {
                m_bufRegBinaryCache.allocate(0);
                return writeRegistry();
            }
            if (lResult != ERROR_SUCCESS)
                return qrvFail(lResult);
            if (dwSize < bufData.m_ulNumElems && !bufData.resize(dwSize))
                return false;
            m_bufRegBinaryCache = bufData;
            if (m_bufRegBinaryCache.m_ulNumElems != bufData.m_ulNumElems)
                return false;
            m_bCacheValid = true;
            return true;
        });
    });
}

bool CQRVRegistryBinary::writeRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return writeData(REG_BINARY, m_bufRegBinaryCache.m_pBuffer, m_bufRegBinaryCache.m_ulNumElems,
                         L"CQRVRegistryBinary", m_bCacheValid, QRV_HERE);
    });
}

bool CQRVRegistryKey::getBinaryValues(CQRVRegistryBinaryValueList& lstValues)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::collectValues(*this, REG_BINARY, lstValues, [](const CQRVRegistryValent& valent) {
            return CQRVRegistryBinaryValue(valent.m_szValueName, valent.m_bufData);
        });
    });
}
