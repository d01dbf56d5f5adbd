// CQRVRegistryKey against the real registry: every test works below a key of its own
// (QRVTestKey) and removes what it made.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "qrv_registry_key.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::Entries;
using qrvtest::entries;
using qrvtest::text;
using qrvtest::wcs;

bool setDefaultValue(const QRVTestKey& key, const std::wstring& value)
{
    return qrvtest::setString(key.root(), key.path(), nullptr, value);
}

} // namespace

TEST(RegistryKeyTest, MissingKeyOpensOnlyWithCreateFlag)
{
    QRVLogCapture log;
    QRVTestKey key;
    const std::wstring path = key.sub(L"Missing");

    CQRVRegistryKey plain(key.root(), wcs(path), KEY_READ, false, 0);
    EXPECT_FALSE(plain.open());
    EXPECT_FALSE(plain.isOpen());
    EXPECT_FALSE(plain.canOpen());
    EXPECT_FALSE(qrvtest::keyExists(key.root(), path));
    // A failed open writes no record of its own.
    EXPECT_TRUE(log.lines().empty()) << "first line: " << (log.lines().empty() ? "" : "present");

    CQRVRegistryKey creating(key.root(), wcs(path), KEY_READ, true, 0);
    EXPECT_TRUE(creating.open());
    EXPECT_TRUE(creating.isOpen());
    EXPECT_NE(nullptr, creating.m_hKey);
    EXPECT_TRUE(qrvtest::keyExists(key.root(), path));
    EXPECT_TRUE(creating.close());
    EXPECT_FALSE(creating.isOpen());
    EXPECT_EQ(nullptr, creating.m_hKey);
    // Closing a closed key is no failure.
    EXPECT_TRUE(creating.close());
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryKeyTest, OpenOnOpenKeyWarnsAndReopens)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    ASSERT_TRUE(regKey.open());
    EXPECT_TRUE(regKey.open());
    EXPECT_TRUE(regKey.isOpen());

    std::vector<std::wstring> lines = log.linesWith(L"Registry key is already open ( " + key.path() + L" )");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<WARNING> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryKey::open> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"qrv_registry_key.cpp, "));
}

TEST(RegistryKeyTest, CreateOnlyGuaranteesTheKeyExists)
{
    QRVLogCapture log;
    QRVTestKey key;
    const std::wstring path = key.sub(L"A\\B");
    CQRVRegistryKey regKey(key.root(), wcs(path), KEY_READ, false, 0);
    EXPECT_TRUE(regKey.create());
    EXPECT_FALSE(regKey.isOpen());
    EXPECT_TRUE(qrvtest::keyExists(key.root(), path));
    // Again on an existing key, and on an open one (which it closes).
    ASSERT_TRUE(regKey.open());
    EXPECT_TRUE(regKey.create());
    EXPECT_FALSE(regKey.isOpen());
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryKeyTest, FailedCreateWritesItsRecord)
{
    QRVLogCapture log;
    // A root handle that is not a key: the open reports ERROR_INVALID_HANDLE, so the
    // create flag leads to a create, which fails with the same error.
    HKEY hBogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12340));
    CQRVRegistryKey regKey(hBogus, CQRVWCharString(L"Software\\QRVTests\\Nowhere"), KEY_READ, true, 0);
    EXPECT_FALSE(regKey.open());
    EXPECT_FALSE(regKey.isOpen());

    std::vector<std::wstring> lines =
        log.linesWith(L"\"Unable to create registry key ( \"Software\\QRVTests\\Nowhere\" )\" ");
    ASSERT_EQ(1u, lines.size()) << "log has " << log.lines().size() << " lines";
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<EXCEPTION_BAD> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryKey::create> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<qrv_registry_key.cpp, "));
}

TEST(RegistryKeyTest, SubKeyEnumerationLeavesKeyOpen)
{
    QRVLogCapture log;
    QRVTestKey key;
    for (const wchar_t* name : {L"One", L"Two", L"Three"})
        ASSERT_TRUE(qrvtest::setDword(key.root(), key.sub(name), L"v", 1));

    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, true, 0);
    CQRVRegStringList names;
    ASSERT_TRUE(regKey.getSubKeyNames(names));
    EXPECT_TRUE(regKey.isOpen());
    // Registry order is alphabetical on Windows and Wine alike.
    EXPECT_EQ((Entries{{1, L"One"}, {2, L"Three"}, {3, L"Two"}}), entries(names));

    CQRVRegistryKey sub(HKEY_LOCAL_MACHINE, CQRVWCharString(L"Elsewhere"), KEY_WRITE, true, 7);
    ASSERT_TRUE(regKey.enumSubKeys(sub, 1));
    EXPECT_TRUE(regKey.isOpen());
    EXPECT_EQ(key.root(), sub.m_hRootKey);
    EXPECT_EQ(key.sub(L"Three"), text(sub.m_szKeyPath));
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ), sub.m_samDesired);
    EXPECT_FALSE(sub.m_bCreate);
    EXPECT_EQ(0u, sub.m_dwOptions);
    EXPECT_FALSE(sub.isOpen());
    CQRVWCharString last;
    EXPECT_TRUE(sub.getKeyName(last, false));
    EXPECT_EQ(L"Three", text(last));

    // Past the last sub-key: false, and no record.
    EXPECT_FALSE(regKey.enumSubKeys(sub, 3));
    EXPECT_TRUE(log.lines().empty());

    // The next operation closes what the enumeration left open.
    DWORD dwLen = 0;
    EXPECT_TRUE(regKey.getMaxSubKeyLength(dwLen));
    EXPECT_EQ(5u, dwLen);
    EXPECT_FALSE(regKey.isOpen());
}

