// CQRVWindowsOSInfo: version, service pack and feature snapshot of the running system.
#include "qrv_windows_os_info.h"

#include <windows.h>

#include "internal/qrv_system_library.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_environment_variable.h"
#include "qrv_protocol.h"
#include "qrv_registry_dword.h"
#include "qrv_wchar_string.h"

namespace {

const wchar_t kClassName[] = L"CQRVWindowsOSInfo";

// The shlwapi export behind ordinal 437: one feature code in, nonzero when present.
typedef BOOL(WINAPI* OSQueryFunction)(DWORD);

// The reference loadShlwapi keeps, published once; a thread that loses the race frees
// its own (no function-local static: MSVC guards those with implicit thread storage).
HMODULE g_hKeptShlwapi = nullptr;

// Loads the system folder's shlwapi.dll (never one planted beside the program or in
// the current folder) for one query. The process's first load keeps a reference that
// is never freed, so each query's load and free only count references: mapping the DLL
// and its dependencies anew for every query costs a millisecond or more, and a patch
// run asks several times.
HMODULE loadShlwapi()
{
    if (!*static_cast<HMODULE volatile*>(&g_hKeptShlwapi)) {
        const HMODULE hKept = qrv_detail::loadSystemLibrary(L"shlwapi.dll");
        if (hKept && ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_hKeptShlwapi), hKept,
                                                         nullptr) != nullptr)
            ::FreeLibrary(hKept);
    }
    return qrv_detail::loadSystemLibrary(L"shlwapi.dll");
}

} // namespace

CQRVWindowsOSInfo::CQRVWindowsOSInfo()
    : m_bFeature18(false), m_bFeature37(false), m_bPE(false), m_ulServicePack(0), m_dVersion(0.0)
{
    QRV_TRACE(kClassName, L"CQRVWindowsOSInfo");

    m_bPE = performPECheck();

    bool bAnswer = false;
    if (performOSQueryFunction(18, bAnswer)) {
        m_bFeature18 = bAnswer;
        bAnswer = false;
        if (performOSQueryFunction(37, bAnswer))
            m_bFeature37 = bAnswer;
    }

    // "CSDVersion" holds the service pack in its second byte (0x0300 is SP3).
    m_ulServicePack = qrvAbsorb(0UL, QRV_HERE, [&] {
        CQRVRegistryDword csdVersion(HKEY_LOCAL_MACHINE, CQRVWCharString(L"SYSTEM\\CurrentControlSet\\Control\\Windows"),
                                     CQRVWCharString(L"CSDVersion"), KEY_READ, false, 0);
        unsigned long ulValue = 0;
        return csdVersion.getValue(ulValue, false) ? (ulValue >> 8) : 0UL;
    });

    // The extended record first; systems that only know the plain record refuse its
    // size, so ask again with that one.
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
            throw CQRVWindowsOSInfoInitNeededException(QRV_HERE);
    }
    m_dVersion = static_cast<double>(info.dwMajorVersion) + static_cast<double>(info.dwMinorVersion) / 10.0;

    qrvTrace.passFail(true);
}

CQRVWindowsOSInfo::~CQRVWindowsOSInfo()
{
    QRV_TRACE(kClassName, L"~CQRVWindowsOSInfo");
    qrvTrace.passFail(true);
}

int CQRVWindowsOSInfo::getPlatform()
{
    QRV_TRACE(kClassName, L"getPlatform");
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof(info));
    ::GetNativeSystemInfo(&info);
    qrvTrace.passFail(true);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_IA64:
    case PROCESSOR_ARCHITECTURE_AMD64:
    case PROCESSOR_ARCHITECTURE_IA32_ON_WIN64:
        return 2;
    default:
        return 1;
    }
}

bool CQRVWindowsOSInfo::isXP()
{
    QRV_TRACE(kClassName, L"isXP");
    return qrvTrace.logical(m_dVersion >= 5.1 && m_dVersion < 6.0);
}

bool CQRVWindowsOSInfo::isVista()
{
    QRV_TRACE(kClassName, L"isVista");
    return qrvTrace.logical(m_dVersion == 6.0);
}

bool CQRVWindowsOSInfo::performOSQueryFunction(unsigned long ulCode, bool& bAnswer)
{
    QRV_TRACE(kClassName, L"performOSQueryFunction");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        qrv_detail::UniqueLibrary shlwapi(loadShlwapi());
        if (!shlwapi.valid())
            return false;
        FARPROC pProc = ::GetProcAddress(shlwapi.get(), MAKEINTRESOURCEA(437));
        if (pProc == nullptr)
            return false;
        OSQueryFunction pQuery = reinterpret_cast<OSQueryFunction>(reinterpret_cast<void*>(pProc));
        bAnswer = pQuery(ulCode) != 0;
        return true;
    }));
}

bool CQRVWindowsOSInfo::performPECheck()
{
    QRV_TRACE(kClassName, L"performPECheck");
    return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
        CQRVEnvironmentVariable drive(CQRVWCharString(L"QRVDrive"));
        CQRVWCharString szValue;
        return drive.getValue(szValue) && szValue.getLength() > 0;
    }));
}
