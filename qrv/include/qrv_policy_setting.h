// CQRVPolicySetting<T>: one policy value (a DWORD or a string) that may be set in any of
// six registry places. The setting knows its value name, its sub-key below the
// product's key, its default, and how a place becomes a root and a key path; it keeps
// the last value read or written. CQRVPolicyDwordSetting and CQRVPolicyStringSetting
// do the registry reads and writes; the product policy decides the order of places.
//
// Only source 1 (the registry) is supported; another source writes the record
// "Policy source is not supported." and the operation fails. No operation raises.
#pragma once

#include <windows.h>

#include "qrv_dbllist.h"
#include "qrv_failures.h"
#include "qrv_flags.h"
#include "qrv_protocol.h"
#include "qrv_wchar_string.h"

// The six places a policy value may live, one bit each.
enum PolicyLocation : unsigned long {
    plMachinePolicy = 0x01,
    plUserPolicy = 0x02,
    plDefaultUserPolicy = 0x04,
    plMachinePreference = 0x08,
    plUserPreference = 0x10,
    plDefaultUserPreference = 0x20
};

// Where a setting's value comes from; only the registry is implemented.
enum PolicySource : int { psRegistry = 1 };

// Kinds of setting, stored in m_type.
enum PolicySettingType : int { pstDword = 1, pstString = 2 };

namespace qrv_detail {

// All six location bits; turns a location into its row of the tables below.
const unsigned long kAllPolicyLocations = 0x3F;

// The table row of a location; a value that is not a known single location falls
// back to row 0.
inline unsigned long policyLocationIndex(PolicyLocation location)
{
    CQRVFlags allLocations(kAllPolicyLocations);
    unsigned long ulIndex = 0;
    if (!allLocations.getIndex(static_cast<unsigned long>(location), ulIndex) || ulIndex > 5)
        ulIndex = 0;
    return ulIndex;
}

inline HKEY policyLocationRoot(PolicyLocation location)
{
    static const HKEY roots[6] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                  HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    return roots[policyLocationIndex(location)];
}

inline const wchar_t* policyLocationTemplate(PolicyLocation location)
{
    static const wchar_t* const templates[6] = {
        L"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%",
        L"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%",
        L"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%\\User Defaults",
        L"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%",
        L"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%",
        L"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%\\User Defaults"};
    return templates[policyLocationIndex(location)];
}

// Writes (and drops) the record of a setting whose source is not the registry.
inline void notePolicySourceUnsupported(const wchar_t* objectName, const wchar_t* functionName,
                                        const wchar_t* sourceFile, int line) noexcept
{
    qrvNote<CQRVLogException1>(L"Policy source is not supported.", 0, static_cast<int>(RESULT_ERROR_CODE),
                               objectName, functionName, sourceFile, line);
}

// Splits "name=value" into the text before the first "=" and after the last one.
// False unless both parts are present and non-empty.
inline bool splitSubstitution(const CQRVWCharString& szSubstitution, CQRVWCharString& szName,
                              CQRVWCharString& szValue)
{
    if (!szSubstitution.isValid())
        return false;
    CQRVWCharString szEquals(L"=");
    if (!szSubstitution.getSubString(szName, szEquals, 1, pmFromStart, false))
        return false;
    if (!szSubstitution.getSubString(szValue, szEquals, 1, pmFromEnd, false))
        return false;
    return szName.getLength() > 0 && szValue.getLength() > 0;
}

} // namespace qrv_detail

template <typename T>
class CQRVPolicySetting {
public:
    CQRVPolicySetting()
        : m_source(0), m_type(0), m_default(), m_id(0), m_marker(false), m_bCacheValid(false), m_cache()
    {
    }

    CQRVPolicySetting(const CQRVWCharString& szVendorName, const CQRVWCharString& szProductName, int nId,
                      int nSource, const CQRVWCharString& szVersion, const CQRVWCharString& szValueName,
                      const CQRVWCharString& szSubKey, const T& defaultValue, bool bMarker, int nType)
        : m_source(nSource), m_type(nType), m_vendorName(szVendorName), m_productName(szProductName),
          m_version(szVersion), m_valueName(szValueName), m_subKey(szSubKey), m_default(defaultValue),
          m_id(nId), m_marker(bMarker), m_bCacheValid(false), m_cache(defaultValue)
    {
    }

