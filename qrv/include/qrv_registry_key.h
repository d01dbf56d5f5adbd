// CQRVRegistryKey: one key of the Windows registry, named by a predefined root and a
// path below it, and every operation on that key.
//
// The key is opened on demand and closed again before each operation returns; only
// enumSubKeys and getSubKeyNames leave it open (the next operation or the destructor
// closes it). No operation lets a failure escape: it is logged and the result is
// false, with the registry's code (or the one named below) in GetLastError(). Only
// the constructor raises (CQRVRegKeyInitException).
//
// The key is also the base of every typed value (qrv_registry_value.h), and carries
// the bulk collectors that gather all values of one type from the key as plain
// name/data records (they are implemented beside the value kinds).
#pragma once

#include <windows.h>

#include "qrv_buffer.h"
#include "qrv_dbllist.h"
#include "qrv_wchar_string.h"

// One value as the bulk query returns it: its name, its raw data and its registry type.
class CQRVRegistryValent {
public:
    CQRVRegistryValent();
    // Copies the name and exactly ve_valuelen bytes of data; a null entry gives an
    // empty name, empty data and type 0.
    explicit CQRVRegistryValent(const VALENTW* pValent);

    bool operator==(const CQRVRegistryValent& other) const;
    bool operator!=(const CQRVRegistryValent& other) const { return !(*this == other); }
    // Valents have no order.
    bool operator<(const CQRVRegistryValent&) const { return false; }
    bool operator>(const CQRVRegistryValent&) const { return false; }

    CQRVWCharString m_szValueName;
    CQRVBuffer<unsigned char> m_bufData;
    DWORD m_dwType;
};

typedef CQRVDblList<CQRVObjNode<CQRVWCharString>> CQRVRegStringList;
typedef CQRVDblList<CQRVObjNode<CQRVRegistryValent>> CQRVRegistryValentList;

// The records of the bulk collectors. Equal when every field is equal; no order.
class CQRVRegistryStringValue {
public:
    CQRVRegistryStringValue() {}
    CQRVRegistryStringValue(const CQRVWCharString& szName, const CQRVWCharString& szValue)
        : m_szName(szName), m_szValue(szValue)
    {
    }
    bool operator==(const CQRVRegistryStringValue& o) const
    {
        return m_szName == o.m_szName && m_szValue == o.m_szValue;
    }
    bool operator!=(const CQRVRegistryStringValue& o) const { return !(*this == o); }
    bool operator<(const CQRVRegistryStringValue&) const { return false; }
    bool operator>(const CQRVRegistryStringValue&) const { return false; }

    CQRVWCharString m_szName;
    CQRVWCharString m_szValue;
};

class CQRVRegistryDwordValue {
public:
    CQRVRegistryDwordValue() : m_dwValue(0) {}
    CQRVRegistryDwordValue(const CQRVWCharString& szName, DWORD dwValue)
        : m_szName(szName), m_dwValue(dwValue)
    {
    }
    bool operator==(const CQRVRegistryDwordValue& o) const
    {
        return m_szName == o.m_szName && m_dwValue == o.m_dwValue;
    }
    bool operator!=(const CQRVRegistryDwordValue& o) const { return !(*this == o); }
    bool operator<(const CQRVRegistryDwordValue&) const { return false; }
    bool operator>(const CQRVRegistryDwordValue&) const { return false; }

    CQRVWCharString m_szName;
    DWORD m_dwValue;
};

class CQRVRegistryMultiStringValue {
public:
    CQRVRegistryMultiStringValue() {}
    CQRVRegistryMultiStringValue(const CQRVRegistryMultiStringValue& o)
        : m_szName(o.m_szName)
    {
        m_lstStrings.copyFrom(o.m_lstStrings);
    }
    CQRVRegistryMultiStringValue& operator=(const CQRVRegistryMultiStringValue& o)
    {
        if (this != &o) {
            m_szName = o.m_szName;
            m_lstStrings.copyFrom(o.m_lstStrings);
        }
        return *this;
    }
    // Equal when the names match and the lists hold the same strings with the same
    // tags in the same order.
    bool operator==(const CQRVRegistryMultiStringValue& o) const
    {
        return m_szName == o.m_szName && m_lstStrings == o.m_lstStrings;
    }
    bool operator!=(const CQRVRegistryMultiStringValue& o) const { return !(*this == o); }
    bool operator<(const CQRVRegistryMultiStringValue&) const { return false; }
    bool operator>(const CQRVRegistryMultiStringValue&) const { return false; }

    CQRVWCharString m_szName;
    CQRVRegStringList m_lstStrings;
};

class CQRVRegistryBinaryValue {
public:
    CQRVRegistryBinaryValue() {}
    CQRVRegistryBinaryValue(const CQRVWCharString& szName, const CQRVBuffer<unsigned char>& bufData)
        : m_szName(szName), m_bufData(bufData)
    {
    }
    bool operator==(const CQRVRegistryBinaryValue& o) const;
    bool operator!=(const CQRVRegistryBinaryValue& o) const { return !(*this == o); }
    bool operator<(const CQRVRegistryBinaryValue&) const { return false; }
    bool operator>(const CQRVRegistryBinaryValue&) const { return false; }

    CQRVWCharString m_szName;
    CQRVBuffer<unsigned char> m_bufData;
};

