// Runs the command line that follows its own name, waits for it and prints its exit
// code in decimal: a Unix shell sees only the low eight bits of a Windows program's
// exit code (3010 arrives as 194), so the end-to-end tests read it through this.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::printf("usage: exit_code_probe <program> [arguments]\n");
        return 2;
    }
    std::wstring commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += L' ';
        commandLine += argv[i];
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        std::printf("start failed: %lu\n", ::GetLastError());
        return 1;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD dwCode = 0;
    ::GetExitCodeProcess(process.hProcess, &dwCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::printf("%lu\n", dwCode);
    return 0;
}
