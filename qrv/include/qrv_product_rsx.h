// CQRVProduct_RSX: the vendor's backup-and-recovery product.
#pragma once

#include "qrv_product.h"

class CQRVProduct_RSX : public CQRVProduct {
public:
    CQRVProduct_RSX();
    ~CQRVProduct_RSX();

    bool isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer) override;
    bool getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer) override;
    bool getProductVersion(CQRVWCharString& szVersion) override;
};
