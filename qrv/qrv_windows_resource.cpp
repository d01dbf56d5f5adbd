// CQRVWindowsResource: string-table access for the program's own module.
#include "qrv_windows_resource.h"

#include "qrv_protocol.h"

namespace {

const wchar_t kClassName[] = L"CQRVWindowsResource";
const int kTextUnits = 1024;

} // namespace

CQRVWindowsResource::CQRVWindowsResource() : m_hModule(nullptr), m_szLibraryName(), m_bOwnsModule(false)
{
    QRV_TRACE(kClassName, L"CQRVWindowsResource");
    wchar_t szModulePath[kTextUnits];
    szModulePath[0] = L'\0';
    DWORD dwLength = ::GetModuleFileNameW(nullptr, szModulePath, kTextUnits);
    // A path that does not fit is cut short without a terminator on older systems;
    // the program's own module is still the right one then.
    if (dwLength == 0 || dwLength >= static_cast<DWORD>(kTextUnits))
        m_hModule = ::GetModuleHandleW(nullptr);
    else
        m_hModule = ::GetModuleHandleW(szModulePath);
    qrvTrace.passFail(m_hModule != nullptr);
}

CQRVWindowsResource::~CQRVWindowsResource()
{
    QRV_TRACE(kClassName, L"~CQRVWindowsResource");
    if (m_bOwnsModule && m_hModule != nullptr)
        ::FreeLibrary(m_hModule);
    m_hModule = nullptr;
    qrvTrace.passFail(true);
}

bool CQRVWindowsResource::loadString(unsigned int uiStringId, CQRVWCharString& szText)
{
    QRV_TRACE(kClassName, L"loadString");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        wchar_t szBuffer[kTextUnits];
        szBuffer[0] = L'\0';
        if (::LoadStringW(m_hModule, uiStringId, szBuffer, kTextUnits) == 0) {
            const wchar_t* pszLibrary =
                m_szLibraryName.isValid() ? reinterpret_cast<const wchar_t*>(m_szLibraryName.getBuffer()) : nullptr;
            throw CQRVLoadStringException(static_cast<int>(uiStringId), pszLibrary,
                                          static_cast<int>(::GetLastError()), QRV_HERE);
        }
        szText = CQRVWCharString(szBuffer);
        return true;
    }));
}
