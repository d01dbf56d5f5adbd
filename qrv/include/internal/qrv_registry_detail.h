// Helpers shared by the registry key and value sources. Not part of the library's
// public surface.
#pragma once

#include "internal/qrv_text.h"

#include <windows.h>

#include "qrv_registry_key.h"

namespace qrv_detail {

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

// Opens the key as open() does, with the same one call for an existing key and
// two fewer for a missing one (created with the create flag): RegOpenKeyExW, and on
// "not found" RegCreateKeyExW, whose handle is kept rather than closed and opened
// again. When neither gives a handle, open() itself runs, so every failure is met and
// recorded exactly as open() meets and records it. Returns whether the key is open.
bool openCreating(CQRVRegistryKey& key);

// Lends the lender's open handle to a value object naming the same key (root, path,
// access) for the writes made while the loan lasts: the value writes through that
// handle instead of opening and closing the key itself, so a write is one registry
// call; the value's own code runs and records its failures as always. The loan ends
// before the borrower is destroyed (declare it after the borrower): the borrower is
// left closed, and the handle stays with the lender, who closes it. Without an open
// lender nothing is lent and the value opens the key as usual.
class LentKey {
public:
    LentKey(CQRVRegistryKey& borrower, const CQRVRegistryKey& lender) noexcept;
    ~LentKey();
    LentKey(const LentKey&) = delete;
    LentKey& operator=(const LentKey&) = delete;

private:
    CQRVRegistryKey& m_borrower;
    bool m_bLent;
};

// A REG_SZ or REG_EXPAND_SZ valent as a name/text record: the data bytes read as
// UTF-16 units (an odd last byte as the low byte of a last unit), terminated when the
// data lacks a terminator.
CQRVRegistryStringValue stringRecord(const CQRVRegistryValent& valent);

// A REG_DWORD valent as a name/number record: the first four bytes, little-endian;
// shorter data reads as 0 (the buffer records the short read).
CQRVRegistryDwordValue dwordRecord(const CQRVRegistryValent& valent);

// Runs body() on the open key: opens it first when it is closed (false, and body does
// not run, when that fails) and closes it as body leaves, whichever way.
template <typename Body>
bool withOpenKey(CQRVRegistryKey& key, Body&& body)
{
    if (!key.isOpen() && !key.open())
        return false;
    KeyCloser closer(key);
    return body();
}

// The frame of the bulk collectors: the key's values of one registry type, each made
// into a record by makeRecord(valent) and tagged 0, 1, 2, ... over the kept ones only.
// The list is emptied first; false when the key's bulk query fails.
template <typename Record, typename MakeRecord>
bool collectValues(CQRVRegistryKey& key, DWORD dwType, CQRVDblList<CQRVObjNode<Record>>& lstValues,
                   MakeRecord&& makeRecord)
{
    lstValues.clear();
    CQRVRegistryValentList lstValents;
    if (!key.queryMultipleValues(lstValents))
        return false;
    long lTag = 0;
    for (bool bMore = lstValents.moveFirst(); bMore; bMore = lstValents.moveNext()) {
        CQRVRegistryValent valent;
        if (!lstValents.getCurrent(valent) || valent.m_dwType != dwType)
            continue;
        const Record record = makeRecord(valent);
        lstValues.add(record, lTag++);
    }
    return true;
}

} // namespace qrv_detail
