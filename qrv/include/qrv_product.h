// CQRVProduct: base of the vendor's installed products. A product knows its registry
// locations (current brand first, then legacy) and answers from the registry alone
// whether it is installed, in which version, where, and under which key. Versions are
// four signed numbers (major, minor, build, patch); QRV_DONT_CARE in a requested
// version accepts any value from that position on.
//
// No operation lets a failure escape; each logs it and answers false. Products are
// built on the stack by their concrete type.
#pragma once

#include "qrv_dbllist.h"
#include "qrv_product_registryinfo.h"
#include "qrv_wchar_string.h"

const long QRV_DONT_CARE = -1;

// What getRegistryItem reads from the first location that has it.
enum QRVRegistryItem : int {
    riRegistryLocation = 1, // the location's key path (where the install path can be read)
    riVersion = 2,          // the "Version" text
    riInstallPath = 3       // the "InstallPath" text
};

class CQRVProduct {
public:
    CQRVProduct(const CQRVWCharString& szVendorName, const CQRVWCharString& szProductName);
    CQRVProduct(const CQRVProduct&) = delete;
    CQRVProduct& operator=(const CQRVProduct&) = delete;

    virtual bool isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer) = 0;
    virtual bool getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer) = 0;
    virtual bool getProductVersion(CQRVWCharString& szVersion) = 0;

    // True when the four requested numbers obey the QRV_DONT_CARE rule: once one is
    // QRV_DONT_CARE, all later ones are too.
    bool checkParms(const long* lVersions);

    // True when the installed version is at least the requested one (field by field,
    // signed; QRV_DONT_CARE is below every real value).
    bool isVersionInstalled(const long* lRequested, const long* lInstalled);

    // Splits "7.0.1234.5" into its four numbers. Fields that are missing or not
    // numbers leave their output untouched.
    bool convertVersion(const CQRVWCharString& szVersion, long& lMajorVer, long& lMinorVer, long& lBuildVer,
                        long& lPatchVer);

    // Reads one item from the product's locations in order, retrying each location
    // once in the other registry view. szItem is written only on success.
    bool getRegistryItem(int nItem, CQRVWCharString& szItem);

    const CQRVWCharString& getVendorName() const { return m_szVendorName; }
    const CQRVWCharString& getProductName() const { return m_szProductName; }

protected:
    // Products are destroyed by their concrete type, never through this base.
    ~CQRVProduct();

    // Reads the version text and converts it, missing fields counting 0; the outputs
    // are written only on success. Not traced: the products' getProductVersion is.
    bool readProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer);

    // The version test of the products' isInstalled (or the suite's isCoreInstalled):
    // a request that breaks the QRV_DONT_CARE rule raises CQRVBadArgException, which
    // the caller's catch logs; an unreadable version gives false; otherwise the
    // installed version is compared with the request. Not traced: the callers are.
    bool testInstalledVersion(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer);

    // Appends a location (the list owns it from here on).
    bool addRegistryInfo(CQRVProductRegistryInfo* pInfo);

    CQRVWCharString m_szVendorName;
    CQRVWCharString m_szProductName;
    CQRVDblList<CQRVPtrNode<CQRVProductRegistryInfo> > m_lstRegistryInfo;
};
