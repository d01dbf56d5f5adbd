// A small Win32 service for the end-to-end tests of "/restartservice": it appends
// "started <build>" when it reports RUNNING and "stopped" when it stops to the marker
// file named by its first argument (from the service's binary path), each line after
// the label given as the second argument, if any. Built in variants by compile
// definitions: SERVICE_PROBE_BUILD names the build ("A", "B"), and
// SERVICE_PROBE_IGNORES_STOP makes one that answers the stop request and goes on
// running. Any build ends by itself after ten minutes, in case its test is gone.
#include <windows.h>

#include <string>

#ifndef SERVICE_PROBE_BUILD
#define SERVICE_PROBE_BUILD "A"
#endif

namespace {

SERVICE_STATUS_HANDLE g_hStatus = nullptr;
HANDLE g_hStop = nullptr;
std::wstring g_marker;
std::string g_label;

void appendMarker(const char* pszLine)
{
    HANDLE hFile = ::CreateFileW(g_marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    std::string line = g_label.empty() ? std::string() : g_label + " ";
    line += pszLine;
    line += "\n";
    DWORD dwWritten = 0;
    ::WriteFile(hFile, line.data(), static_cast<DWORD>(line.size()), &dwWritten, nullptr);
    ::CloseHandle(hFile);
}

void report(DWORD dwState)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = dwState;
    status.dwControlsAccepted = dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    ::SetServiceStatus(g_hStatus, &status);
}

DWORD WINAPI handler(DWORD dwControl, DWORD, void*, void*)
{
#ifndef SERVICE_PROBE_IGNORES_STOP
    if (dwControl == SERVICE_CONTROL_STOP)
        ::SetEvent(g_hStop);
#else
    (void)dwControl;
#endif
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**)
{
    g_hStatus = ::RegisterServiceCtrlHandlerExW(L"", handler, nullptr);
    if (g_hStatus == nullptr)
        return;
    // The line first: a test that sees RUNNING finds it written.
    appendMarker("started " SERVICE_PROBE_BUILD);
    report(SERVICE_RUNNING);
    ::WaitForSingleObject(g_hStop, 10 * 60 * 1000);
    appendMarker("stopped");
    report(SERVICE_STOPPED);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 1;
    g_marker = argv[1];
    if (argc > 2) {
        for (const wchar_t* p = argv[2]; *p != L'\0'; ++p)
            g_label += static_cast<char>(*p);
    }
    g_hStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), serviceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 2;
}
