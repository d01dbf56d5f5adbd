// Prints the version block of the program named on the command line, one "name=value"
// per line: the fixed file and product versions and the English (United States)
// FileVersion and ProductVersion texts. Exit code 1 when the file has no version block.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool printText(const std::vector<BYTE>& block, const wchar_t* name)
{
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    void* pText = nullptr;
    UINT cchText = 0;
    if (!::VerQueryValueW(block.data(), query.c_str(), &pText, &cchText) || !pText)
        return false;
    std::printf("%ls=%ls\n", name, static_cast<const wchar_t*>(pText));
    return true;
}

void printVersion(const char* name, DWORD dwMost, DWORD dwLeast)
{
    std::printf("%s=%u.%u.%u.%u\n", name, unsigned(HIWORD(dwMost)), unsigned(LOWORD(dwMost)),
                unsigned(HIWORD(dwLeast)), unsigned(LOWORD(dwLeast)));
}

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 2) {
        std::fprintf(stderr, "usage: version_probe <file>\n");
        return 2;
    }
    DWORD dwHandle = 0;
    const DWORD cbBlock = ::GetFileVersionInfoSizeW(argv[1], &dwHandle);
    std::vector<BYTE> block(cbBlock ? cbBlock : 1);
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT cbFixed = 0;
    if (!cbBlock || !::GetFileVersionInfoW(argv[1], 0, cbBlock, block.data()) ||
        !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&pFixed), &cbFixed) || !pFixed) {
        std::fprintf(stderr, "version_probe: no version block (error %lu)\n", ::GetLastError());
        return 1;
    }
    printVersion("FixedFileVersion", pFixed->dwFileVersionMS, pFixed->dwFileVersionLS);
    printVersion("FixedProductVersion", pFixed->dwProductVersionMS, pFixed->dwProductVersionLS);
    const bool bTexts = printText(block, L"FileVersion") && printText(block, L"ProductVersion");
    return bTexts ? 0 : 1;
}
