// Stopping and starting the services that run the patched program; see the invariant
// in quillfix_service.h. Only the service control manager's API of XP is used:
// EnumServicesStatusExW, QueryServiceConfigW, ControlService, StartServiceW and a
// polled QueryServiceStatusEx (XP has no NotifyServiceStatusChange).
#include "quillfix_service.h"

#include "quillfix_detail_log.h"

#include <algorithm>
#include <vector>

#include "internal/qrv_unique_handle.h"
#include "qrv_logging.h"
#include "qrv_protocol.h"

namespace quillfix_service {

namespace {

struct ServiceHandleTraits {
    using type = SC_HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseServiceHandle(h); }
};
using UniqueService = qrv_detail::UniqueHandle<ServiceHandleTraits>;

// One installed service as enumerated.
struct Service {
    std::wstring name;
    DWORD dwState = 0;
    DWORD dwProcessId = 0;
    DWORD dwServiceType = 0;
    DWORD dwStartType = 0;
    bool bRunsProgram = false;
    std::vector<std::wstring> dependencies;  // service names only; groups ("+name") left out
};

bool sameName(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

bool isRunning(const Service& service)
{
    return service.dwState != SERVICE_STOPPED;
}

// The service names of a double-zero-terminated dependency list; groups ("+name") are
// left out.
void addDependencies(const wchar_t* pszList, std::vector<std::wstring>& dependencies)
{
    for (const wchar_t* p = pszList; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) {
        if (*p != SC_GROUP_IDENTIFIERW)
            dependencies.push_back(p);
    }
}

void readRegistryDependencies(const std::wstring& name, std::vector<std::wstring>& dependencies)
{
    std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    qrv_detail::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    DWORD dwType = 0, dwBytes = 0;
    if (::RegQueryValueExW(key.get(), L"DependOnService", nullptr, &dwType, nullptr, &dwBytes) != ERROR_SUCCESS ||
        dwType != REG_MULTI_SZ)
        return;
    // Two zero units more than asked for: a value written without its terminators.
    std::vector<wchar_t> list(dwBytes / sizeof(wchar_t) + 2, L'\0');
    if (::RegQueryValueExW(key.get(), L"DependOnService", nullptr, &dwType, reinterpret_cast<BYTE*>(list.data()),
                           &dwBytes) == ERROR_SUCCESS)
        addDependencies(list.data(), dependencies);
}

// QueryServiceConfigW into a buffer of the size it asks for.
bool queryConfig(SC_HANDLE hManager, Service& service, const wchar_t* pszProgram)
{
    UniqueService handle(::OpenServiceW(hManager, service.name.c_str(), SERVICE_QUERY_CONFIG));
    if (!handle.valid())
        return false;
    std::vector<unsigned char> buffer(8 * 1024);
    DWORD dwNeeded = 0;
    auto* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(handle.get(), pConfig, static_cast<DWORD>(buffer.size()), &dwNeeded)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(dwNeeded);
        pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (!::QueryServiceConfigW(handle.get(), pConfig, dwNeeded, &dwNeeded))
            return false;
    }
    service.dwStartType = pConfig->dwStartType;
    if (pConfig->lpBinaryPathName != nullptr)
        service.bRunsProgram = isSameFile(programOfBinaryPath(pConfig->lpBinaryPathName).c_str(), pszProgram);
    addDependencies(pConfig->lpDependencies, service.dependencies);
    // A service manager that leaves the list empty (Wine's does) still keeps it in the
    // service's registry key, from which Windows' manager loads it too.
    if (service.dependencies.empty())
        readRegistryDependencies(service.name, service.dependencies);
    return true;
}

std::vector<Service> enumerateServices(SC_HANDLE hManager, const wchar_t* pszProgram)
{
    std::vector<Service> services;
    std::vector<unsigned char> buffer(64 * 1024);
    DWORD dwResume = 0;
    for (;;) {
        DWORD dwNeeded = 0, dwCount = 0;
        BOOL bDone = ::EnumServicesStatusExW(hManager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                             buffer.data(), static_cast<DWORD>(buffer.size()), &dwNeeded, &dwCount,
                                             &dwResume, nullptr);
        if (!bDone && ::GetLastError() != ERROR_MORE_DATA) {
            reportServiceStep(L"", L"enumerate services", ::GetLastError(), 0, true);
            break;
        }
        const auto* pEntries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < dwCount; ++i) {
            Service service;
            service.name = pEntries[i].lpServiceName;
            service.dwState = pEntries[i].ServiceStatusProcess.dwCurrentState;
            service.dwProcessId = pEntries[i].ServiceStatusProcess.dwProcessId;
            service.dwServiceType = pEntries[i].ServiceStatusProcess.dwServiceType;
            // A service whose configuration cannot be read is not one this run may stop.
            if (queryConfig(hManager, service, pszProgram))
                services.push_back(service);
        }
        if (bDone)
            break;
        if (dwCount == 0)
            buffer.resize(std::max<size_t>(buffer.size() * 2, dwNeeded));
    }
    return services;
}

