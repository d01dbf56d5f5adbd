// CQRVRegistryStringExpand and the key's REG_EXPAND_SZ collector, against the real
// registry below a key of each test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_registry_expand.h"
#include "qrv_test_support.h"

namespace {

using qrvtest::text;
using qrvtest::wcs;

bool rawType(const QRVTestKey& key, const wchar_t* name, DWORD& type)
{
    std::vector<BYTE> data;
    return qrvtest::rawValue(key, name, type, data);
}

const wchar_t kRefusal[] =
    L"\"A bad argument was provided ( m_szRegStringCache ). value doesn't represent an expandable value which is "
    L"required\"";

} // namespace

TEST(RegistryStringExpandTest, WriteNeedsAnEvenNonZeroNumberOfPercentSigns)
{
    QRVLogCapture log;
    QRVTestKey key;
    struct Row {
        const wchar_t* value;
        bool written;
    } rows[] = {
        {L"plain", false},           // no "%"
        {L"50% off", false},         // one
        {L"%SystemRoot%\\x", true},  // two around a name
        {L"%a%%b%%", false},         // five
        {L"%A%\\%B%", true},         // four
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << n);
        std::wstring name = L"v" + std::to_wstring(n++);
        log.clearFile();
        CQRVRegistryStringExpand value(key.root(), wcs(key.path()), wcs(name), KEY_READ | KEY_WRITE, false, 0);
        EXPECT_EQ(row.written, value.setValue(CQRVWCharString(row.value), false));
        EXPECT_EQ(row.written, value.m_bCacheValid);
        EXPECT_FALSE(value.isOpen());
        DWORD type = 0;
        EXPECT_EQ(row.written, rawType(key, name.c_str(), type));
        if (row.written) {
            EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
            EXPECT_TRUE(log.lines().empty());
        } else {
            std::vector<std::wstring> lines = log.linesWith(kRefusal);
            ASSERT_EQ(1u, lines.size());
            EXPECT_NE(std::wstring::npos, lines[0].find(L"<qrv_registry_expand.cpp, "));
        }
    }
}

TEST(RegistryStringExpandTest, GetValueExpandsOnlyWhenAsked)
{
    QRVTestKey key;
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_EXPAND_TEST", L"middle"));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"E", L"a%QRV_EXPAND_TEST%b", REG_EXPAND_SZ));
    CQRVRegistryStringExpand value(key.root(), wcs(key.path()), CQRVWCharString(L"E"), KEY_READ, false, 0);

    CQRVWCharString out;
    ASSERT_TRUE(value.getValue(out, false, false));
    EXPECT_EQ(L"a%QRV_EXPAND_TEST%b", text(out));
    ASSERT_TRUE(value.getValue(out, false, true));
    EXPECT_EQ(L"amiddleb", text(out));
    // The inherited form gives the raw text.
    ASSERT_TRUE(value.getValue(out, false));
    EXPECT_EQ(L"a%QRV_EXPAND_TEST%b", text(out));
    EXPECT_FALSE(value.isOpen());

    // A variable that is not set stays as written.
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_EXPAND_TEST", nullptr));
    ASSERT_TRUE(value.getValue(out, false, true));
    EXPECT_EQ(L"a%QRV_EXPAND_TEST%b", text(out));

    CQRVRegistryStringExpand missing(key.root(), wcs(key.path()), CQRVWCharString(L"None"), KEY_READ, false, 0);
    CQRVWCharString untouched(L"keep");
    EXPECT_FALSE(missing.getValue(untouched, false, true));
    EXPECT_EQ(L"keep", text(untouched));
}

TEST(RegistryStringExpandTest, MissingValueCannotBeCreatedEmpty)
{
    QRVLogCapture log;
    QRVTestKey key;
    // The create path writes an empty text, which has no "%" and is refused.
    CQRVRegistryStringExpand value(key.root(), wcs(key.path()), CQRVWCharString(L"New"), KEY_READ | KEY_WRITE, true,
                                   0);
    CQRVWCharString out;
    EXPECT_FALSE(value.getValue(out, false, false));
    DWORD type = 0;
    EXPECT_FALSE(rawType(key, L"New", type));
    EXPECT_EQ(1u, log.linesWith(kRefusal).size());
}

TEST(RegistryStringExpandTest, RefusedWriteNamesTheExpandClass)
{
    QRVLogCapture log;
    QRVTestKey key;
    CQRVRegistryStringExpand value(key.root(), wcs(key.path()), CQRVWCharString(L"E"), KEY_READ, false, 0);
    EXPECT_FALSE(value.setValue(CQRVWCharString(L"%X%"), false));
    std::vector<std::wstring> lines = log.linesWith(L"\"Unable to Set registry value ( \"" + key.path() + L"\\E\" )\"");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CQRVRegistryStringExpand::writeRegistry> "));
}

TEST(RegistryStringExpandTest, ExpandStringValuesRawOrExpanded)
{
    QRVTestKey key;
    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_EXPAND_BULK", L"X"));
    CQRVRegistryKey regKey(key.root(), wcs(key.path()), KEY_READ, false, 0);
    CQRVRegistryStringValueList list;
    EXPECT_FALSE(regKey.getExpandStringValues(list, true));

    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"a_sz", L"%QRV_EXPAND_BULK%"));
    EXPECT_TRUE(regKey.getExpandStringValues(list, true));
    EXPECT_EQ(0u, list.m_ulCount);

    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"b_exp", L"<%QRV_EXPAND_BULK%>", REG_EXPAND_SZ));
    ASSERT_TRUE(qrvtest::setDword(key.root(), key.path(), L"c_dword", 1));
    ASSERT_TRUE(qrvtest::setString(key.root(), key.path(), L"d_exp", L"no vars", REG_EXPAND_SZ));

    ASSERT_TRUE(regKey.getExpandStringValues(list, false));
    ASSERT_EQ(2u, list.m_ulCount);
    EXPECT_EQ(L"b_exp", text(list.m_pHead->m_object.m_szName));
    EXPECT_EQ(L"<%QRV_EXPAND_BULK%>", text(list.m_pHead->m_object.m_szValue));
    EXPECT_EQ(1, static_cast<long>(list.m_pHead->m_pNext->m_lKey));

    ASSERT_TRUE(regKey.getExpandStringValues(list, true));
    ASSERT_EQ(2u, list.m_ulCount);
    EXPECT_EQ(L"<X>", text(list.m_pHead->m_object.m_szValue));
    EXPECT_EQ(L"no vars", text(list.m_pHead->m_pNext->m_object.m_szValue));
    SetEnvironmentVariableW(L"QRV_EXPAND_BULK", nullptr);
}