TEST(RegistryKeyTest, SubKeyNamesOfKeyWithoutSubKeysIsEmptyAndTrue)
{
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegStringList names;
    names.add(CQRVWCharString(L"stale"), 9);
    EXPECT_TRUE(regKey.getSubKeyNames(names));
    EXPECT_EQ(0u, names.m_ulCount);
}

TEST(RegistryKeyTest, ValueNamesSkipTheDefaultValue)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegStringList names;

    // No values at all, then only the unnamed default value: false with an empty list.
    EXPECT_FALSE(regKey.enumValueNames(names));
    EXPECT_EQ(0u, names.m_ulCount);
    ASSERT_TRUE(setDefaultValue(key, L"default"));
    EXPECT_FALSE(regKey.enumValueNames(names));
    EXPECT_EQ(0u, names.m_ulCount);
    EXPECT_FALSE(regKey.isOpen());

    // Created in name order: Windows enumerates in creation order, Wine in name order.
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"alpha", 2));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"beta", L"b"));
    EXPECT_TRUE(regKey.enumValueNames(names));
    EXPECT_FALSE(regKey.isOpen());
    EXPECT_EQ((Entries{{0, L"alpha"}, {0, L"beta"}}), entries(names));
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryKeyTest, MaxLengthQueriesCloseTheKey)
{
    QRVTestKey key;
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"name12", L"abc"));       // 8 bytes
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"n", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.sub(L"SubKey7"), L"x", 0));

    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    DWORD dwSub = 0xDEADBEEF, dwName = 0xDEADBEEF, dwData = 0xDEADBEEF;
    EXPECT_TRUE(regKey.getMaxSubKeyLength(dwSub));
    EXPECT_TRUE(regKey.getMaxValueNameLength(dwName));
    ASSERT_TRUE(regKey.open());
    EXPECT_TRUE(regKey.getMaxValueDataLength(dwData));
    EXPECT_FALSE(regKey.isOpen()); // closed even though it was found open
    EXPECT_EQ(7u, dwSub);
    EXPECT_EQ(6u, dwName);
    EXPECT_EQ(10u, dwData);

    CQRVRegistryKey missing(key.root(), wcs(key.sub(L"Missing")), KEY_READ, false, 0);
    DWORD dwUntouched = 0xDEADBEEF;
    EXPECT_FALSE(missing.getMaxSubKeyLength(dwUntouched));
    EXPECT_EQ(0xDEADBEEFu, dwUntouched);
}

