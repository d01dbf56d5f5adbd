// Loading a DLL of the system folder by name. A bare name handed to LoadLibraryW is
// searched for in the program's folder and the current folder as well, so a DLL of the
// same name planted there would run inside the caller, which may be elevated. Header
// only, so that programs that do not link the library (the benchmark floor) load the
// same way. Not part of the library's public surface.
#pragma once

#include <windows.h>

#include <cwchar>

namespace qrv_detail {

// LoadLibraryExW's LOAD_LIBRARY_SEARCH_* flags came with the loader update that also
// added AddDllDirectory; XP and Vista without it refuse them (ERROR_INVALID_PARAMETER).
inline bool systemSearchFlagsSupported() noexcept
{
    const HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    return hKernel != nullptr && ::GetProcAddress(hKernel, "AddDllDirectory") != nullptr;
}

// Loads <system folder>\pszName by its full path (from GetSystemDirectoryW); its
// dependencies are then searched from that folder first. Returns the module, or
// nullptr with the loader's last error (ERROR_FILENAME_EXCED_RANGE when the path does
// not fit).
inline HMODULE loadLibraryFromSystemFolder(const wchar_t* pszName) noexcept
{
    wchar_t szPath[MAX_PATH];
    const size_t cchFolder = ::GetSystemDirectoryW(szPath, MAX_PATH);
    const size_t cchName = std::wcslen(pszName);
    if (cchFolder == 0 || cchFolder + 1 + cchName >= MAX_PATH) {
        if (cchFolder != 0)
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    szPath[cchFolder] = L'\\';
    std::wmemcpy(szPath + cchFolder + 1, pszName, cchName + 1);
    return ::LoadLibraryExW(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Loads the system folder's DLL of this name: LoadLibraryExW limited to the system
// folder where the loader supports it, else by full path. Returns the module, or
// nullptr with the loader's last error.
inline HMODULE loadSystemLibrary(const wchar_t* pszName) noexcept
{
    if (systemSearchFlagsSupported())
        return ::LoadLibraryExW(pszName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return loadLibraryFromSystemFolder(pszName);
}

} // namespace qrv_detail
