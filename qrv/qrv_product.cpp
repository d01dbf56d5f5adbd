// CQRVProduct: registry locations, version parsing and comparison shared by products.
#include "qrv_product.h"

#include <windows.h>

#include <cwchar>

#include "qrv_protocol.h"
#include "qrv_registry_string.h"
#include "qrv_windows_os_info.h"

namespace {

const wchar_t kClassName[] = L"CQRVProduct";

// Every product operation reports foreign failures with the C runtime's errno.
template <typename Body>
bool absorb(const wchar_t* sourceFile, int line, Body&& body)
{
    return qrvAbsorb(false, sourceFile, line, body, QRVErrorSource::Errno);
}

} // namespace

CQRVProduct::CQRVProduct(const CQRVWCharString& szVendorName, const CQRVWCharString& szProductName)
    : m_szVendorName(szVendorName), m_szProductName(szProductName)
{
    QRV_TRACE(kClassName, L"CQRVProduct");
    qrvTrace.passFail(true);
}

CQRVProduct::~CQRVProduct()
{
    QRV_TRACE(kClassName, L"~CQRVProduct");
    qrvTrace.passFail(m_lstRegistryInfo.clear());
}

bool CQRVProduct::addRegistryInfo(CQRVProductRegistryInfo* pInfo)
{
    if (!m_lstRegistryInfo.add(pInfo)) {
        delete pInfo;
        return false;
    }
    return true;
}

bool CQRVProduct::checkParms(const long* lVersions)
{
    QRV_TRACE(kClassName, L"checkParms");
    return qrvTrace.passFail(absorb(QRV_HERE, [&] {
        if (lVersions == nullptr)
            throw CQRVBadArgException(L"lVersions", L"Cannot have NULL value", QRV_HERE);
        for (int i = 0; i < 3; ++i) {
            if (lVersions[i] != QRV_DONT_CARE)
                continue;
            for (int j = i + 1; j < 4; ++j) {
                if (lVersions[j] != QRV_DONT_CARE) {
                    wchar_t szArgName[32];
                    swprintf(szArgName, sizeof(szArgName) / sizeof(szArgName[0]), L"lVersions[%d]", j);
                    throw CQRVBadArgException(szArgName, L"Cannot be real value, QRV_DONT_CAREs prior", QRV_HERE);
                }
            }
        }
        return true;
    }));
}

bool CQRVProduct::isVersionInstalled(const long* lRequested, const long* lInstalled)
{
    QRV_TRACE(kClassName, L"isVersionInstalled");
    bool bInstalled = absorb(QRV_HERE, [&] {
        if (lRequested == nullptr)
            throw CQRVBadArgException(L"lRequested", L"Cannot have NULL value", QRV_HERE);
        if (lInstalled == nullptr)
            throw CQRVBadArgException(L"lInstalled", L"Cannot have NULL value", QRV_HERE);
        for (int i = 0; i < 4; ++i) {
            if (lRequested[i] < lInstalled[i])
                return true;
            if (lRequested[i] > lInstalled[i])
                return false;
        }
        return true;
    });
    qrvTrace.passFail(true);
    return bInstalled;
}

bool CQRVProduct::convertVersion(const CQRVWCharString& szVersion, long& lMajorVer, long& lMinorVer,
                                 long& lBuildVer, long& lPatchVer)
{
    QRV_TRACE(kClassName, L"convertVersion");
    return qrvTrace.passFail(absorb(QRV_HERE, [&] {
        long* outputs[4] = {&lMajorVer, &lMinorVer, &lBuildVer, &lPatchVer};
        CQRVWCharString szDot(L".");
        for (unsigned long n = 1; n <= 4; ++n) {
            CQRVWCharString szField;
            if (!szVersion.getField(szField, szDot, n, fmSeparated, CQRVFlags(0), CQRVFlags(0)))
                continue;
            unsigned long ulValue = 0;
            if (szField.toNumber(ulValue, nsDec))
                *outputs[n - 1] = static_cast<long>(ulValue);
        }
        return true;
    }));
}

bool CQRVProduct::getRegistryItem(int nItem, CQRVWCharString& szItem)
{
    QRV_TRACE(kClassName, L"getRegistryItem");
    return qrvTrace.passFail(absorb(QRV_HERE, [&] {
        if (nItem != riRegistryLocation && nItem != riVersion && nItem != riInstallPath)
            throw CQRVBadArgException(L"nItem", L"Must be 1, 2 or 3", QRV_HERE);

        int nPlatform = CQRVWindowsOSInfo().getPlatform();
        // A 64-bit system keeps a 32-bit install's keys in the other view, and the
        // other way round; one more read there covers both. The other view is the one
        // this process does not see by default: the 32-bit view for a 64-bit process,
        // the 64-bit view for a 32-bit one (WOW64, which the platform reports as 64-bit
        // too). A 32-bit system has one view and ignores KEY_WOW64_64KEY.
        REGSAM samOtherView = 0;
        if (nPlatform == 2)
            samOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        else if (nPlatform == 1)
            samOtherView = KEY_WOW64_64KEY;

        bool bMore = m_lstRegistryInfo.moveFirst();
        while (bMore) {
            CQRVProductRegistryInfo* pInfo = nullptr;
            if (m_lstRegistryInfo.getCurrentPointer(pInfo) && pInfo != nullptr) {
                const CQRVWCharString& szValueName =
                    nItem == riVersion ? pInfo->getVersionValueName() : pInfo->getInstallPathValueName();
                CQRVRegistryString value(HKEY_LOCAL_MACHINE, pInfo->getKeyPath(), szValueName, KEY_READ, false, 0);
                CQRVWCharString szRead;
                bool bRead = value.getValue(szRead, false);
                if (!bRead && samOtherView != 0) {
                    value.setAccess(KEY_READ | samOtherView);
                    bRead = value.getValue(szRead, false);
                }
                if (bRead) {
                    szItem = nItem == riRegistryLocation ? pInfo->getKeyPath() : szRead;
                    return true;
                }
            }
            bMore = m_lstRegistryInfo.moveNext();
        }
        return false;
    }));
}

bool CQRVProduct::readProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer)
{
    CQRVWCharString szVersion;
    if (!getProductVersion(szVersion))
        return false;
    long lVersion[4] = {0, 0, 0, 0};
    if (!convertVersion(szVersion, lVersion[0], lVersion[1], lVersion[2], lVersion[3]))
        return false;
    lMajorVer = lVersion[0];
    lMinorVer = lVersion[1];
    lBuildVer = lVersion[2];
    lPatchVer = lVersion[3];
    return true;
}

bool CQRVProduct::testInstalledVersion(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer)
{
    long lRequested[4] = {lMajorVer, lMinorVer, lBuildVer, lPatchVer};
    if (!checkParms(lRequested))
        throw CQRVBadArgException(L"lMinorVer, lBuildVer, or lPatchVer", L"Cannot have value after QRV_DONT_CARE",
                                  QRV_HERE);
    long lInstalled[4] = {0, 0, 0, 0};
    if (!getProductVersion(lInstalled[0], lInstalled[1], lInstalled[2], lInstalled[3]))
        return false;
    return isVersionInstalled(lRequested, lInstalled);
}
