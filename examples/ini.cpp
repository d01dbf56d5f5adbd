// docs/library.md, "INI files": CQRVIni on a file of the example's own, written in
// UTF-16 so every character is kept, and read back by key, by section and by number.
#include <windows.h>

#include <string>

#include "example_check.h"
#include "qrv_ini.h"

int main()
{
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFile = std::wstring(szTemp) + L"qrv_example.ini";
    ::DeleteFileW(strFile.c_str());

    CQRVIni ini(strFile);
    check(ini.createUnicodeFile(), "UTF-16 file"); // else the profile functions write ANSI
    check(ini.setProfileString(L"Window", L"Title", L"Grüße"), "write text");
    check(ini.setProfileInt(L"Window", L"Width", 640), "write number");

    CQRVWCharString szTitle;
    int nWidth = 0;
    check(ini.getProfileString(L"Window", L"Title", szTitle) && szTitle.str() == L"Grüße", "read text");
    check(ini.getProfileInt(L"Window", L"Width", nWidth) && nWidth == 640, "read number");

    CQRVIni::StringList lstLines; // "key=value" lines
    check(ini.getProfileSection(L"Window", lstLines) && lstLines.m_ulCount == 2, "read section");

    // A missing key: false and ERROR_FILE_NOT_FOUND (getProfileString writes no record).
    CQRVWCharString szMissing;
    check(!ini.getProfileString(L"Window", L"Height", szMissing) && ::GetLastError() == ERROR_FILE_NOT_FOUND,
          "missing key");

    ::DeleteFileW(strFile.c_str());
    return exampleFailures();
}