// Appends the running services that depend on services[nIndex] (directly or through
// others) to order, each after its own dependents, so the list is a stopping order.
void addRunningDependents(const std::vector<Service>& services, size_t nIndex, std::vector<size_t>& order)
{
    for (size_t i = 0; i < services.size(); ++i) {
        if (!isRunning(services[i]) || std::find(order.begin(), order.end(), i) != order.end())
            continue;
        for (const std::wstring& dependency : services[i].dependencies) {
            if (sameName(dependency, services[nIndex].name)) {
                addRunningDependents(services, i, order);
                if (std::find(order.begin(), order.end(), i) == order.end())
                    order.push_back(i);
                break;
            }
        }
    }
}

// Polls the service until it reaches dwWanted. Gives up when it stops making progress
// (the checkpoint or the state unchanged for its wait hint, at least kMinWaitHint),
// after kMaxWaitPerService in all, or when it settles in the other end state. The
// state reached is left in dwState.
bool waitForState(SC_HANDLE hService, DWORD dwWanted, DWORD& dwState, DWORD& dwError)
{
    const DWORD dwStart = ::GetTickCount();
    DWORD dwProgress = dwStart, dwCheckPoint = 0, dwLastState = 0;
    for (;;) {
        SERVICE_STATUS_PROCESS status = {};
        DWORD dwNeeded = 0;
        if (!::QueryServiceStatusEx(hService, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                    sizeof(status), &dwNeeded)) {
            dwError = ::GetLastError();
            return false;
        }
        dwState = status.dwCurrentState;
        if (dwState == dwWanted)
            return true;
        // Started and ended again (the program failed), or stopped by someone else.
        if (dwWanted == SERVICE_RUNNING && dwState == SERVICE_STOPPED)
            return false;
        const DWORD dwNow = ::GetTickCount();
        if (dwState != dwLastState || status.dwCheckPoint != dwCheckPoint) {
            dwLastState = dwState;
            dwCheckPoint = status.dwCheckPoint;
            dwProgress = dwNow;
        }
        const DWORD dwHint = std::max(status.dwWaitHint, kMinWaitHint);
        if (dwNow - dwProgress >= dwHint || dwNow - dwStart >= kMaxWaitPerService) {
            dwError = ERROR_SERVICE_REQUEST_TIMEOUT;
            return false;
        }
        // A tenth of the hint, as the platform's own examples poll, within bounds.
        ::Sleep(std::min<DWORD>(std::max<DWORD>(status.dwWaitHint / 10, 100), 1000));
    }
}

