// CQRVSystemInfo: SHGetFolderPathW(CSIDL_COMMON_APPDATA) plus the vendor's folder.
#include "qrv_systeminfo.h"

#include <shlobj.h>
#include <cwchar>

#include "internal/qrv_systeminfo_detail.h"
#include "qrv_buffer.h"
#include "qrv_directory.h"
#include "qrv_protocol.h"

namespace qrv_detail {

const wchar_t* qrvVendorName(int nVendor)
{
    static const wchar_t* const kVendorNames[] = { L"Zarvik", L"Solmira" };
    const int nCount = static_cast<int>(sizeof(kVendorNames) / sizeof(kVendorNames[0]));
    return (nVendor >= 0 && nVendor < nCount) ? kVendorNames[nVendor] : nullptr;
}

const wchar_t* qrvShellFolderReason(HRESULT hr, wchar_t* pBuffer, size_t cchBuffer)
{
    if (pBuffer == nullptr || cchBuffer == 0)
        return pBuffer;
    const wchar_t* pFixed = nullptr;
    if (hr == E_INVALIDARG)
        pFixed = L"Shell folder does not exist.";
    else if (hr == E_FAIL || hr == 1)
        pFixed = L"Path does not exist.";
    if (pFixed != nullptr)
        std::swprintf(pBuffer, cchBuffer, L"%ls", pFixed);
    else
        std::swprintf(pBuffer, cchBuffer, L"Shell folder error %d.", static_cast<int>(hr));
    return pBuffer;
}

} // namespace qrv_detail

CQRVSystemInfo::CQRVSystemInfo(int nVendor)
    : m_nVendor(nVendor)
{
    QRV_TRACE(L"CQRVSystemInfo", L"Constructor");
    qrvTrace.passFail(true);
}

bool CQRVSystemInfo::getStoragePath(CQRVWCharString& szPath)
{
    QRV_TRACE(L"CQRVSystemInfo", L"getStoragePath");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        const wchar_t* pVendor = qrv_detail::qrvVendorName(m_nVendor);
        if (pVendor == nullptr)
            throw CQRVBadArgException(L"m_nVendor", L"vendor index is outside the vendor-name table", QRV_HERE);

        CQRVBuffer<unsigned short> folder(MAX_PATH + 1);
        wchar_t* pFolder = reinterpret_cast<wchar_t*>(folder.m_pBuffer);
        const HRESULT hr = ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, pFolder);
        if (FAILED(hr)) {
            wchar_t szReason[64];
            throw CQRVSIgetStoragePathException(L"SHGetFolderPath( CSIDL_COMMON_APPDATA ) failed",
                                                qrv_detail::qrvShellFolderReason(hr, szReason, 64),
                                                static_cast<int>(hr), L"CQRVSystemInfo", L"getStoragePath",
                                                QRV_HERE);
        }

        CQRVWCharString szStorage(pFolder);
        szStorage += CQRVWCharString(L"\\");
        szStorage += CQRVWCharString(pVendor);
        szStorage += CQRVWCharString(L"\\");

        // One level only: the application-data folder itself is the system's. A
        // failed creation does not change the answer.
        CQRVDirectory directory(szStorage);
        if (!directory.isValidDirectory())
            ::CreateDirectoryW(reinterpret_cast<const wchar_t*>(szStorage.getBuffer()), nullptr);

        szPath = szStorage;
        return true;
    }));
}
