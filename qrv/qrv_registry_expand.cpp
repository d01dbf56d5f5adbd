// CQRVRegistryStringExpand, and the key's collector of REG_EXPAND_SZ values.
#include "qrv_registry_expand.h"

#include "internal/qrv_registry_detail.h"
#include "qrv_protocol.h"

CQRVRegistryStringExpand::CQRVRegistryStringExpand(HKEY hRootKey, const CQRVWCharString& szKeyPath,
                                                   const CQRVWCharString& szValueName,
                                                   REGSAM samDesired, bool bCreate, DWORD dwOptions)
    : CQRVRegistryString(hRootKey, szKeyPath, szValueName, samDesired, bCreate, dwOptions)
{
}

bool CQRVRegistryStringExpand::getValue(CQRVWCharString& szOut, bool bUseCache, bool bExpand)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVWCharString szRaw;
        if (!getValue(szRaw, bUseCache))
            return false;
        if (!bExpand) {
            szOut = szRaw;
            return true;
        }
        const wchar_t* szSource = qrv_detail::textOrEmpty(szRaw);
        DWORD dwNeeded = ::ExpandEnvironmentStringsW(szSource, nullptr, 0);
        if (dwNeeded == 0)
            return false;
        CQRVBuffer<unsigned short> bufExpanded(dwNeeded + 1);
        const DWORD dwExpanded = ::ExpandEnvironmentStringsW(
            szSource, reinterpret_cast<wchar_t*>(bufExpanded.m_pBuffer), dwNeeded);
        if (dwExpanded == 0)
            return false; // the call's own code
        if (dwExpanded != dwNeeded)
            return qrvFail(ERROR_INSUFFICIENT_BUFFER); // a variable grew between the two calls
        szOut = reinterpret_cast<const wchar_t*>(bufExpanded.m_pBuffer);
        return true;
    });
}

bool CQRVRegistryStringExpand::writeRegistry()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        unsigned long ulPercents = 0;
        const unsigned long ulLength = m_szRegStringCache.getLength();
        for (unsigned long i = 0; i < ulLength; ++i)
            if (m_szRegStringCache.m_pBuffer[i] == L'%')
                ++ulPercents;
        if (ulPercents == 0 || ulPercents % 2 != 0) {
            ::SetLastError(ERROR_INVALID_DATA); // the refusal's documented code
            throw CQRVBadArgException(L"m_szRegStringCache",
                                      L"value doesn't represent an expandable value which is required",
                                      QRV_HERE);
        }
        return writeString(REG_EXPAND_SZ, L"CQRVRegistryStringExpand");
    });
}

bool CQRVRegistryKey::getExpandStringValues(CQRVRegistryStringValueList& lstValues, bool bExpand)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!qrv_detail::collectValues(*this, REG_EXPAND_SZ, lstValues, qrv_detail::stringRecord))
            return false;
        if (!bExpand)
            return true;
        // Each value is expanded through its own value object, in the same registry
        // view as this key.
        const REGSAM samRead = KEY_READ | (m_samDesired & (KEY_WOW64_32KEY | KEY_WOW64_64KEY));
        for (bool bMore = lstValues.moveFirst(); bMore; bMore = lstValues.moveNext()) {
            CQRVRegistryStringValue* pRecord = nullptr;
            if (!lstValues.getCurrentPointer(pRecord) || !pRecord)
                continue;
            CQRVRegistryStringExpand value(m_hRootKey, m_szKeyPath, pRecord->m_szName, samRead, false, 0);
            CQRVWCharString szExpanded;
            if (value.getValue(szExpanded, false, true))
                pRecord->m_szValue = szExpanded;
        }
        return true;
    });
}