bool stopService(SC_HANDLE hManager, const Service& service)
{
    UniqueService handle(::OpenServiceW(hManager, service.name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!handle.valid()) {
        reportServiceStep(service.name.c_str(), L"open to stop", ::GetLastError(), service.dwState, true);
        return false;
    }
    // A service in a process of its own reports STOPPED a moment before its process
    // ends, and until then its program cannot be deleted: the process is waited for too.
    qrv_detail::UniqueHandleObj process;
    if ((service.dwServiceType & SERVICE_WIN32_OWN_PROCESS) && service.dwProcessId != 0)
        process.reset(::OpenProcess(SYNCHRONIZE, FALSE, service.dwProcessId));
    SERVICE_STATUS status = {};
    // Not active: it stopped by itself meanwhile, which is what is wanted.
    if (!::ControlService(handle.get(), SERVICE_CONTROL_STOP, &status) &&
        ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        reportServiceStep(service.name.c_str(), L"stop", ::GetLastError(), service.dwState, true);
        return false;
    }
    DWORD dwState = 0, dwError = 0;
    bool bStopped = waitForState(handle.get(), SERVICE_STOPPED, dwState, dwError);
    reportServiceStep(service.name.c_str(), L"stop", dwError, dwState, !bStopped);
    // A process that lingers does not fail the restart: the program is then deleted at
    // the next restart of the system, as without the service restart.
    if (bStopped && process.valid() && ::WaitForSingleObject(process.get(), kMinWaitHint) != WAIT_OBJECT_0)
        reportServiceStep(service.name.c_str(), L"wait for the process of", WAIT_TIMEOUT, dwState, false);
    return bStopped;
}

// StartServiceW and the wait for RUNNING, with one more try for a program that does not
// start (or ends at once): a program still loading from a slow disk or held a moment by
// a scanner may start the second time.
bool startService(SC_HANDLE hManager, const Service& service)
{
    UniqueService handle(::OpenServiceW(hManager, service.name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!handle.valid()) {
        reportServiceStep(service.name.c_str(), L"open to start", ::GetLastError(), SERVICE_STOPPED, true);
        return false;
    }
    for (int nTry = 1;; ++nTry) {
        DWORD dwState = SERVICE_STOPPED, dwError = 0;
        bool bRunning = false;
        if (::StartServiceW(handle.get(), 0, nullptr) || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING)
            bRunning = waitForState(handle.get(), SERVICE_RUNNING, dwState, dwError);
        else
            dwError = ::GetLastError();
        reportServiceStep(service.name.c_str(), L"start", dwError, dwState, !bRunning);
        if (bRunning || nTry == 2)
            return bRunning;
    }
}

const wchar_t* stateName(DWORD dwState)
{
    switch (dwState) {
    case SERVICE_STOPPED:          return L"STOPPED";
    case SERVICE_START_PENDING:    return L"START_PENDING";
    case SERVICE_STOP_PENDING:     return L"STOP_PENDING";
    case SERVICE_RUNNING:          return L"RUNNING";
    case SERVICE_CONTINUE_PENDING: return L"CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING:    return L"PAUSE_PENDING";
    case SERVICE_PAUSED:           return L"PAUSED";
    default:                       return L"unknown";
    }
}

} // namespace

std::wstring programOfBinaryPath(const wchar_t* pszBinaryPath)
{
    std::wstring text(pszBinaryPath);
    DWORD dwUnits = ::ExpandEnvironmentStringsW(pszBinaryPath, nullptr, 0);
    if (dwUnits > 0) {
        std::vector<wchar_t> expanded(dwUnits);
        if (::ExpandEnvironmentStringsW(pszBinaryPath, expanded.data(), dwUnits) == dwUnits)
            text.assign(expanded.data());
    }
    // The native form some installers write.
    if (text.compare(0, 4, L"\\??\\") == 0)
        text.erase(0, 4);
    size_t nStart = text.find_first_not_of(L" \t");
    if (nStart == std::wstring::npos)
        return std::wstring();
    text.erase(0, nStart);
    if (text[0] == L'"') {
        size_t nEnd = text.find(L'"', 1);
        return text.substr(1, nEnd == std::wstring::npos ? std::wstring::npos : nEnd - 1);
    }
    // "C:\Program Files\Common Files\x.exe -arg": "C:\Program", "C:\Program Files\Common"
    // and so on are tried in turn, as CreateProcessW does with a command line.
    auto existing = [](const std::wstring& name) {
        DWORD dwAttributes = ::GetFileAttributesW(name.c_str());
        return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    for (size_t nEnd = 0; nEnd != std::wstring::npos;) {
        nEnd = text.find_first_of(L" \t", nEnd + 1);
        std::wstring candidate = text.substr(0, nEnd);
        if (existing(candidate))
            return candidate;
        size_t nSlash = candidate.find_last_of(L"\\/");
        if (candidate.find(L'.', nSlash == std::wstring::npos ? 0 : nSlash) == std::wstring::npos &&
            existing(candidate + L".exe"))
            return candidate + L".exe";
    }
    return text.substr(0, text.find_first_of(L" \t"));
}

bool isSameFile(const wchar_t* pszFirst, const wchar_t* pszSecond)
{
    auto identify = [](const wchar_t* pszPath, BY_HANDLE_FILE_INFORMATION& info) {
        qrv_detail::UniqueFile file(::CreateFileW(pszPath, FILE_READ_ATTRIBUTES,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file.valid() && ::GetFileInformationByHandle(file.get(), &info) != FALSE;
    };
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    return identify(pszFirst, first) && identify(pszSecond, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

void reportServiceStep(const wchar_t* pszService, const wchar_t* pszOperation, DWORD dwError, DWORD dwState,
                       bool bFailure)
{
    qrv_detail::LastErrorKeeper keepError;
    // "Service restart: stop QuillfixSvc failed with error 1053 (state RUNNING)"
    std::wstring message = L"Service restart: ";
    message += pszOperation;
    if (pszService != nullptr && *pszService != L'\0') {
        message += L" ";
        message += pszService;
    }
    if (dwError != 0)
        message += L" failed with error " + std::to_wstring(dwError);
    else if (bFailure)
        message += L" failed";
    if (dwState != 0) {
        message += L" (state ";
        message += stateName(dwState);
        message += L")";
    }
    // A failure is a warning record, which the detailed log ("/log") takes like every
    // other; a step goes there as a line of its own and to the library log as a notice.
    if (bFailure) {
        CQRVLogWarning(message.c_str(), static_cast<int>(dwError), RESULT_ERROR_CODE, L"quillfix_service",
                       pszOperation, QRV_HERE);
    } else {
        detailLog(message);
        CLogNotification notification(message.c_str());
    }
}

RestartOutcome restartServicesOf(const wchar_t* pszProgram, const std::function<void()>& whileStopped)
{
    UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager.valid()) {
        reportServiceStep(L"", L"open the service control manager", ::GetLastError(), 0, true);
        return RestartOutcome::Failed;
    }
    std::vector<Service> services = enumerateServices(manager.get(), pszProgram);

    // The stopping order: for each running service of the program, its running
    // dependents (theirs first), then the service itself.
    std::vector<size_t> order;
    bool bFailed = false;
    for (size_t i = 0; i < services.size(); ++i) {
        if (!services[i].bRunsProgram || !isRunning(services[i]))
            continue;
        // Disabled: it could not be started again once stopped; left as it is, so the
        // old program stays in use until the system restarts.
        if (services[i].dwStartType == SERVICE_DISABLED) {
            reportServiceStep(services[i].name.c_str(), L"stop", ERROR_SERVICE_DISABLED, services[i].dwState, true);
            bFailed = true;
            continue;
        }
        addRunningDependents(services, i, order);
        if (std::find(order.begin(), order.end(), i) == order.end())
            order.push_back(i);
    }
    for (size_t nIndex : order) {
        if (services[nIndex].dwStartType == SERVICE_DISABLED) {
            reportServiceStep(services[nIndex].name.c_str(), L"stop", ERROR_SERVICE_DISABLED,
                              services[nIndex].dwState, true);
            bFailed = true;
        }
    }
    if (order.empty()) {
        if (!bFailed)
            reportServiceStep(pszProgram, L"no running service runs", 0, 0, false);
        return bFailed ? RestartOutcome::Failed : RestartOutcome::NoService;
    }
    if (bFailed)
        return RestartOutcome::Failed;

    size_t nStopped = 0;
    while (nStopped < order.size() && stopService(manager.get(), services[order[nStopped]]))
        ++nStopped;
    if (nStopped == order.size())
        whileStopped();
    else
        bFailed = true;

    // Started in the reverse order of stopping: each service before its dependents.
    while (nStopped > 0) {
        if (!startService(manager.get(), services[order[--nStopped]]))
            bFailed = true;
    }
    return bFailed ? RestartOutcome::Failed : RestartOutcome::Restarted;
}

} // namespace quillfix_service
