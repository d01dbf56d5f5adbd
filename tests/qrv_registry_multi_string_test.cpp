// CQRVRegistryMultiString, its encoding, and the key's REG_MULTI_SZ collector, against
// the real registry below a key of each test's own.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "qrv_registry_multi_string.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::byteBuffer;
using qrvtest::Entries;
using qrvtest::entries;
using qrvtest::rawValue;
using qrvtest::text;
using qrvtest::wcs;

CQRVRegStringList makeList(const std::vector<std::wstring>& strings)
{
    CQRVRegStringList list;
    long tag = 0;
    for (const std::wstring& s : strings)
        list.add(wcs(s), tag++);
    return list;
}

} // namespace

TEST(RegistryMultiStringTest, EmptyMiddleStringIsDroppedOnTheWayBack)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryMultiString value(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ | KEY_WRITE, false, 0);
    CQRVRegStringList three = makeList({L"ab", L"", L"c"});
    ASSERT_TRUE(value.setValue(three, false));
    EXPECT_TRUE(value.m_bCacheValid);
    EXPECT_FALSE(value.isOpen());

    DWORD type = 0;
    std::vector<unsigned char> stored;
    ASSERT_TRUE(rawValue(key, L"M", type, stored));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ((std::vector<unsigned char>{'a', 0, 'b', 0, 0, 0, 'c', 0, 0, 0, 0, 0}), stored);

    CQRVRegistryMultiString reader(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ, false, 0);
    ASSERT_TRUE(reader.readRegistry());
    EXPECT_TRUE(reader.m_bCacheValid);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ((Entries{{0, L"ab"}, {1, L"c"}}), entries(reader.m_lstRegMultiStringCache));
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryMultiStringTest, EmptyListIsStoredAsZeroBytes)
{
    QRVTestKey key;
    CQRVRegistryMultiString value(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ | KEY_WRITE, false, 0);
    CQRVRegStringList empty;
    ASSERT_TRUE(value.setValue(empty, false));
    DWORD type = 0;
    std::vector<unsigned char> stored(3, 0xBD);
    ASSERT_TRUE(rawValue(key, L"M", type, stored));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_TRUE(stored.empty());

    CQRVRegistryMultiString reader(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ, false, 0);
    reader.setValue(makeList({L"stale"}), true);
    ASSERT_TRUE(reader.readRegistry());
    EXPECT_TRUE(reader.m_bCacheValid);
    EXPECT_EQ(0u, reader.m_lstRegMultiStringCache.m_ulCount);
}

TEST(RegistryMultiStringTest, MissingValueIsCreatedEmptyOnlyWithCreateFlag)
{
    QRVLogCapture log;
    QRVTestKey key;
    DWORD type = 0;
    std::vector<unsigned char> stored;
    CQRVRegistryMultiString plain(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ | KEY_WRITE, false, 0);
    EXPECT_FALSE(plain.readRegistry());
    EXPECT_FALSE(rawValue(key, L"M", type, stored));

    CQRVRegistryMultiString creating(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ | KEY_WRITE, true, 0);
    creating.setValue(makeList({L"stale"}), true);
    EXPECT_TRUE(creating.readRegistry());
    EXPECT_TRUE(creating.m_bCacheValid);
    EXPECT_EQ(0u, creating.m_lstRegMultiStringCache.m_ulCount);
    ASSERT_TRUE(rawValue(key, L"M", type, stored));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_TRUE(stored.empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryMultiStringTest, CacheOnlySetReplacesTheCacheAndSucceeds)
{
    QRVTestKey key;
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"M", {'x', 0, 0, 0}, REG_MULTI_SZ));
    CQRVRegistryMultiString value(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ | KEY_WRITE, false, 0);
    EXPECT_TRUE(value.setValue(makeList({L"p", L"q"}), true));
    EXPECT_EQ((Entries{{0, L"p"}, {1, L"q"}}), entries(value.m_lstRegMultiStringCache));
    EXPECT_FALSE(value.m_bCacheValid);
    DWORD type = 0;
    std::vector<unsigned char> stored;
    ASSERT_TRUE(rawValue(key, L"M", type, stored));
    EXPECT_EQ((std::vector<unsigned char>{'x', 0, 0, 0}), stored);
}

