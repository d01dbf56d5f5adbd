// CQRVRegistryMultiString, its encoding, and the key's collector of REG_MULTI_SZ values.
#include "qrv_registry_multi_string.h"

#include <cstring>

#include "internal/qrv_registry_detail.h"
#include "qrv_protocol.h"

using qrv_detail::textOrNull;

CQRVRegistryMultiString::CQRVRegistryMultiString(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                                                 const CQRVWCharString& szValueName,
                                                 REGSAM samDesired, bool bCreate, DWORD dwOptions)
    : CQRVRegistryValue(hRootKey, szKeyPath, szValueName, samDesired, bCreate, dwOptions),
      m_bCacheValid(false)
{
}

CQRVRegistryMultiString::~CQRVRegistryMultiString()
{
    m_lstRegMultiStringCache.clear();
}

bool CQRVRegistryMultiString::getValue(CQRVRegStringList& lstOut, bool bUseCache)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!(bUseCache && m_bCacheValid) && !readRegistry())
            return false;
        return lstOut.copyFrom(m_lstRegMultiStringCache);
    });
}

bool CQRVRegistryMultiString::setValue(const CQRVRegStringList& lstValue, bool bCacheOnly)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (&lstValue != &m_lstRegMultiStringCache && !m_lstRegMultiStringCache.copyFrom(lstValue))
            return false;
        return bCacheOnly || writeRegistry();
    });
}

// Each string goes out as its characters and one NUL, whatever spare storage its
// buffer holds after the terminator (zeros there would read as the list's end); an
// empty string, with storage or without, adds nothing. One more NUL closes a list of
// at least one string.
bool CQRVRegistryMultiString::encode(const CQRVRegStringList& lstStrings, CQRVBuffer<unsigned char>& bufOut)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        bufOut.allocate(0);
        // Count the units first so the bytes are laid out in one allocation.
        unsigned long ulUnits = 0;
        for (const CQRVObjNode<CQRVWCharString>* pNode = lstStrings.m_pHead; pNode; pNode = pNode->m_pNext) {
            const unsigned long ulLength = pNode->m_object.getLength();
            if (ulLength > 0)
                ulUnits += ulLength + 1;
        }
        if (lstStrings.m_ulCount > 0)
            ulUnits += 1;
        if (ulUnits == 0)
            return true;
        if (!bufOut.allocate(ulUnits * 2))
            return false;
        unsigned long ulOffset = 0;
        for (const CQRVObjNode<CQRVWCharString>* pNode = lstStrings.m_pHead; pNode; pNode = pNode->m_pNext) {
            const unsigned long ulLength = pNode->m_object.getLength();
            if (ulLength == 0)
                continue;
            std::memcpy(bufOut.m_pBuffer + ulOffset, pNode->m_object.getBuffer(), ulLength * 2);
            // The string's NUL (and the list's final one) are already there: the
            // buffer was zero-filled.
            ulOffset += (ulLength + 1) * 2;
        }
        return true;
    });
}

bool CQRVRegistryMultiString::decode(const CQRVBuffer<unsigned char>& bufData, CQRVRegStringList& lstOut)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        lstOut.clear();
        if (bufData.m_ulNumElems == 0)
            return true;
        CQRVBuffer<unsigned short> bufUnits = bufData.toWideBuffer();
        const unsigned short* pUnits = bufUnits.m_pBuffer;
        const unsigned long ulUnits = bufUnits.m_ulNumElems;
        unsigned long ulStart = 0;
        long lTag = 0;
        for (unsigned long i = 0; i < ulUnits; ++i) {
            if (pUnits[i] != 0)
                continue;
            CQRVWCharString szPart;
            if (i > ulStart)
                szPart = reinterpret_cast<const wchar_t*>(pUnits + ulStart);
            if (!lstOut.add(szPart, lTag++))
                return false;
            if (i + 1 >= ulUnits || pUnits[i + 1] == 0)
                break;
            ulStart = i + 1;
        }
        return true;
    });
}

bool CQRVRegistryMultiString::readRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        DWORD dwMax = 0;
        if (!getMaxValueDataLength(dwMax))
            return false;
        return qrv_detail::withOpenKey(*this, [&] {
            CQRVBuffer<unsigned char> bufData(dwMax);
            DWORD dwSize = dwMax;
            LONG lResult = ::RegQueryValueExW(m_hKey, textOrNull(m_szValueName), nullptr, nullptr,
                                              bufData.m_pBuffer, &dwSize);
            if (lResult == ERROR_FILE_NOT_FOUND && m_bCreate) {
                CQRVRegStringList lstEmpty;
                m_bCacheValid = setValue(lstEmpty, false);
                return m_bCacheValid;
            }
            if (lResult != ERROR_SUCCESS)
                return qrvFail(lResult);
            // Only the bytes the registry returned are decoded.
            if (dwSize < bufData.m_ulNumElems && !bufData.resize(dwSize))
                return false;
            m_bCacheValid = decode(bufData, m_lstRegMultiStringCache);
            return m_bCacheValid;
        });
    });
}

bool CQRVRegistryMultiString::writeRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVBuffer<unsigned char> bufData(0);
        if (!encode(m_lstRegMultiStringCache, bufData))
            return false;
        return writeData(REG_MULTI_SZ, bufData.m_pBuffer, bufData.m_ulNumElems, L"CQRVRegistryMultiString",
                         m_bCacheValid, QRV_HERE);
    });
}

bool CQRVRegistryKey::getMultiStringValues(CQRVRegistryMultiStringValueList& lstValues)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::collectValues(*this, REG_MULTI_SZ, lstValues, [](const CQRVRegistryValent& valent) {
            CQRVRegistryMultiStringValue record;
            record.m_szName = valent.m_szValueName;
            CQRVRegistryMultiString::decode(valent.m_bufData, record.m_lstStrings);
            return record;
        });
    });
}
