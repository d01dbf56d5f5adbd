// The system-folder DLL loader behind the library's own loads: both of its ways (the
// loader's search flags, and the full system path that systems without them get) load
// the system folder's DLL, never one of the same name beside the program.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "internal/qrv_system_library.h"

namespace {

typedef HMODULE (*Loader)(const wchar_t*);

struct Way {
    const char* name;
    Loader load;
};

const Way kWays[] = {
    {"search flags where supported", &qrv_detail::loadSystemLibrary},
    {"full system path (systems without the flags)", &qrv_detail::loadLibraryFromSystemFolder},
};

std::wstring lower(std::wstring text)
{
    if (!text.empty())
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring moduleFile(HMODULE hModule)
{
    wchar_t szPath[MAX_PATH] = {0};
    GetModuleFileNameW(hModule, szPath, MAX_PATH);
    return szPath;
}

std::wstring programFolder()
{
    std::wstring path = moduleFile(nullptr);
    return path.erase(path.find_last_of(L"\\/") + 1);
}

std::wstring systemFolder()
{
    wchar_t szFolder[MAX_PATH] = {0};
    GetSystemDirectoryW(szFolder, MAX_PATH);
    return szFolder;
}

TEST(SystemLibraryTest, BothWaysLoadTheSystemFoldersDll)
{
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        HMODULE hShlwapi = way.load(L"shlwapi.dll");
        ASSERT_NE(nullptr, hShlwapi) << "error " << GetLastError();
        EXPECT_EQ(lower(systemFolder() + L"\\shlwapi.dll"), lower(moduleFile(hShlwapi)));
        FreeLibrary(hShlwapi);
    }
}

TEST(SystemLibraryTest, NeitherWayLoadsADllBesideTheProgram)
{
    // The probe DLL (which records its loads in C:\planted_dll_loads.txt) under a name
    // of this test's own, beside this program: the ordinary search finds it there.
    const wchar_t kName[] = L"qrv_system_library_test_planted.dll";
    const std::wstring planted = programFolder() + kName;
    ASSERT_TRUE(CopyFileW((programFolder() + L"probes\\planted_dll.dll").c_str(), planted.c_str(), FALSE))
        << "error " << GetLastError();
    HMODULE hControl = LoadLibraryW(kName);
    EXPECT_NE(nullptr, hControl) << "the plain search did not find the planted DLL: error " << GetLastError();
    if (hControl != nullptr)
        FreeLibrary(hControl);

    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        SetLastError(0xDEADBEEF);
        HMODULE hLoaded = way.load(kName);
        EXPECT_EQ(nullptr, hLoaded) << "loaded the DLL beside the program";
        EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
        if (hLoaded != nullptr)
            FreeLibrary(hLoaded);
    }
    DeleteFileW(planted.c_str());
    DeleteFileW(L"C:\\planted_dll_loads.txt");
}

TEST(SystemLibraryTest, FullPathRefusesANameThatDoesNotFit)
{
    const std::wstring name(MAX_PATH, L'a');
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, qrv_detail::loadLibraryFromSystemFolder(name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

} // namespace
