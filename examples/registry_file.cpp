// docs/library.md, "The registry text file": a key exported to a text file, deleted,
// and imported back; the export of a key that does not exist.
#include <windows.h>

#include <string>

#include "example_check.h"
#include "qrv_registry_dword.h"
#include "qrv_registry_key.h"
#include "qrv_registry_string.h"

int main()
{
    const CQRVWCharString szKey(L"Software\\QRVExamples\\RegistryFile");
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    // A full path: a bare name would mean the Windows folder (see "File names").
    const CQRVWCharString szFile(std::wstring(szTemp) + L"qrv_example_export.txt");

    check(CQRVRegistryDword(HKEY_CURRENT_USER, szKey, L"Size", KEY_WRITE, true).setValue(42, false), "set up");
    check(CQRVRegistryString(HKEY_CURRENT_USER, szKey + L"\\Sub", L"Path", KEY_WRITE, true).setValue(L"C:\\x", false),
          "set up sub-key");

    // Export the key with its values and sub-keys; true deletes an older file first.
    CQRVRegistryKey key(HKEY_CURRENT_USER, szKey, KEY_READ);
    check(key.exportKey(szFile, CQRVRegistryKey::kExportTextFile, true), "export");

    ::RegDeleteKeyW(HKEY_CURRENT_USER, (szKey + L"\\Sub").c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, szKey.c_str());

    // The file names its own keys: the importing object's key plays no part.
    check(key.importKey(szFile, CQRVRegistryKey::kImportTextFile), "import");
    CQRVWCharString szPath;
    check(CQRVRegistryString(HKEY_CURRENT_USER, szKey + L"\\Sub", L"Path", KEY_READ).getValue(szPath, false) &&
              szPath.str() == L"C:\\x", "value back");

    // A key that does not exist: false, a failure record, no file.
    ::DeleteFileW(szFile.c_str());
    CQRVRegistryKey missing(HKEY_CURRENT_USER, szKey + L"\\NoSuchKey", KEY_READ);
    check(!missing.exportKey(szFile, CQRVRegistryKey::kExportTextFile, true) &&
              ::GetLastError() == ERROR_FILE_NOT_FOUND, "missing key");
    check(::GetFileAttributesW(szFile.c_str()) == INVALID_FILE_ATTRIBUTES, "no file");

    ::RegDeleteKeyW(HKEY_CURRENT_USER, (szKey + L"\\Sub").c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, szKey.c_str());
    return exampleFailures();
}
