// CQRVProduct_RSX: the backup product's locations and version test.
#include "qrv_product_rsx.h"

#include "qrv_protocol.h"

namespace {
const wchar_t kClassName[] = L"CQRVProduct_RSX";
}

CQRVProduct_RSX::CQRVProduct_RSX() : CQRVProduct(CQRVWCharString(L"Zarvik"), CQRVWCharString(L"Restorix"))
{
    QRV_TRACE(kClassName, L"CQRVProduct_RSX");
    const CQRVWCharString szVersion(L"Version");
    const CQRVWCharString szInstallPath(L"InstallPath");
    const CQRVWCharString szPdaInstalled(L"PDAINSTALLED");
    bool bAdded = addRegistryInfo(new CQRVProductRegistryInfo_RSX(CQRVWCharString(L"Software\\Zarvik\\Restorix"),
                                                                  szVersion, szInstallPath, szPdaInstalled));
    bAdded = addRegistryInfo(new CQRVProductRegistryInfo_RSX(CQRVWCharString(L"Software\\Dextar Solmira\\Restorix"),
                                                             szVersion, szInstallPath, szPdaInstalled)) &&
             bAdded;
    qrvTrace.passFail(bAdded);
}

CQRVProduct_RSX::~CQRVProduct_RSX()
{
    QRV_TRACE(kClassName, L"~CQRVProduct_RSX");
    qrvTrace.passFail(true);
}

bool CQRVProduct_RSX::isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer)
{
    QRV_TRACE(kClassName, L"isInstalled");
    return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
        return testInstalledVersion(lMajorVer, lMinorVer, lBuildVer, lPatchVer);
    }, QRVErrorSource::Errno));
}

bool CQRVProduct_RSX::getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer)
{
    QRV_TRACE(kClassName, L"getProductVersion");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return readProductVersion(lMajorVer, lMinorVer, lBuildVer, lPatchVer);
    }, QRVErrorSource::Errno));
}

bool CQRVProduct_RSX::getProductVersion(CQRVWCharString& szVersion)
{
    QRV_TRACE(kClassName, L"getProductVersion");
    return qrvTrace.passFail(getRegistryItem(riVersion, szVersion));
}
