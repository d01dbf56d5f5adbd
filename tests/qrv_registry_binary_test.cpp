// CQRVRegistryBinary and the key's REG_BINARY collector, against the real registry below
// a key of each test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_registry_binary.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::byteBuffer;
using qrvtest::rawValue;
using qrvtest::text;
using qrvtest::wcs;

std::vector<unsigned char> bytes(const CQRVBuffer<unsigned char>& b)
{
    return b.m_ulNumElems ? std::vector<unsigned char>(b.m_pBuffer, b.m_pBuffer + b.m_ulNumElems)
                          : std::vector<unsigned char>();
}

} // namespace

TEST(RegistryBinaryTest, OddLengthDataRoundTrips)
{
    QRVLogCapture log;
    QRVTestKey key;
    const std::vector<unsigned char> data = {0x00, 0xFF, 0x7F};
    CQRVRegistryBinary value(key.root(), wcs(key.path()), CQRVWCharString(L"Blob"), KEY_READ | KEY_WRITE, false, 0);
    ASSERT_TRUE(value.setValue(byteBuffer(data), false));
    EXPECT_TRUE(value.m_bCacheValid);
    EXPECT_FALSE(value.isOpen());
    DWORD type = 0;
    std::vector<unsigned char> stored;
    ASSERT_TRUE(rawValue(key, L"Blob", type, stored));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(data, stored);

    CQRVRegistryBinary reader(key.root(), wcs(key.path()), CQRVWCharString(L"Blob"), KEY_READ, false, 0);
    ASSERT_TRUE(reader.readRegistry());
    EXPECT_TRUE(reader.m_bCacheValid);
    EXPECT_EQ(data, bytes(reader.m_bufRegBinaryCache));
    EXPECT_FALSE(reader.isOpen());

    // A read replaces the cache whatever its length was.
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"Blob", {1}));
    ASSERT_TRUE(reader.readRegistry());
    EXPECT_EQ((std::vector<unsigned char>{1}), bytes(reader.m_bufRegBinaryCache));
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryBinaryTest, MissingValueIsCreatedEmptyOnlyWithCreateFlag)
{
    QRVLogCapture log;
    QRVTestKey key;
    DWORD type = 0;
    std::vector<unsigned char> stored;

    CQRVRegistryBinary plain(key.root(), wcs(key.path()), CQRVWCharString(L"B"), KEY_READ | KEY_WRITE, false, 0);
    plain.setValue(byteBuffer({5}), true);
    EXPECT_FALSE(plain.readRegistry());
    EXPECT_EQ((std::vector<unsigned char>{5}), bytes(plain.m_bufRegBinaryCache));
    EXPECT_FALSE(rawValue(key, L"B", type, stored));

    CQRVRegistryBinary creating(key.root(), wcs(key.path()), CQRVWCharString(L"B"), KEY_READ | KEY_WRITE, true, 0);
    creating.setValue(byteBuffer({5}), true);
    EXPECT_TRUE(creating.readRegistry());
    EXPECT_EQ(0u, creating.m_bufRegBinaryCache.m_ulNumElems);
    EXPECT_TRUE(creating.m_bCacheValid);
    ASSERT_TRUE(rawValue(key, L"B", type, stored));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_TRUE(stored.empty());

    // An empty value reads back as empty data.
    CQRVRegistryBinary reader(key.root(), wcs(key.path()), CQRVWCharString(L"B"), KEY_READ, false, 0);
    EXPECT_TRUE(reader.readRegistry());
    EXPECT_EQ(0u, reader.m_bufRegBinaryCache.m_ulNumElems);
    EXPECT_TRUE(log.lines().empty());
}

TEST(RegistryBinaryTest, RefusedWriteIsLogged)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryBinary value(key.root(), wcs(key.path()), CQRVWCharString(L"Locked"), KEY_READ, false, 0);
    EXPECT_FALSE(value.setValue(byteBuffer({1, 2}), false));
    EXPECT_FALSE(value.m_bCacheValid);
    std::vector<std::wstring> lines =
        log.linesWith(L"\"Unable to Set registry value ( \"" + key.path() + L"\\Locked\" )\" ");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryBinary::writeRegistry> "));
}

TEST(RegistryBinaryTest, BinaryValuesCollectsOnlyRegBinary)
{
    QRVTestKey key;
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegistryBinaryValueList list;
    EXPECT_FALSE(regKey.getBinaryValues(list));

    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"a_dword", 1));
    EXPECT_TRUE(regKey.getBinaryValues(list));
    EXPECT_EQ(0u, list.m_ulCount);

    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"b_odd", {1, 2, 3}));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"c_sz", L"x"));
    ASSERT_TRUE(qrvtest::setBinary(key.root(), key.path(), L"d_empty", {}));
    ASSERT_TRUE(regKey.getBinaryValues(list));
    ASSERT_EQ(2u, list.m_ulCount);
    EXPECT_EQ(L"b_odd", text(list.m_pHead->m_object.m_szName));
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3}), bytes(list.m_pHead->m_object.m_bufData));
    EXPECT_EQ(0, static_cast<long>(list.m_pHead->m_lKey));
    EXPECT_EQ(L"d_empty", text(list.m_pTail->m_object.m_szName));
    EXPECT_EQ(0u, list.m_pTail->m_object.m_bufData.m_ulNumElems);
    EXPECT_EQ(1, static_cast<long>(list.m_pTail->m_lKey));

    // Records compare by name and bytes.
    CQRVRegistryBinaryValue copy(list.m_pHead->m_object);
    EXPECT_TRUE(copy == list.m_pHead->m_object);
    copy.m_bufData.m_pBuffer[2] = 9;
    EXPECT_FALSE(copy == list.m_pHead->m_object);
}
