// CQRVRegistryDword and the key's REG_DWORD collector, against the real registry below
// a key of each test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_registry_dword.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::text;
using qrvtest::wcs;

} // namespace

TEST(RegistryDwordTest, WriteThenReadRoundTrips)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryDword value(key.root(), wcs(key.path()), CQRVWCharString(L"Count"), KEY_READ | KEY_WRITE, false, 0);
    ASSERT_TRUE(value.setValue(0xA1B2C3D4, false));
    EXPECT_TRUE(value.m_bCacheValid);
    EXPECT_FALSE(value.isOpen());
    std::vector<unsigned char> raw;
    DWORD stored = 0;
    ASSERT_TRUE(qrvtest::getDword(key.root(), key.path(), L"Count", stored));
    EXPECT_EQ(0xA1B2C3D4u, stored);

    CQRVRegistryDword reader(key.root(), wcs(key.path()), CQRVWCharString(L"Count"), KEY_READ, false, 0);
    DWORD out = 0;
    ASSERT_TRUE(reader.getValue(out, false));
    EXPECT_EQ(0xA1B2C3D4u, out);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryDwordTest, MissingValueWithCreateFlagWritesZero)
{
    QRVLogCapture log;
    QRVTestKey key;
    DWORD out = 0xDEADBEEF;
    CQRVRegistryDword plain(key.root(), wcs(key.path()), CQRVWCharString(L"Missing"), KEY_READ | KEY_WRITE, false, 0);
    EXPECT_FALSE(plain.getValue(out, false));
    EXPECT_EQ(0xDEADBEEFu, out);
    EXPECT_FALSE(plain.m_bCacheValid);
    DWORD stored = 0xDEADBEEF;
    EXPECT_FALSE(qrvtest::getDword(key.root(), key.path(), L"Missing", stored));

    CQRVRegistryDword creating(key.root(), wcs(key.path()), CQRVWCharString(L"Missing"), KEY_READ | KEY_WRITE, true, 0);
    creating.m_dwRegDwordCache = 77;
    EXPECT_TRUE(creating.getValue(out, false));
    EXPECT_EQ(0u, out);
    EXPECT_TRUE(creating.m_bCacheValid);
    EXPECT_FALSE(creating.isOpen());
    ASSERT_TRUE(qrvtest::getDword(key.root(), key.path(), L"Missing", stored));
    EXPECT_EQ(0u, stored);
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryDwordTest, ReadSetsTheCache)
{
    QRVTestKey key;
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"V", 1));
    CQRVRegistryDword value(key.root(), wcs(key.path()), CQRVWCharString(L"V"), KEY_READ, false, 0);
    DWORD out = 0;
    ASSERT_TRUE(value.getValue(out, true));
    EXPECT_EQ(1u, out);
    EXPECT_TRUE(value.m_bCacheValid);

    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"V", 2));
    ASSERT_TRUE(value.getValue(out, true)); // from the cache
    EXPECT_EQ(1u, out);
    ASSERT_TRUE(value.getValue(out, false)); // from the registry
    EXPECT_EQ(2u, out);

    // Cache only: the registry keeps its value.
    EXPECT_TRUE(value.setValue(9, true));
    ASSERT_TRUE(value.getValue(out, true));
    EXPECT_EQ(9u, out);
    DWORD stored = 0;
    ASSERT_TRUE(qrvtest::getDword(key.root(), key.path(), L"V", stored));
    EXPECT_EQ(2u, stored);
}

TEST(RegistryDwordTest, OversizedValueFailsAndKeepsTheCache)
{
    QRVTestKey key;
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"Wide", {1, 2, 3, 4, 5, 6, 7, 8}, REG_QWORD));
    CQRVRegistryDword value(key.root(), wcs(key.path()), CQRVWCharString(L"Wide"), KEY_READ, false, 0);
    value.setValue(0x55, true);
    DWORD out = 0xDEADBEEF;
    EXPECT_FALSE(value.getValue(out, false));
    EXPECT_EQ(0xDEADBEEFu, out);
    EXPECT_EQ(0x55u, value.m_dwRegDwordCache);
    EXPECT_FALSE(value.isOpen());
}

