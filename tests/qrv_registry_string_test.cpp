// CQRVRegistryString and the key's REG_SZ collector, against the real registry below a
// key of each test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_registry_string.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::text;
using qrvtest::wcs;

// Type and byte count of a value as the registry holds it; false when it is missing.
bool rawInfo(const QRVTestKey& key, const wchar_t* name, DWORD& type, DWORD& size)
{
    std::vector<BYTE> data;
    const bool bFound = qrvtest::rawValue(key, name, type, data);
    size = static_cast<DWORD>(data.size());
    return bFound;
}

} // namespace

TEST(RegistryStringTest, WriteThenReadRoundTripsAndClosesTheKey)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryString value(key.root(), wcs(key.path()), CQRVWCharString(L"Name"), KEY_READ | KEY_WRITE, false, 0);
    EXPECT_FALSE(value.m_bCacheValid);

    ASSERT_TRUE(value.setValue(CQRVWCharString(L"hello"), false));
    EXPECT_FALSE(value.isOpen());
    EXPECT_TRUE(value.m_bCacheValid);
    std::wstring stored;
    ASSERT_TRUE(qrvtest::getString(key.root(), key.path(), L"Name", stored));
    EXPECT_EQ(L"hello", stored);
    DWORD type = 0, size = 0;
    ASSERT_TRUE(rawInfo(key, L"Name", type, size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(12u, size); // five characters and the terminator

    CQRVRegistryString reader(key.root(), wcs(key.path()), CQRVWCharString(L"Name"), KEY_READ, false, 0);
    CQRVWCharString out;
    ASSERT_TRUE(reader.getValue(out, false));
    EXPECT_EQ(L"hello", text(out));
    EXPECT_FALSE(reader.isOpen());
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryStringTest, SlackBehindTheTerminatorIsNotStored)
{
    QRVTestKey key;
    CQRVWCharString padded(L"ab   ");
    ASSERT_TRUE(padded.trim(L' ', CQRVFlags(trTrailing), CQRVFlags(0x01)));
    ASSERT_EQ(2u, padded.getLength());
    ASSERT_EQ(6u, padded.m_ulNumElems);

    CQRVRegistryString value(key.root(), wcs(key.path()), CQRVWCharString(L"Padded"), KEY_WRITE, false, 0);
    ASSERT_TRUE(value.setValue(padded, false));
    DWORD type = 0, size = 0;
    ASSERT_TRUE(rawInfo(key, L"Padded", type, size));
    EXPECT_EQ(6u, size);
}

TEST(RegistryStringTest, MissingValueIsCreatedEmptyOnlyWithCreateFlag)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVWCharString out(L"untouched");

    CQRVRegistryString plain(key.root(), wcs(key.path()), CQRVWCharString(L"Missing"), KEY_READ | KEY_WRITE, false, 0);
    EXPECT_FALSE(plain.getValue(out, false));
    EXPECT_EQ(L"untouched", text(out));
    DWORD type = 0, size = 0;
    EXPECT_FALSE(rawInfo(key, L"Missing", type, size));

    CQRVRegistryString creating(key.root(), wcs(key.path()), CQRVWCharString(L"Missing"), KEY_READ | KEY_WRITE, true,
                                0);
    EXPECT_TRUE(creating.getValue(out, false));
    EXPECT_FALSE(out.isValid());
    EXPECT_TRUE(creating.m_bCacheValid);
    EXPECT_FALSE(creating.isOpen());
    ASSERT_TRUE(rawInfo(key, L"Missing", type, size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(0u, size);

    // The create flag also creates a missing key.
    CQRVRegistryString deeper(key.root(), wcs(key.sub(L"New")), CQRVWCharString(L"v"), KEY_READ | KEY_WRITE, true, 0);
    EXPECT_TRUE(deeper.readRegistry());
    EXPECT_TRUE(qrvtest::keyExists(key.root(), key.sub(L"New")));
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryStringTest, ReadsAtMost520Bytes)
{
    QRVTestKey key;
    struct Row {
        size_t chars;
        bool readable;
    } rows[] = {
        {0, true},    // empty text: the terminator only
        {259, true},  // 520 bytes with the terminator
        {260, false}, // 522 bytes: the registry answers ERROR_MORE_DATA
        {600, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.chars << " characters");
        std::wstring data(row.chars, L'x');
        ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"Long", data));
        CQRVRegistryString value(key.root(), wcs(key.path()), CQRVWCharString(L"Long"), KEY_READ, false, 0);
        CQRVWCharString out(L"before");
        EXPECT_EQ(row.readable, value.getValue(out, false));
        EXPECT_EQ(row.readable ? data : std::wstring(L"before"), text(out));
        EXPECT_FALSE(value.isOpen());
    }
}