    CQRVPolicySetting(const CQRVPolicySetting& other) = default;

    CQRVPolicySetting& operator=(const CQRVPolicySetting& other)
    {
        QRV_TRACE(L"CQRVPolicySetting", L"operator=");
        if (this != &other) {
            m_source = other.m_source;
            m_type = other.m_type;
            m_vendorName = other.m_vendorName;
            m_productName = other.m_productName;
            m_version = other.m_version;
            m_valueName = other.m_valueName;
            m_subKey = other.m_subKey;
            m_default = other.m_default;
            m_id = other.m_id;
            m_marker = other.m_marker;
            m_bCacheValid = other.m_bCacheValid;
            m_cache = other.m_cache;
        }
        qrvTrace.passFail(true);
        return *this;
    }

    // Every field but the cache takes part.
    bool operator==(const CQRVPolicySetting& other) const
    {
        QRV_TRACE(L"CQRVPolicySetting", L"operator==");
        return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
            return m_id == other.m_id && m_source == other.m_source && m_type == other.m_type &&
                   m_vendorName == other.m_vendorName && m_productName == other.m_productName &&
                   m_version == other.m_version && m_valueName == other.m_valueName &&
                   m_subKey == other.m_subKey && m_default == other.m_default && m_marker == other.m_marker;
        }));
    }

    bool operator!=(const CQRVPolicySetting& other) const
    {
        QRV_TRACE(L"CQRVPolicySetting", L"operator!=");
        return qrvTrace.logical(!(*this == other));
    }

    // Settings order by identifier only.
    bool operator<(const CQRVPolicySetting& other) const
    {
        QRV_TRACE(L"CQRVPolicySetting", L"operator<");
        return qrvTrace.logical(m_id < other.m_id);
    }

    bool operator>(const CQRVPolicySetting& other) const
    {
        QRV_TRACE(L"CQRVPolicySetting", L"operator>");
        return qrvTrace.logical(m_id > other.m_id);
    }

    virtual T& getDefault()
    {
        QRV_TRACE(L"CQRVPolicySetting", L"getDefault");
        qrvTrace.passFail(true);
        return m_default;
    }

    virtual bool getPolicy(PolicyLocation location, T& value, bool bUseCache,
                           const CQRVWCharString& szSubstitution) = 0;

    virtual CQRVWCharString getSubKey()
    {
        QRV_TRACE(L"CQRVPolicySetting", L"getSubKey");
        qrvTrace.passFail(true);
        return m_subKey;
    }

    // The value name, unless an entry "%VALUE_NAME%=<name>" of the list names another.
    virtual CQRVWCharString getValueLocation(CQRVDblList<CQRVObjNode<CQRVWCharString> >& lstSubstitutions)
    {
        QRV_TRACE(L"CQRVPolicySetting", L"getValueLocation");
        CQRVWCharString szResult = m_valueName;
        qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
            CQRVWCharString szMarker(L"%VALUE_NAME%");
            bool bMore = lstSubstitutions.moveFirst();
            while (bMore) {
                CQRVWCharString szEntry;
                if (lstSubstitutions.getCurrent(szEntry)) {
                    CQRVWCharString szName;
                    CQRVWCharString szEquals(L"=");
                    if (szEntry.getSubString(szName, szEquals, 1, pmFromStart, false) && szName == szMarker) {
                        CQRVWCharString szValue;
                        if (szEntry.getSubString(szValue, szEquals, 1, pmFromEnd, false) && szValue.getLength() > 0)
                            szResult = szValue;
                        return true;
                    }
                }
                bMore = lstSubstitutions.moveNext();
            }
            return true;
        }));
        return szResult;
    }

    virtual CQRVWCharString getValueName()
    {
        QRV_TRACE(L"CQRVPolicySetting", L"getValueName");
        qrvTrace.passFail(true);
        return m_valueName;
    }

    virtual void setDefault(const T& defaultValue)
    {
        QRV_TRACE(L"CQRVPolicySetting", L"setDefault");
        m_default = defaultValue;
        qrvTrace.passFail(true);
    }

    virtual bool setPolicy(PolicyLocation location, const T& value, bool bCreate, unsigned long ulOptions,
                           const CQRVWCharString& szSubstitution) = 0;

    virtual void setSubKey(const CQRVWCharString& szSubKey)
    {
        QRV_TRACE(L"CQRVPolicySetting", L"setSubKey");
        m_subKey = szSubKey;
        qrvTrace.passFail(true);
    }

    virtual void setValueName(const CQRVWCharString& szValueName)
    {
        QRV_TRACE(L"CQRVPolicySetting", L"setValueName");
        m_valueName = szValueName;
        qrvTrace.passFail(true);
    }

    // The key path of this setting at a location: the location's template with the
    // vendor and product names filled in, then the sub-key, in which a substitution
    // "name=value" replaces the first occurrence of name. Empty for a source other
    // than the registry.
    CQRVWCharString getValueLocation(PolicyLocation location, const CQRVWCharString& szSubstitution)
    {
        QRV_TRACE(L"CQRVPolicySetting", L"getValueLocation");
        CQRVWCharString szPath;
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(L"CQRVPolicySetting", L"getValueLocation", QRV_HERE);
            qrvTrace.passFail(false);
            return szPath;
        }
        qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
            szPath = qrv_detail::policyLocationTemplate(location);
            if (!szPath.replace(CQRVWCharString(L"%VENDOR_NAME%"), m_vendorName, 1, ssmOccur) ||
                !szPath.replace(CQRVWCharString(L"%PRODUCT_NAME%"), m_productName, 1, ssmOccur))
                return false;
            if (m_subKey.getLength() == 0)
                return true;
            if (!m_subKey.beginsWith(CQRVWCharString(L"\\")))
                szPath += CQRVWCharString(L"\\");
            szPath += m_subKey;
            CQRVWCharString szName;
            CQRVWCharString szValue;
            if (qrv_detail::splitSubstitution(szSubstitution, szName, szValue) &&
                szName != CQRVWCharString(L"%VALUE_NAME%"))
                szPath.replace(szName, szValue, 1, ssmOccur);
            return true;
        }));
        return szPath;
    }

    int getId() const { return m_id; }
    int getSource() const { return m_source; }
    int getType() const { return m_type; }
    bool getMarker() const { return m_marker; }
    bool isCacheValid() const { return m_bCacheValid; }

