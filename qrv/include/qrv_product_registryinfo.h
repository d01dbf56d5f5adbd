// CQRVProductRegistryInfo: one registry location of a product below
// HKEY_LOCAL_MACHINE: the key path and the names of its "Version" and "InstallPath"
// values. CQRVProductRegistryInfo_RSX also names a further value that is stored for
// the backup product and read by no operation here. Records live on the heap, owned
// by a product's list, and are deleted through the base.
#pragma once

#include "qrv_wchar_string.h"

class CQRVProductRegistryInfo {
public:
    CQRVProductRegistryInfo(const CQRVWCharString& szKeyPath, const CQRVWCharString& szVersionValueName,
                            const CQRVWCharString& szInstallPathValueName);
    CQRVProductRegistryInfo(const CQRVProductRegistryInfo& other) = default;
    virtual ~CQRVProductRegistryInfo();

    // Both copy the three strings; a null record changes nothing.
    virtual CQRVProductRegistryInfo& operator=(const CQRVProductRegistryInfo& other);
    virtual CQRVProductRegistryInfo& operator=(const CQRVProductRegistryInfo* pOther);

    // Equal when install-path value name, key path and version value name match.
    bool operator==(const CQRVProductRegistryInfo& other) const;
    bool operator!=(const CQRVProductRegistryInfo& other) const;
    // Records have no order.
    bool operator<(const CQRVProductRegistryInfo&) const { return false; }
    bool operator>(const CQRVProductRegistryInfo&) const { return false; }

    const CQRVWCharString& getKeyPath() const { return m_szKeyPath; }
    const CQRVWCharString& getVersionValueName() const { return m_szVersionValueName; }
    const CQRVWCharString& getInstallPathValueName() const { return m_szInstallPathValueName; }

private:
    CQRVWCharString m_szKeyPath;
    CQRVWCharString m_szVersionValueName;
    CQRVWCharString m_szInstallPathValueName;
};

class CQRVProductRegistryInfo_RSX : public CQRVProductRegistryInfo {
public:
    CQRVProductRegistryInfo_RSX(const CQRVWCharString& szKeyPath, const CQRVWCharString& szVersionValueName,
                                const CQRVWCharString& szInstallPathValueName,
                                const CQRVWCharString& szPdaInstalledValueName);
    CQRVProductRegistryInfo_RSX(const CQRVProductRegistryInfo_RSX& other) = default;
    CQRVProductRegistryInfo_RSX& operator=(const CQRVProductRegistryInfo_RSX& other) = default;
    ~CQRVProductRegistryInfo_RSX() override;

    using CQRVProductRegistryInfo::operator=;

    const CQRVWCharString& getPdaInstalledValueName() const { return m_szPdaInstalledValueName; }

private:
    CQRVWCharString m_szPdaInstalledValueName;
};