TEST(RegistryMultiStringTest, DecodingTable)
{
    struct Row {
        const char* what;
        std::vector<unsigned char> data;
        Entries expected;
    } rows[] = {
        {"no bytes", {}, {}},
        {"no NUL at all", {'a', 0, 'b', 0}, {}},
        {"text after the last NUL is dropped", {'a', 0, 0, 0, 'b', 0}, {{0, L"a"}}},
        {"stops at the double NUL", {'a', 0, 0, 0, 0, 0, 'z', 0, 0, 0}, {{0, L"a"}}},
        {"last NUL ends the data", {'a', 0, 0, 0, 'b', 0, 0, 0}, {{0, L"a"}, {1, L"b"}}},
        {"a lone NUL is one empty string", {0, 0}, {{0, L""}}},
        {"odd byte is the low byte of a last unit", {'a', 0, 0}, {{0, L"a"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CQRVRegStringList out = makeList({L"stale"});
        EXPECT_TRUE(CQRVRegistryMultiString::decode(byteBuffer(row.data), out));
        EXPECT_EQ(row.expected, entries(out));
    }

    // Encoding: each string with its terminator, then one more NUL.
    CQRVBuffer<unsigned char> encoded;
    ASSERT_TRUE(CQRVRegistryMultiString::encode(makeList({L"a", L"bc"}), encoded));
    EXPECT_EQ(12u, encoded.m_ulNumElems);
    const unsigned char expected[] = {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0};
    ASSERT_NE(nullptr, encoded.m_pBuffer);
    EXPECT_EQ(0, memcmp(expected, encoded.m_pBuffer, sizeof(expected)));
}

TEST(RegistryMultiStringTest, RefusedWriteIsLogged)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryMultiString value(key.root(), wcs(key.path()), CQRVWCharString(L"Locked"), KEY_READ, false, 0);
    EXPECT_FALSE(value.setValue(makeList({L"a"}), false));
    EXPECT_FALSE(value.m_bCacheValid);
    std::vector<std::wstring> lines =
        log.linesWith(L"\"Unable to Set registry value ( \"" + key.path() + L"\\Locked\" )\" ");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryMultiString::writeRegistry> "));
}

TEST(RegistryMultiStringTest, MultiStringValuesCollectsOnlyRegMultiSz)
{
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegistryMultiStringValueList list;
    EXPECT_FALSE(regKey.getMultiStringValues(list));

    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"a_sz", L"x"));
    EXPECT_TRUE(regKey.getMultiStringValues(list));
    EXPECT_EQ(0u, list.m_ulCount);

    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"b_multi", {'x', 0, 0, 0, 'y', 0, 0, 0, 0, 0},
                                   REG_MULTI_SZ));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"c_empty", {}, REG_MULTI_SZ));
    ASSERT_TRUE(regKey.getMultiStringValues(list));
    ASSERT_EQ(2u, list.m_ulCount);
    EXPECT_EQ(L"b_multi", text(list.m_pHead->m_object.m_szName));
    EXPECT_EQ((Entries{{0, L"x"}, {1, L"y"}}), entries(list.m_pHead->m_object.m_lstStrings));
    EXPECT_EQ(L"c_empty", text(list.m_pTail->m_object.m_szName));
    EXPECT_EQ(0u, list.m_pTail->m_object.m_lstStrings.m_ulCount);
    EXPECT_EQ(1, static_cast<long>(list.m_pTail->m_lKey));
}

// Strings edited in place keep storage after their terminator; an empty string may
// still have storage. Neither may reach the registry: zeros there end the list early.
TEST(RegistryMultiStringTest, SpareStorageAndEmptyStringsWithStorageAreNotWritten)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVWCharString trimmed(L"ab  ");
    ASSERT_TRUE(trimmed.trim(L' ', CQRVFlags(trTrailing), CQRVFlags(0)));
    CQRVWCharString cut(L"cdxyz");
    cut.m_pBuffer[2] = 0; // "cd", then "yz" behind the terminator
    CQRVWCharString emptied(L"e");
    emptied.m_pBuffer[0] = 0; // length 0, with storage
    ASSERT_EQ(2u, trimmed.getLength());
    ASSERT_LT(3u, trimmed.m_ulNumElems) << "the trim is expected to leave spare storage";

    struct Row {
        const char* what;
        std::vector<CQRVWCharString> strings;
        std::vector<unsigned char> stored;
        Entries readBack;
    };
    const std::vector<Row> rows = {
        { "trimmed first string", { trimmed, wcs(L"cd") }, { 'a', 0, 'b', 0, 0, 0, 'c', 0, 'd', 0, 0, 0, 0, 0 },
          { { 0, L"ab" }, { 1, L"cd" } } },
        { "slack holding text", { cut, wcs(L"z") }, { 'c', 0, 'd', 0, 0, 0, 'z', 0, 0, 0, 0, 0 },
          { { 0, L"cd" }, { 1, L"z" } } },
        { "empty string with storage first", { emptied, wcs(L"ab") }, { 'a', 0, 'b', 0, 0, 0, 0, 0 },
          { { 0, L"ab" } } },
        { "empty strings between", { trimmed, emptied, CQRVWCharString(), cut },
          { 'a', 0, 'b', 0, 0, 0, 'c', 0, 'd', 0, 0, 0, 0, 0 }, { { 0, L"ab" }, { 1, L"cd" } } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CQRVRegStringList list;
        long tag = 0;
        for (const CQRVWCharString& s : row.strings)
            list.add(s, tag++);
        CQRVRegistryMultiString value(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ | KEY_WRITE,
                                      false, 0);
        ASSERT_TRUE(value.setValue(list, false));

        DWORD type = 0;
        std::vector<unsigned char> stored;
        ASSERT_TRUE(rawValue(key, L"M", type, stored));
        EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
        EXPECT_EQ(row.stored, stored);

        CQRVRegistryMultiString reader(key.root(), wcs(key.path()), CQRVWCharString(L"M"), KEY_READ, false, 0);
        ASSERT_TRUE(reader.readRegistry());
        EXPECT_EQ(row.readBack, entries(reader.m_lstRegMultiStringCache));
    }
    EXPECT_TRUE(log.lines().empty());
}
