// Helpers shared by the registry key and value sources. Not part of the library's
// public surface.
#pragma once

#include <windows.h>

#include "qrv_wchar_string.h"

class CQRVRegistryKey;
class CQRVRegistryValent;

namespace qrv_detail {

// The text of a string as the Win32 calls take it; null when the string has no storage
// (the failure classes print "Unknown" for a null text).
inline const wchar_t* regText(const CQRVWCharString& s) noexcept
{
    return s.isValid() ? reinterpret_cast<const wchar_t*>(s.m_pBuffer) : nullptr;
}

// The same, but an empty text instead of null: RegOpenKeyExW and RegCreateKeyExW take
// "" for the root itself.
inline const wchar_t* regTextOrEmpty(const CQRVWCharString& s) noexcept
{
    const wchar_t* p = regText(s);
    return p ? p : L"";
}

// Closes the key when the operation leaves, on every path: the registry classes never
// keep a handle between two calls.
class KeyCloser {
public:
    explicit KeyCloser(CQRVRegistryKey& key) noexcept : m_key(key) {}
    ~KeyCloser();
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    CQRVRegistryKey& m_key;
};

// The data bytes of a valent as text (UTF-16 units, an odd last byte as the low byte of
// a last unit), terminated when the data lacks a terminator.
CQRVWCharString valentText(const CQRVRegistryValent& valent);

// The key's values of one string type (REG_SZ or REG_EXPAND_SZ) as name/text records,
// tagged 0, 1, 2, ...; false when the key's bulk query fails.
bool collectStringValues(CQRVRegistryKey& key, DWORD dwType,
                         CQRVDblList<CQRVObjNode<class CQRVRegistryStringValue>>& lstValues);

} // namespace qrv_detail
