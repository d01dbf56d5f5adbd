// CQRVProductRegistryInfo and CQRVProductRegistryInfo_RSX: product registry locations.
#include "qrv_product_registryinfo.h"

#include "qrv_protocol.h"

namespace {
const wchar_t kClassName[] = L"CQRVProductRegistryInfo";
const wchar_t kRsxClassName[] = L"CQRVProductRegistryInfo_RSX";
}

CQRVProductRegistryInfo::CQRVProductRegistryInfo(const CQRVWCharString& szKeyPath,
                                                 const CQRVWCharString& szVersionValueName,
                                                 const CQRVWCharString& szInstallPathValueName)
    : m_szKeyPath(szKeyPath), m_szVersionValueName(szVersionValueName), m_szInstallPathValueName(szInstallPathValueName)
{
    QRV_TRACE(kClassName, L"CQRVProductRegistryInfo");
    qrvTrace.passFail(true);
}

CQRVProductRegistryInfo::~CQRVProductRegistryInfo()
{
    QRV_TRACE(kClassName, L"~CQRVProductRegistryInfo");
    qrvTrace.passFail(true);
}

CQRVProductRegistryInfo& CQRVProductRegistryInfo::operator=(const CQRVProductRegistryInfo& other)
{
    QRV_TRACE(kClassName, L"operator=");
    if (this != &other) {
        m_szKeyPath = other.m_szKeyPath;
        m_szVersionValueName = other.m_szVersionValueName;
        m_szInstallPathValueName = other.m_szInstallPathValueName;
    }
    qrvTrace.passFail(true);
    return *this;
}

CQRVProductRegistryInfo& CQRVProductRegistryInfo::operator=(const CQRVProductRegistryInfo* pOther)
{
    QRV_TRACE(kClassName, L"operator=");
    if (pOther != nullptr && pOther != this) {
        m_szKeyPath = pOther->m_szKeyPath;
        m_szVersionValueName = pOther->m_szVersionValueName;
        m_szInstallPathValueName = pOther->m_szInstallPathValueName;
    }
    qrvTrace.passFail(pOther != nullptr);
    return *this;
}

bool CQRVProductRegistryInfo::operator==(const CQRVProductRegistryInfo& other) const
{
    QRV_TRACE(kClassName, L"operator==");
    return qrvTrace.logical(m_szInstallPathValueName == other.m_szInstallPathValueName &&
                            m_szKeyPath == other.m_szKeyPath && m_szVersionValueName == other.m_szVersionValueName);
}

bool CQRVProductRegistryInfo::operator!=(const CQRVProductRegistryInfo& other) const
{
    QRV_TRACE(kClassName, L"operator!=");
    return qrvTrace.logical(!(*this == other));
}

CQRVProductRegistryInfo_RSX::CQRVProductRegistryInfo_RSX(const CQRVWCharString& szKeyPath,
                                                         const CQRVWCharString& szVersionValueName,
                                                         const CQRVWCharString& szInstallPathValueName,
                                                         const CQRVWCharString& szPdaInstalledValueName)
    : CQRVProductRegistryInfo(szKeyPath, szVersionValueName, szInstallPathValueName),
      m_szPdaInstalledValueName(szPdaInstalledValueName)
{
    QRV_TRACE(kRsxClassName, L"CQRVProductRegistryInfo_RSX");
    qrvTrace.passFail(true);
}

CQRVProductRegistryInfo_RSX::~CQRVProductRegistryInfo_RSX()
{
    QRV_TRACE(kRsxClassName, L"~CQRVProductRegistryInfo_RSX");
    qrvTrace.passFail(true);
}