typedef CQRVDblList<CQRVObjNode<CQRVRegistryStringValue>> CQRVRegistryStringValueList;
typedef CQRVDblList<CQRVObjNode<CQRVRegistryDwordValue>> CQRVRegistryDwordValueList;
typedef CQRVDblList<CQRVObjNode<CQRVRegistryMultiStringValue>> CQRVRegistryMultiStringValueList;
typedef CQRVDblList<CQRVObjNode<CQRVRegistryBinaryValue>> CQRVRegistryBinaryValueList;

// Byte-wise equality of two byte buffers (counts and contents).
bool qrvSameBytes(const CQRVBuffer<unsigned char>& a, const CQRVBuffer<unsigned char>& b);

class CQRVRegistryKey {
public:
    // Stores the arguments; touches no registry. Raises CQRVRegKeyInitException when
    // the path cannot be copied.
    CQRVRegistryKey(HKEY hRootKey, const CQRVWCharString& szKeyPath, REGSAM samDesired,
                    bool bCreate = false, DWORD dwOptions = 0);
    // A copy names the same key but never shares the handle.
    CQRVRegistryKey(const CQRVRegistryKey& other);
    ~CQRVRegistryKey();

    // Closes this key if open, then takes the other's root, access, options, create flag
    // and path; the result is closed.
    CQRVRegistryKey& operator=(const CQRVRegistryKey& other);

    // RegOpenKeyExW; a missing key is created first when m_bCreate is set. Opening an
    // open key logs CQRVRegKeyAlreadyOpenWarning and reopens it. A failed open writes
    // no record of its own; GetLastError() gives the registry's code.
    bool open();
    // RegCreateKeyExW, then closes the new handle at once: the key exists afterwards.
    bool create();
    // RegCloseKey; a closed key gives true. A failure leaves the key open.
    bool close();

    // exportKey's format for the registry text file; any other format writes a hive
    // file (RegSaveKeyW). The number 8 stays valid.
    static constexpr DWORD kExportTextFile = 8;
    // importKey's flags for the registry text file; any other value is passed to
    // RegRestoreKeyW as its flags. The number 16 stays valid.
    static constexpr DWORD kImportTextFile = 16;

    virtual bool canOpen();
    // Key export and import (text file or hive); implemented with the registry file.
    // Exporting a key that cannot be read (missing, no access) fails with a record and
    // the registry's code in GetLastError(), and touches no file.
    virtual bool exportKey(const CQRVWCharString& szExportFileName, DWORD dwFormat, bool bOverwrite);
    virtual bool importKey(const CQRVWCharString& szImportFileName, DWORD dwFlags);

    // RegQueryInfoKeyW: longest sub-key name and value name (characters, without the
    // terminator) and longest value data (bytes).
    bool getMaxSubKeyLength(DWORD& dwLength);
    bool getMaxValueNameLength(DWORD& dwLength);
    bool getMaxValueDataLength(DWORD& dwLength);

    // RegEnumKeyExW at dwIndex: outKey becomes that sub-key (same root, access and
    // options, no create flag). Past the last sub-key: false without a record. Leaves
    // this key open.
    bool enumSubKeys(CQRVRegistryKey& outKey, DWORD dwIndex);
    // The names of all sub-keys, tagged 1, 2, 3, ...; true also when there are none.
    // Leaves this key open.
    bool getSubKeyNames(CQRVRegStringList& lstNames);
    // The names of all named values (the unnamed default value is skipped), tag 0.
    // False when the key has no named value.
    bool enumValueNames(CQRVRegStringList& lstNames);
    // Every named value in one RegQueryMultipleValuesW call, in enumeration order,
    // tagged with their index. False when the key has no named value.
    bool queryMultipleValues(CQRVRegistryValentList& lstValues);

    // The bulk collectors: every value of one registry type, tagged 0, 1, 2, ...
    // False when the bulk query fails (for instance, no named values at all).
    bool getStringValues(CQRVRegistryStringValueList& lstValues);
    bool getExpandStringValues(CQRVRegistryStringValueList& lstValues, bool bExpand);
    bool getDwordValues(CQRVRegistryDwordValueList& lstValues);
    bool getMultiStringValues(CQRVRegistryMultiStringValueList& lstValues);
    bool getBinaryValues(CQRVRegistryBinaryValueList& lstValues);

    // Closes the key if open and replaces the access mask (for instance to add
    // KEY_WOW64_32KEY and read the other registry view).
    bool setAccess(REGSAM samDesired);
    // The whole path, or only its last component.
    bool getKeyName(CQRVWCharString& szOut, bool bFullPath) const;

    bool isOpen() const { return m_bOpen; }

    CQRVWCharString m_szKeyPath;
    REGSAM m_samDesired;
    DWORD m_dwOptions;
    HKEY m_hKey;
    bool m_bCreate;
    bool m_bOpen;
    HKEY m_hRootKey;

private:
    // RegQueryInfoKeyW for one of the three counts.
    enum QueryInfoItem { qiMaxSubKeyLen, qiMaxValueNameLen, qiMaxValueLen };
    bool queryInfo(QueryInfoItem item, DWORD& dwValue);
    // The raw RegOpenKeyExW; sets the handle and m_bOpen on success.
    LONG openHandle();
};
