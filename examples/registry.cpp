// docs/library.md, "Registry keys and values": values of three types written and read
// back under a key of the example's own, the key's value names, and what a missing
// value gives.
#include <windows.h>

#include <string>

#include "example_check.h"
#include "qrv_registry_dword.h"
#include "qrv_registry_key.h"
#include "qrv_registry_multi_string.h"
#include "qrv_registry_string.h"

int main()
{
    const CQRVWCharString szKey(L"Software\\QRVExamples\\Registry");

    // Writing: each object names root, key, value, access, create flag; the create
    // flag makes the key (and, on a read, a missing value) as needed.
    check(CQRVRegistryString(HKEY_CURRENT_USER, szKey, L"Name", KEY_WRITE, true).setValue(L"Quillfix", false),
          "write REG_SZ");
    check(CQRVRegistryDword(HKEY_CURRENT_USER, szKey, L"Runs", KEY_WRITE, true).setValue(3, false),
          "write REG_DWORD");
    CQRVRegStringList lstFolders;
    lstFolders.add(L"C:\\One", 0); // the read gives the strings keys 0, 1, 2, ...
    lstFolders.add(L"C:\\Two", 1);
    check(CQRVRegistryMultiString(HKEY_CURRENT_USER, szKey, L"Folders", KEY_WRITE, true).setValue(lstFolders, false),
          "write REG_MULTI_SZ");

    // Reading: getValue(out, bUseCache); false reads the registry now.
    CQRVWCharString szName;
    DWORD dwRuns = 0;
    CQRVRegStringList lstRead;
    check(CQRVRegistryString(HKEY_CURRENT_USER, szKey, L"Name", KEY_READ).getValue(szName, false) &&
              szName.str() == L"Quillfix", "read REG_SZ");
    check(CQRVRegistryDword(HKEY_CURRENT_USER, szKey, L"Runs", KEY_READ).getValue(dwRuns, false) && dwRuns == 3,
          "read REG_DWORD");
    check(CQRVRegistryMultiString(HKEY_CURRENT_USER, szKey, L"Folders", KEY_READ).getValue(lstRead, false) &&
              lstRead == lstFolders, "read REG_MULTI_SZ");

    // The key's value names, and every REG_SZ value as name/text records.
    CQRVRegistryKey key(HKEY_CURRENT_USER, szKey, KEY_READ);
    CQRVRegStringList lstNames;
    check(key.enumValueNames(lstNames) && lstNames.m_ulCount == 3, "value names");
    CQRVRegistryStringValueList lstStrings;
    check(key.getStringValues(lstStrings) && lstStrings.m_ulCount == 1, "REG_SZ values");

    // A missing value: false, no log record, and GetLastError() says why.
    CQRVWCharString szMissing;
    check(!CQRVRegistryString(HKEY_CURRENT_USER, szKey, L"Missing", KEY_READ).getValue(szMissing, false) &&
              ::GetLastError() == ERROR_FILE_NOT_FOUND, "missing value");

    // The library has no key deletion; the plain API removes the example's key.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, szKey.c_str());
    check(!key.canOpen(), "key removed");
    return exampleFailures();
}