TEST(RegistryKeyTest, QueryMultipleValuesCopiesNamesTypesAndData)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegistryValentList valents;

    // Without named values (only the default one): false.
    ASSERT_TRUE(setDefaultValue(key, L"ignored"));
    EXPECT_FALSE(regKey.queryMultipleValues(valents));
    EXPECT_EQ(0u, valents.m_ulCount);

    // Created in name order: Windows enumerates in creation order, Wine in name order.
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"a_str", L"hi"));
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"b_dword", 0x01020304));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"c_bin", {0xAA, 0xBB, 0xCC}));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"d_empty", {}));

    ASSERT_TRUE(regKey.queryMultipleValues(valents));
    EXPECT_FALSE(regKey.isOpen());
    struct Expected {
        const wchar_t* name;
        DWORD type;
        std::vector<unsigned char> data;
    } rows[] = {
        {L"a_str", REG_SZ, {'h', 0, 'i', 0, 0, 0}},
        {L"b_dword", REG_DWORD, {4, 3, 2, 1}},
        {L"c_bin", REG_BINARY, {0xAA, 0xBB, 0xCC}},
        {L"d_empty", REG_BINARY, {}},
    };
    ASSERT_EQ(4u, valents.m_ulCount);
    long lTag = 0;
    const CQRVObjNode<CQRVRegistryValent>* p = valents.m_pHead;
    for (const Expected& row : rows) {
        SCOPED_TRACE(testing::Message() << "value " << lTag);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(lTag, static_cast<long>(p->m_lKey));
        EXPECT_EQ(row.name, text(p->m_object.m_szValueName));
        EXPECT_EQ(row.type, p->m_object.m_dwType);
        std::vector<unsigned char> got(p->m_object.m_bufData.m_pBuffer,
                                       p->m_object.m_bufData.m_pBuffer + p->m_object.m_bufData.m_ulNumElems);
        EXPECT_EQ(row.data, got);
        p = p->m_pNext;
        ++lTag;
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryKeyTest, ValentFromNullEntryIsEmptyAndValentsCompareAllFields)
{
    CQRVRegistryValent none(nullptr);
    EXPECT_FALSE(none.m_szValueName.isValid());
    EXPECT_EQ(0u, none.m_bufData.m_ulNumElems);
    EXPECT_EQ(0u, none.m_dwType);

    unsigned char data[] = {1, 2, 3};
    wchar_t name[] = L"v";
    VALENTW entry = {name, 3, reinterpret_cast<DWORD_PTR>(data), REG_BINARY};
    CQRVRegistryValent a(&entry);
    EXPECT_EQ(3u, a.m_bufData.m_ulNumElems);
    EXPECT_NE(static_cast<void*>(data), static_cast<void*>(a.m_bufData.m_pBuffer)); // a copy
    CQRVRegistryValent b(a);
    EXPECT_TRUE(a == b);
    b.m_dwType = REG_SZ;
    EXPECT_FALSE(a == b);
    b = a;
    b.m_bufData.m_pBuffer[2] = 4;
    EXPECT_TRUE(a != b);
}

TEST(RegistryKeyTest, KeyNameWholeOrLastComponent)
{
    CQRVRegistryKey regKey(HKEY_CURRENT_USER, CQRVWCharString(L"Software\\QRVTests\\Leaf"), KEY_READ, false, 0);
    CQRVWCharString out;
    EXPECT_TRUE(regKey.getKeyName(out, true));
    EXPECT_EQ(L"Software\\QRVTests\\Leaf", text(out));
    EXPECT_TRUE(regKey.getKeyName(out, false));
    EXPECT_EQ(L"Leaf", text(out));

    CQRVRegistryKey single(HKEY_CURRENT_USER, CQRVWCharString(L"Software"), KEY_READ, false, 0);
    EXPECT_TRUE(single.getKeyName(out, false));
    EXPECT_EQ(L"Software", text(out));
}

TEST(RegistryKeyTest, AssignmentAndSetAccessCloseWithoutSharingTheHandle)
{
    QRVTestKey key;
    CQRVRegistryKey source(key.root(), wcs(key.path()), KEY_READ, true, 0);
    ASSERT_TRUE(source.open());
    CQRVRegistryKey target(HKEY_LOCAL_MACHINE, CQRVWCharString(L"Software"), KEY_READ, false, 0);
    ASSERT_TRUE(target.open());

    target = source;
    EXPECT_FALSE(target.isOpen());
    EXPECT_EQ(nullptr, target.m_hKey);
    EXPECT_EQ(key.root(), target.m_hRootKey);
    EXPECT_EQ(key.path(), text(target.m_szKeyPath));
    EXPECT_TRUE(target.m_bCreate);
    EXPECT_TRUE(source.isOpen()); // the source keeps its own handle

    EXPECT_TRUE(source.setAccess(KEY_READ | KEY_WRITE));
    EXPECT_FALSE(source.isOpen());
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ | KEY_WRITE), source.m_samDesired);
}

// The 64-bit process reaches the 32-bit view (Software\Wow6432Node) only with
// KEY_WOW64_32KEY; product detection relies on this.
TEST(RegistryKeyTest, Wow64FlagReachesTheOtherRegistryView)
{
#ifdef _WIN64
    const std::wstring path = L"Software\\QRVTests\\RegistryKeyTest.Wow64View";
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, path);
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, path, L"only32", 32, KEY_WOW64_32KEY));

    CQRVRegistryKey regKey(HKEY_LOCAL_MACHINE, wcs(path), KEY_READ, false, 0);
    EXPECT_FALSE(regKey.canOpen());
    ASSERT_TRUE(regKey.setAccess(KEY_READ | KEY_WOW64_32KEY));
    EXPECT_TRUE(regKey.canOpen());
    CQRVRegStringList names;
    EXPECT_TRUE(regKey.enumValueNames(names));
    EXPECT_EQ((Entries{{0, L"only32"}}), entries(names));

    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
    // The parent this test may have made; refused (and kept) while anything else is below it.
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\QRVTests", KEY_WOW64_32KEY, 0);
#else
    GTEST_SKIP() << "a 32-bit process reads the 32-bit view without the flag";
#endif
}
