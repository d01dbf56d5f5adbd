// Helpers shared by the library's tests: a capture of the library's log file through
// the machine-wide logging key, and a registry key owned by one test.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "qrv_registry_key.h"

// Points HKLM\SOFTWARE\Zarvik\Logs at a fresh log file of this test ("Logging" = 1,
// "TextOutput" = the file, everything else removed) and puts the key back as it was
// when it goes out of scope. The process-wide logging state is reset too.
class QRVLogCapture {
public:
    QRVLogCapture();
    ~QRVLogCapture();
    QRVLogCapture(const QRVLogCapture&) = delete;
    QRVLogCapture& operator=(const QRVLogCapture&) = delete;

    void setDword(const wchar_t* name, DWORD value);
    void setString(const wchar_t* name, const std::wstring& value);
    void remove(const wchar_t* name);

    const std::wstring& path() const { return m_path; }
    std::vector<unsigned char> bytes() const;   // the whole file, byte-order mark included
    std::vector<std::wstring> lines() const;    // decoded lines without CR LF
    // Lines that contain every given piece.
    std::vector<std::wstring> linesWith(const std::wstring& piece) const;
    void clearFile() const;                     // deletes the log (and rotated files)

private:
    std::vector<std::pair<std::wstring, std::pair<DWORD, std::vector<BYTE>>>> m_saved;
    bool m_hadKey = false;
    std::wstring m_path;
};

// HKCU\Software\QRVTests\<Suite>.<Test>: created empty, deleted with everything below
// it when the object goes out of scope.
class QRVTestKey {
public:
    QRVTestKey();
    explicit QRVTestKey(const std::wstring& name);
    ~QRVTestKey();
    QRVTestKey(const QRVTestKey&) = delete;
    QRVTestKey& operator=(const QRVTestKey&) = delete;

    HKEY root() const { return HKEY_CURRENT_USER; }
    const std::wstring& path() const { return m_path; } // below HKCU
    std::wstring sub(const std::wstring& child) const { return m_path + L"\\" + child; }

private:
    std::wstring m_path;
};

// Small registry helpers for setting up and checking state with the plain API.
namespace qrvtest {
bool setDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value, REGSAM extra = 0);
bool setString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value,
               DWORD type = REG_SZ, REGSAM extra = 0);
bool setBinary(HKEY root, const std::wstring& key, const wchar_t* name, const std::vector<BYTE>& data,
               DWORD type = REG_BINARY, REGSAM extra = 0);
bool getDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD& value, REGSAM extra = 0);
bool getString(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring& value, REGSAM extra = 0);
bool keyExists(HKEY root, const std::wstring& key, REGSAM extra = 0);
// Whether this process runs on 64-bit Windows: a 64-bit build, or a 32-bit one under
// WOW64 (IsWow64Process). False on a 32-bit Windows, which has one registry view.
bool onSixtyFourBitWindows();
void deleteTree(HKEY root, const std::wstring& key, REGSAM extra = 0);
// A fresh folder under the temporary folder, removed with its files by removeFolder.
std::wstring makeTempFolder(const std::wstring& hint);

// Makes folder the current folder until restore() or the end of the scope, then puts the
// earlier one back.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::wstring& folder)
    {
        GetCurrentDirectoryW(MAX_PATH, m_before);
        m_bChanged = SetCurrentDirectoryW(folder.c_str()) != FALSE;
    }
    ~CurrentFolderScope() { restore(); }
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;
    bool changed() const { return m_bChanged; }
    void restore() { SetCurrentDirectoryW(m_before); }

private:
    wchar_t m_before[MAX_PATH] = {0};
    bool m_bChanged = false;
};
void removeFolder(const std::wstring& folder);
std::vector<unsigned char> readFile(const std::wstring& path);
bool writeFile(const std::wstring& path, const std::vector<unsigned char>& data);
std::wstring narrowToWide(const char* text);
// Type and bytes of a value as the registry holds it; false (and no bytes) when the
// key or the value is missing.
bool rawValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);
bool rawValue(const QRVTestKey& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);

// Conversions between the library's types and the standard ones, for assertions.
std::wstring text(const CQRVWCharString& s);       // an invalid string reads as ""
std::wstring markedText(const CQRVWCharString& s); // an invalid string reads as "<invalid>"
CQRVWCharString wcs(const std::wstring& s);
CQRVBuffer<unsigned char> byteBuffer(const std::vector<unsigned char>& v);
// (tag, text) of every node of a string list, head to tail.
typedef std::vector<std::pair<long, std::wstring>> Entries;
Entries entries(const CQRVRegStringList& list);
} // namespace qrvtest
