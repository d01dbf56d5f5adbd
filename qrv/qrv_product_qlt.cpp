// CQRVProduct_QLT: the suite's locations, version test and policy gate.
#include "qrv_product_qlt.h"

#include "qrv_common_policy.h"
#include "qrv_protocol.h"

namespace {

const wchar_t kClassName[] = L"CQRVProduct_QLT";

// From this major version on, an install counts only when the common policy allows it.
const long kPolicyGatedMajorVersion = 7;

} // namespace

CQRVProduct_QLT::CQRVProduct_QLT() : CQRVProduct(CQRVWCharString(L"Zarvik"), CQRVWCharString(L"Quellant"))
{
    QRV_TRACE(kClassName, L"CQRVProduct_QLT");
    const CQRVWCharString szVersion(L"Version");
    const CQRVWCharString szInstallPath(L"InstallPath");
    bool bAdded = addRegistryInfo(
        new CQRVProductRegistryInfo(CQRVWCharString(L"Software\\Zarvik\\Quellant"), szVersion, szInstallPath));
    bAdded = addRegistryInfo(new CQRVProductRegistryInfo(CQRVWCharString(L"Software\\Dextar Solmira\\Quellara"),
                                                         szVersion, szInstallPath)) &&
             bAdded;
    qrvTrace.passFail(bAdded);
}

CQRVProduct_QLT::~CQRVProduct_QLT()
{
    QRV_TRACE(kClassName, L"~CQRVProduct_QLT");
    qrvTrace.passFail(true);
}

bool CQRVProduct_QLT::isCoreInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer)
{
    QRV_TRACE(kClassName, L"isCoreInstalled");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return testInstalledVersion(lMajorVer, lMinorVer, lBuildVer, lPatchVer);
    }, QRVErrorSource::Errno));
}

bool CQRVProduct_QLT::isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer)
{
    QRV_TRACE(kClassName, L"isInstalled");
    return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
        if (!isCoreInstalled(lMajorVer, lMinorVer, lBuildVer, lPatchVer))
            return false;
        long lInstalled[4] = {0, 0, 0, 0};
        if (!getProductVersion(lInstalled[0], lInstalled[1], lInstalled[2], lInstalled[3]))
            return false;
        if (lInstalled[0] < kPolicyGatedMajorVersion)
            return true;
        // A failed policy read leaves the value 0, which refuses the install.
        unsigned long ulQltInstall = 0;
        CQRVCommonPolicy policy;
        policy.getPolicy(cpQLTInstall, ulQltInstall, false, CQRVWCharString());
        return ulQltInstall == 1;
    }, QRVErrorSource::Errno));
}

bool CQRVProduct_QLT::getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer)
{
    QRV_TRACE(kClassName, L"getProductVersion");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return readProductVersion(lMajorVer, lMinorVer, lBuildVer, lPatchVer);
    }, QRVErrorSource::Errno));
}

bool CQRVProduct_QLT::getProductVersion(CQRVWCharString& szVersion)
{
    QRV_TRACE(kClassName, L"getProductVersion");
    return qrvTrace.passFail(getRegistryItem(riVersion, szVersion));
}

bool CQRVProduct_QLT::getInstallDirectory(CQRVWCharString& szDirectory)
{
    QRV_TRACE(kClassName, L"getInstallDirectory");
    return qrvTrace.passFail(getRegistryItem(riInstallPath, szDirectory));
}

bool CQRVProduct_QLT::getRegistryLocation(CQRVWCharString& szKeyPath)
{
    QRV_TRACE(kClassName, L"getRegistryLocation");
    return qrvTrace.passFail(getRegistryItem(riRegistryLocation, szKeyPath));
}
