// CQRVRegistryFile: the library's readable export format for a registry key and
// everything below it. The file is an INI file written and read through CQRVIni:
// every exported key with at least one value becomes a section named by its full
// path ("HKEY_CURRENT_USER\Software\..."), every value an entry
//
//     name=REG_DWORD:0x0000001A
//     name=REG_SZ:"text"                 (REG_SZ_EXPAND likewise, unexpanded)
//     name=REG_SZ_MULTI:41 00 00 00,42 00 00 00
//     name=REG_BINARY:01 02 03           (exactly the value's bytes)
//
// A file the export creates is UTF-16LE with a byte-order mark, so every character
// is kept; older ANSI files are still read. The export leaves out (with a warning) any
// value or key whose entry would read back as something else.
//
// The file name is resolved once, when the object is made, as CQRVIni resolves it
// (and the profile functions do): "x.txt" is "%WINDIR%\x.txt", ".\x.txt" and
// "sub\x.txt" are in the current folder of that moment, a full path stays.
//
// The object holds only the file name and is made for one save or load. Neither
// operation raises: single values that cannot be written are logged by the value
// classes and the walk goes on; false means the walk itself was cut short.
//
// The hive form of CQRVRegistryKey::exportKey/importKey (RegSaveKeyW and
// RegRestoreKeyW) lives here too, beside the text form it shares the entry points with.
#pragma once

#include <windows.h>

#include "qrv_dbllist.h"
#include "qrv_wchar_string.h"

class CQRVRegistryKey;
class CQRVRegistryValent;

class CQRVRegistryFile {
public:
    // exportKey's format that selects this text form; any other is a hive file.
    static const DWORD kTextFormat = 8;
    // importKey's flags that select this text form; any other goes to RegRestoreKeyW.
    static const DWORD kTextFlags = 16;

    explicit CQRVRegistryFile(const CQRVWCharString& szFileName);
    ~CQRVRegistryFile();

    // Writes the key hRoot\szKeyPath with its values and all its sub-keys, depth
    // first, into the file; bOverwrite deletes an existing file first. The file's
    // folder is created when missing.
    bool save(HKEY hRoot, const CQRVWCharString& szKeyPath, bool bOverwrite);
    // Writes every well-formed entry of every section of the file into the registry,
    // creating keys and values as needed. A missing file changes nothing (true).
    bool load();

    // The bodies of CQRVRegistryKey::exportKey and importKey.
    static bool exportRegistryKey(CQRVRegistryKey& key, const CQRVWCharString& szExportFileName,
                                  DWORD dwFormat, bool bOverwrite);
    static bool importRegistryKey(CQRVRegistryKey& key, const CQRVWCharString& szImportFileName,
                                  DWORD dwFlags);

private:
    // How one export writes: each key's section appended whole to a file of its own,
    // entry by entry into a file that was there before.
    struct ExportTarget {
        bool bOwnFile;  // the export found no file (or deleted it): its sections are appended
        bool bCreated;  // the export has created the file with its byte-order mark
    };
    class SectionEntries;

    // One key's section; returns false when the walk below it was cut short.
    bool saveKey(HKEY hRoot, const CQRVWCharString& szKeyPath, ExportTarget& target);
    void writeSection(const SectionEntries& entries, ExportTarget& target);
    static void addEntry(SectionEntries& entries, const CQRVRegistryValent& valent);
    // One section into the registry; its entries as the file holds them (pEntries), or
    // read through the profile functions when pEntries is null.
    void loadSection(const CQRVWCharString& szSection, const CQRVDblList<CQRVObjNode<CQRVWCharString>>* pEntries);

    CQRVWCharString m_szFileName;
};
