// A DLL that stands in for one planted beside a program or in its current folder: when
// any process loads it, whatever name it was copied under, it appends a line to
// C:\planted_dll_loads.txt (UTF-8): the full path it was loaded from, a tab, and the
// program that loaded it. It reports success, as a real planted DLL would. The
// DLL-search test copies it under many system DLL names and reads that file.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t szPath[MAX_PATH * 2 + 1];
    const DWORD cchDll = ::GetModuleFileNameW(hInstance, szPath, MAX_PATH);
    szPath[cchDll] = L'\t';
    const DWORD cchProgram = ::GetModuleFileNameW(nullptr, szPath + cchDll + 1, MAX_PATH);
    char szLine[(MAX_PATH * 2 + 1) * 3 + 2];
    int cbLine = ::WideCharToMultiByte(CP_UTF8, 0, szPath, static_cast<int>(cchDll + 1 + cchProgram), szLine,
                                       (MAX_PATH * 2 + 1) * 3, nullptr, nullptr);
    szLine[cbLine++] = '\r';
    szLine[cbLine++] = '\n';
    HANDLE hMarker = ::CreateFileW(L"C:\\planted_dll_loads.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hMarker != INVALID_HANDLE_VALUE) {
        DWORD cbWritten = 0;
        ::WriteFile(hMarker, szLine, static_cast<DWORD>(cbLine), &cbWritten, nullptr);
        ::CloseHandle(hMarker);
    }
    return TRUE;
}