TEST(RegistryDwordTest, RefusedWriteIsLogged)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryDword value(key.root(), wcs(key.path()), CQRVWCharString(L"Locked"), KEY_READ, false, 0);
    EXPECT_FALSE(value.setValue(3, false));
    EXPECT_FALSE(value.m_bCacheValid);
    std::vector<std::wstring> lines =
        log.linesWith(L"\"Unable to Set registry value ( \"" + key.path() + L"\\Locked\" )\" ");
    ASSERT_EQ(1u, lines.size()) << "log has " << log.lines().size() << " lines";
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryDword::writeRegistry> "));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<qrv_registry_dword.cpp, "));
}

// A 64-bit process reads a value that lives only in the 32-bit view once the access
// mask carries KEY_WOW64_32KEY, and does not see it without.
TEST(RegistryDwordTest, OtherRegistryViewThroughSetAccess)
{
#ifdef _WIN64
    const std::wstring path = L"Software\\QRVTests\\RegistryDwordTest.OtherView";
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, path);
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
    ASSERT_TRUE(qrvtest::setDword(HKEY_LOCAL_MACHINE, path, L"Version", 7, KEY_WOW64_32KEY));
    ASSERT_TRUE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\QRVTests\\RegistryDwordTest.OtherView"));

    CQRVRegistryDword value(HKEY_LOCAL_MACHINE, wcs(path), CQRVWCharString(L"Version"), KEY_READ, false, 0);
    DWORD out = 0xDEADBEEF;
    EXPECT_FALSE(value.getValue(out, false));
    EXPECT_EQ(0xDEADBEEFu, out);
    ASSERT_TRUE(value.setAccess(KEY_READ | KEY_WOW64_32KEY));
    EXPECT_TRUE(value.getValue(out, false));
    EXPECT_EQ(7u, out);

    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
    // The parent this test may have made; refused (and kept) while anything else is below it.
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\QRVTests", KEY_WOW64_32KEY, 0);
#else
    GTEST_SKIP() << "a 32-bit process sees the 32-bit view without the flag";
#endif
}

TEST(RegistryDwordTest, DwordValuesCollectsOnlyRegDword)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegistryDwordValueList list;
    EXPECT_FALSE(regKey.getDwordValues(list));
    EXPECT_EQ(0u, list.m_ulCount);

    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"a_sz", L"1"));
    EXPECT_TRUE(regKey.getDwordValues(list));
    EXPECT_EQ(0u, list.m_ulCount);

    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"b_one", 0x11223344));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"c_bin", {1, 0, 0, 0}));
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"d_two", 0));
    EXPECT_TRUE(regKey.getDwordValues(list));
    ASSERT_EQ(2u, list.m_ulCount);
    EXPECT_EQ(0, static_cast<long>(list.m_pHead->m_lKey));
    EXPECT_EQ(L"b_one", text(list.m_pHead->m_object.m_szName));
    EXPECT_EQ(0x11223344u, list.m_pHead->m_object.m_dwValue);
    EXPECT_EQ(1, static_cast<long>(list.m_pTail->m_lKey));
    EXPECT_EQ(L"d_two", text(list.m_pTail->m_object.m_szName));
    EXPECT_EQ(0u, list.m_pTail->m_object.m_dwValue);
    EXPECT_TRUE(log.lines().empty());

    // A REG_DWORD of two bytes reads as 0, and the short read is recorded.
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"e_short", {9, 9}, REG_DWORD));
    EXPECT_TRUE(regKey.getDwordValues(list));
    ASSERT_EQ(3u, list.m_ulCount);
    EXPECT_EQ(L"e_short", text(list.m_pTail->m_object.m_szName));
    EXPECT_EQ(0u, list.m_pTail->m_object.m_dwValue);
    EXPECT_EQ(1u, log.linesWith(L"can't read more elements than are in this buffer").size());
}