protected:
    // Settings are held and destroyed by their concrete type, never through this base.
    ~CQRVPolicySetting() = default;

    // The steps both kinds take around their registry read. The cache answers when
    // bUseCache and it is valid; a source other than the registry is recorded (as
    // szClassName's getPolicy, at sourceFile:line) and refused; otherwise
    // read(root, key path, out) reads the location and a value read fills the cache.
    // value is written only on success. The caller's catch handles what read raises.
    template <typename Read>
    bool readPolicy(const wchar_t* szClassName, const wchar_t* sourceFile, int line, PolicyLocation location,
                    T& value, bool bUseCache, const CQRVWCharString& szSubstitution, Read&& read)
    {
        if (bUseCache && m_bCacheValid) {
            value = m_cache;
            return true;
        }
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(szClassName, L"getPolicy", sourceFile, line);
            return false;
        }
        T readValue = T();
        if (!read(qrv_detail::policyLocationRoot(location), getValueLocation(location, szSubstitution), readValue))
            return false;
        value = readValue;
        m_cache = readValue;
        m_bCacheValid = true;
        return true;
    }

    // The write counterpart: refuses a source other than the registry, otherwise
    // write(root, key path) writes the value, which then fills the cache.
    template <typename Write>
    bool writePolicy(const wchar_t* szClassName, const wchar_t* sourceFile, int line, PolicyLocation location,
                     const T& value, const CQRVWCharString& szSubstitution, Write&& write)
    {
        if (m_source != psRegistry) {
            qrv_detail::notePolicySourceUnsupported(szClassName, L"setPolicy", sourceFile, line);
            return false;
        }
        if (!write(qrv_detail::policyLocationRoot(location), getValueLocation(location, szSubstitution)))
            return false;
        m_cache = value;
        m_bCacheValid = true;
        return true;
    }

    int m_source;
    int m_type;
    CQRVWCharString m_vendorName;
    CQRVWCharString m_productName;
    CQRVWCharString m_version;
    CQRVWCharString m_valueName;
    CQRVWCharString m_subKey;
    T m_default;
    int m_id;
    bool m_marker;
    bool m_bCacheValid;
    T m_cache;
};