TEST(RegistryStringTest, ValueWithoutTerminatorFillingTheBufferStaysBounded)
{
    QRVTestKey key;
    // 260 characters stored as exactly 520 bytes, with no terminator: the whole buffer.
    std::vector<wchar_t> units(262, L'y');
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key.root(), key.path().c_str(), 0, KEY_WRITE, &h));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, L"Full", 0, REG_SZ, reinterpret_cast<const BYTE*>(units.data()), 520));
    RegCloseKey(h);

    CQRVRegistryString value(key.root(), wcs(key.path()), CQRVWCharString(L"Full"), KEY_READ, false, 0);
    CQRVWCharString out;
    ASSERT_TRUE(value.getValue(out, false));
    EXPECT_EQ(std::wstring(260, L'y'), text(out));
}

TEST(RegistryStringTest, CacheServesOnlyAfterAWrite)
{
    QRVTestKey key;
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"V", L"first"));
    CQRVRegistryString value(key.root(), wcs(key.path()), CQRVWCharString(L"V"), KEY_READ | KEY_WRITE, false, 0);
    CQRVWCharString out;

    // A read fills the cache but does not vouch for it: the next cached get reads again.
    ASSERT_TRUE(value.getValue(out, true));
    EXPECT_EQ(L"first", text(out));
    EXPECT_FALSE(value.m_bCacheValid);
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"V", L"second"));
    ASSERT_TRUE(value.getValue(out, true));
    EXPECT_EQ(L"second", text(out));

    // After a write the cache is valid and answers without the registry.
    ASSERT_TRUE(value.setValue(CQRVWCharString(L"mine"), false));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"V", L"theirs"));
    ASSERT_TRUE(value.getValue(out, true));
    EXPECT_EQ(L"mine", text(out));
    ASSERT_TRUE(value.getValue(out, false));
    EXPECT_EQ(L"theirs", text(out));

    // Cache only: nothing reaches the registry.
    EXPECT_TRUE(value.setValue(CQRVWCharString(L"cached"), true));
    std::wstring stored;
    ASSERT_TRUE(qrvtest::getString(key.root(), key.path(), L"V", stored));
    EXPECT_EQ(L"theirs", stored);
    EXPECT_EQ(L"cached", text(value.m_szRegStringCache));
}

TEST(RegistryStringTest, RefusedWriteIsLoggedWithKeyAndValueName)
{
    QRVLogCapture log;
    QRVTestKey key;
    // Built for reading only: the registry refuses the write with error 5.
    CQRVRegistryString value(key.root(), wcs(key.path()), CQRVWCharString(L"Locked"), KEY_READ, false, 0);
    EXPECT_FALSE(value.setValue(CQRVWCharString(L"x"), false));
    EXPECT_FALSE(value.m_bCacheValid);
    EXPECT_FALSE(value.isOpen());
    std::vector<std::wstring> lines =
        log.linesWith(L"\"Unable to Set registry value ( \"" + key.path() + L"\\Locked\" )\" ");
    ASSERT_EQ(1u, lines.size()) << "log has " << log.lines().size() << " lines";
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<EXCEPTION_BAD> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryValue::writeRegistry> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<qrv_registry_string.cpp, "));

    // The unnamed default value is named "Unknown" in the record.
    CQRVRegistryString unnamed(key.root(), wcs(key.path()), CQRVWCharString(), KEY_READ, false, 0);
    EXPECT_FALSE(unnamed.setValue(CQRVWCharString(L"x"), false));
    EXPECT_EQ(1u, log.linesWith(L"( \"" + key.path() + L"\\Unknown\" )").size());
}

TEST(RegistryStringTest, StringValuesCollectsOnlyRegSz)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegistryStringValueList list;
    list.add(CQRVRegistryStringValue(CQRVWCharString(L"stale"), CQRVWCharString(L"x")), 5);

    // No named values: false, and the list is emptied.
    EXPECT_FALSE(regKey.getStringValues(list));
    EXPECT_EQ(0u, list.m_ulCount);

    // Only other types: true and empty.
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"a_dword", 7));
    EXPECT_TRUE(regKey.getStringValues(list));
    EXPECT_EQ(0u, list.m_ulCount);

    // Mixed (created in name order, which Windows and Wine both enumerate the same way).
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"b_sz", L"one"));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"c_expand", L"%PATH%", REG_EXPAND_SZ));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"d_unterminated", {'h', 0, 'i', 0}, REG_SZ));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"e_odd", {'o', 0, 'k'}, REG_SZ));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"f_empty", L""));
    ASSERT_TRUE(regKey.getStringValues(list));
    EXPECT_FALSE(regKey.isOpen());

    struct Row {
        long tag;
        const wchar_t* name;
        const wchar_t* value;
    } rows[] = {
        {0, L"b_sz", L"one"},
        {1, L"d_unterminated", L"hi"}, // a terminator is added
        {2, L"e_odd", L"ok"},          // the odd byte is the low byte of a last unit
        {3, L"f_empty", L""},
    };
    ASSERT_EQ(4u, list.m_ulCount);
    const CQRVObjNode<CQRVRegistryStringValue>* p = list.m_pHead;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << row.tag);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(row.tag, static_cast<long>(p->m_lKey));
        EXPECT_EQ(row.name, text(p->m_object.m_szName));
        EXPECT_EQ(row.value, text(p->m_object.m_szValue));
        p = p->m_pNext;
    }
    EXPECT_TRUE(log.lines().empty());
}
