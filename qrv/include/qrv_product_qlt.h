// CQRVProduct_QLT: the password-manager suite. From major version 7 on the suite counts
// as installed only when the common policy's "QLTInstall" setting is 1.
#pragma once

#include "qrv_product.h"

class CQRVProduct_QLT : public CQRVProduct {
public:
    CQRVProduct_QLT();
    ~CQRVProduct_QLT();

    bool isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer) override;
    bool getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer) override;
    bool getProductVersion(CQRVWCharString& szVersion) override;

    // The version test alone, without the policy.
    bool isCoreInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer);
    bool getInstallDirectory(CQRVWCharString& szDirectory);
    bool getRegistryLocation(CQRVWCharString& szKeyPath);
};
