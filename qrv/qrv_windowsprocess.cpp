// CQRVWindowsProcess: OpenProcessToken, LookupPrivilegeValueW, AdjustTokenPrivileges.
#include "qrv_windowsprocess.h"

#include "qrv_protocol.h"

CQRVWindowsProcess::CQRVWindowsProcess()
{
    QRV_TRACE(L"CQRVWindowsProcess", L"Constructor");
    qrvTrace.passFail(true);
}

CQRVWindowsProcess::~CQRVWindowsProcess()
{
    QRV_TRACE(L"CQRVWindowsProcess", L"Destructor ~CQRVWindowsProcess");
    qrvTrace.passFail(true);
}

bool CQRVWindowsProcess::setPrivilege(const CQRVWCharString& szPrivilege, bool bEnable, HANDLE* phToken)
{
    QRV_TRACE(L"CQRVWindowsProcess", L"setPrivilege");
    // Only a token opened here is closed here; the close is checked so a failure
    // can be reported, which the generic handle owner does not do.
    HANDLE hLocalToken = nullptr;
    const bool bResult = qrvAbsorb(false, QRV_HERE, [&] {
        HANDLE hToken = (phToken != nullptr) ? *phToken : nullptr;
        if (hToken == nullptr) {
            if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &hLocalToken)) {
                hLocalToken = nullptr;
                throw CQRVOpenProcessTokenException(L"GetCurrentProcess()", static_cast<int>(::GetLastError()),
                                                    QRV_HERE);
            }
            hToken = hLocalToken;
        }

        const wchar_t* pName = szPrivilege.isValid() ? reinterpret_cast<const wchar_t*>(szPrivilege.getBuffer())
                                                     : L"";
        TOKEN_PRIVILEGES request;
        ZeroMemory(&request, sizeof(request));
        if (!::LookupPrivilegeValueW(nullptr, pName, &request.Privileges[0].Luid))
            throw CQRVLookupPrivilegeValueException(szPrivilege.isValid() ? pName : nullptr,
                                                    static_cast<int>(::GetLastError()), QRV_HERE);

        request.PrivilegeCount = 1;
        request.Privileges[0].Attributes = bEnable ? SE_PRIVILEGE_ENABLED : 0;
        // Success here does not mean the token holds the privilege (the last error
        // would say ERROR_NOT_ALL_ASSIGNED); that case counts as success.
        if (!::AdjustTokenPrivileges(hToken, FALSE, &request, sizeof(request), nullptr, nullptr))
            throw CQRVAdjustTokenPrivilegesException(L"hToken", static_cast<int>(::GetLastError()), QRV_HERE);
        return true;
    });

    if (hLocalToken != nullptr && !::CloseHandle(hLocalToken))
        qrvNote<CCloseHandleWarning>(L"hLocalToken", static_cast<int>(::GetLastError()), QRV_HERE);
    return qrvTrace.passFail(bResult);
}
