// CQRVRegistryFile and CQRVRegistryKey::exportKey/importKey against Wine's registry and
// profile functions. Each test exports and imports below its own key
// (HKCU\Software\QRVTests\<test>) and writes its files into its own folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_registry_file.h"
#include "qrv_registry_key.h"
#include "qrv_registry_multi_string.h"
#include "qrv_test_support.h"

namespace {

std::vector<BYTE> bytesOf(const std::wstring& units, bool withTerminator)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(units.c_str());
    return std::vector<BYTE>(p, p + (units.size() + (withTerminator ? 1 : 0)) * sizeof(wchar_t));
}

bool valueExists(const std::wstring& key, const wchar_t* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return qrvtest::rawValue(HKEY_CURRENT_USER, key, name, type, data);
}

std::string hex(const std::vector<BYTE>& data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (BYTE b : data) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Expects the value to be stored with this type and these bytes.
void expectValue(const std::wstring& key, const wchar_t* name, DWORD expectedType, const std::vector<BYTE>& expected)
{
    SCOPED_TRACE(::testing::Message() << "value " << std::string(name, name + wcslen(name)));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(qrvtest::rawValue(HKEY_CURRENT_USER, key, name, type, data)) << "missing";
    EXPECT_EQ(expectedType, type);
    EXPECT_EQ(hex(expected), hex(data));
}

class RegistryFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = qrvtest::makeTempFolder(L"regfile");
        m_file = m_folder + L"\\export.ini";
    }
    void TearDown() override { qrvtest::removeFolder(m_folder); }

    CQRVWCharString file() const { return CQRVWCharString(m_file.c_str()); }
    std::string fileText() const
    {
        std::vector<unsigned char> bytes = qrvtest::readFile(m_file);
        return std::string(bytes.begin(), bytes.end());
    }
    void writeText(const std::string& text)
    {
        ASSERT_TRUE(qrvtest::writeFile(m_file, std::vector<unsigned char>(text.begin(), text.end())));
    }
    static std::string narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

    std::wstring m_folder;
    std::wstring m_file;
};

} // namespace

TEST_F(RegistryFileTest, SmallTreeIsWrittenExactly)
{
    QRVTestKey key;
    const std::wstring sub = key.sub(L"Sub");
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, key.path(), L"Name", L"ab"));
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, key.path(), L"Count", 26));
    ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, sub, L"Bytes", { 0x01, 0xA2, 0x03 }));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, sub, L"Path", L"%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, sub, L"List", bytesOf(std::wstring(L"A\0BC\0", 5), true),
                                   REG_MULTI_SZ));
    // A key without values gets no section of its own, but its sub-keys do.
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, key.sub(L"Hollow\\Inner"), L"Z", 0));
    QRVLogCapture log;

    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(key.path().c_str()), KEY_READ);
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    EXPECT_FALSE(exported.isOpen());

    // Depth first; DWORDs before strings within a key; Wine's profile writer puts CR LF
    // after every line.
    const std::string root = "[HKEY_CURRENT_USER\\" + narrow(key.path());
    const std::string expected = root + "]\r\n"
                                 "Count=REG_DWORD:0x0000001A\r\n"
                                 "Name=REG_SZ:\"ab\"\r\n"
                               + root + "\\Hollow\\Inner]\r\n"
                                 "Z=REG_DWORD:0x00000000\r\n"
                               + root + "\\Sub]\r\n"
                                 "Path=REG_SZ_EXPAND:\"%TEMP%\\x\"\r\n"
                                 "List=REG_SZ_MULTI:41 00 00 00,42 00 43 00 00 00\r\n"
                                 "Bytes=REG_BINARY:01 A2 03 00\r\n";
    EXPECT_EQ(expected, fileText());
    EXPECT_TRUE(log.lines().empty());

    // Without overwrite the entries go into the existing file one by one: a second
    // export changes nothing, and an entry of the file that is not in the registry stays.
    writeText(expected + "[Other]\r\nkept=1\r\n");
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, false));
    EXPECT_EQ(expected + "[Other]\r\nkept=1\r\n", fileText());
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    EXPECT_EQ(expected, fileText());
}

TEST_F(RegistryFileTest, ExportAndImportKeepEveryType)
{
    QRVTestKey key;
    const std::wstring top = key.path();
    const std::wstring nested = key.sub(L"A\\B");
    struct Value {
        std::wstring key;
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const std::vector<Value> values = {
        { top, L"DwordZero", REG_DWORD, std::vector<BYTE>(4, 0) },
        { top, L"DwordMax", REG_DWORD, std::vector<BYTE>(4, 0xFF) },
        { top, L"Quoted", REG_SZ, bytesOf(L"say \"hi\" \"", true) },
        { top, L"Empty", REG_SZ, bytesOf(L"", true) },
        { top, L"Spaces", REG_SZ, bytesOf(L"  padded  ", true) },
        { key.sub(L"A"), L"Pair", REG_EXPAND_SZ, bytesOf(L"%SystemRoot%\\x;%TEMP%", true) },
        { nested, L"Odd", REG_BINARY, { 0x10, 0x20, 0x30 } },
        { nested, L"Even", REG_BINARY, { 0xFF, 0x00 } },
        { nested, L"None", REG_BINARY, {} },
        { nested, L"Multi", REG_MULTI_SZ, bytesOf(std::wstring(L"one\0two\0", 8), true) },
        { nested, L"Unicode", REG_SZ, bytesOf(L"\x00E9t\x00E9 \x20AC", true) },
    };
    for (const Value& v : values)
        ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, v.key, v.name, v.data, v.type));
    QRVLogCapture log;

    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(top.c_str()), KEY_READ);
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    const std::string text = fileText();
    EXPECT_NE(std::string::npos, text.find("DwordMax=REG_DWORD:0xFFFFFFFF\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Empty=REG_SZ:\"\"\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("None=REG_BINARY:\r\n")) << text;

    qrvtest::deleteTree(HKEY_CURRENT_USER, top);
    ASSERT_FALSE(qrvtest::keyExists(HKEY_CURRENT_USER, top));
    // The text file names its own keys: the importing key's root and path do not matter.
    CQRVRegistryKey importer(HKEY_LOCAL_MACHINE, CQRVWCharString(L"SOFTWARE\\NotUsed"), KEY_READ);
    ASSERT_TRUE(importer.importKey(file(), CQRVRegistryFile::kTextFlags));
    EXPECT_FALSE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NotUsed"));

    for (const Value& v : values) {
        std::vector<BYTE> expected = v.data;
        if (v.type == REG_BINARY && expected.size() % 2 != 0)
            expected.push_back(0); // odd binary data comes back padded to whole 16-bit units
        if (v.type == REG_SZ && v.data.size() == 2)
            expected.clear(); // an empty string is written back without a terminator
        expectValue(v.key, v.name, v.type, expected);
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(RegistryFileTest, EmptyMultiStringsAndWhatDoesNotSurvive)
{
    QRVTestKey key;
    const std::wstring k = key.path();
    // An empty first string is a string of its own; after an empty middle string the
    // registry's double NUL ends the list.
    ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, k, L"FirstEmpty", bytesOf(std::wstring(L"\0a\0", 3), true),
                                   REG_MULTI_SZ));
    ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, k, L"MiddleEmpty",
                                   bytesOf(std::wstring(L"a\0\0b\0", 5), true), REG_MULTI_SZ));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, k, L"Lines", L"first\r\nsecond"));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, k, L"a=b", L"equals"));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, k, L"c:d", L"colon"));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, k, L"NoPair", L"50% off", REG_EXPAND_SZ));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, k, L"Plain", L"text", REG_EXPAND_SZ));
    QRVLogCapture log;

    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(k.c_str()), KEY_READ);
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    const std::string text = fileText();
    // No leading ',' for the empty first string's empty dump.
    EXPECT_NE(std::string::npos, text.find("FirstEmpty=REG_SZ_MULTI:61 00 00 00\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("MiddleEmpty=REG_SZ_MULTI:61 00 00 00\r\n")) << text;
    // Exported, although the import will refuse them.
    EXPECT_NE(std::string::npos, text.find("NoPair=REG_SZ_EXPAND:\"50% off\"\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Plain=REG_SZ_EXPAND:\"text\"\r\n")) << text;

    qrvtest::deleteTree(HKEY_CURRENT_USER, k);
    CQRVRegistryKey importer(HKEY_CURRENT_USER, CQRVWCharString(k.c_str()), KEY_READ);
    ASSERT_TRUE(importer.importKey(file(), CQRVRegistryFile::kTextFlags));

    expectValue(k, L"FirstEmpty", REG_MULTI_SZ, bytesOf(std::wstring(L"a\0", 2), true));
    expectValue(k, L"MiddleEmpty", REG_MULTI_SZ, bytesOf(std::wstring(L"a\0", 2), true));
    // The line break splits the entry: its quoted text never closes, so it is passed over.
    EXPECT_FALSE(valueExists(k, L"Lines"));
    // A '=' in the name moves the keyword; a ':' before the '=' leaves none.
    EXPECT_FALSE(valueExists(k, L"a=b"));
    EXPECT_FALSE(valueExists(k, L"a"));
    EXPECT_FALSE(valueExists(k, L"c:d"));
    // Expandable strings need a pair of '%'.
    EXPECT_FALSE(valueExists(k, L"NoPair"));
    EXPECT_FALSE(valueExists(k, L"Plain"));
    EXPECT_EQ(2u, log.linesWith(L"value doesn't represent an expandable value which is required").size());
}

TEST_F(RegistryFileTest, MalformedEntriesAreSkippedAndOtherValuesLeftAlone)
{
    QRVTestKey key;
    const std::wstring k = key.path();
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, k, L"Existing", 5));
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, k, L"Nine", 6));
    ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, k, L"", L"default stays"));
    const std::string section = "[HKEY_CURRENT_USER\\" + narrow(k) + "]\r\n";
    const std::string longLine = "Long=REG_SZ:\"" + std::string(40000, 'x') + "\"\r\n";
    writeText(section +
              "Good=REG_DWORD:0x00000007\r\n"
              "no equals sign\r\n"
              "NoColon=REG_DWORD\r\n"
              "Colon:First=REG_DWORD:0x1\r\n"
              "=REG_SZ:\"nameless\"\r\n"
              "Unknown=REG_QWORD:0x1\r\n"
              "Lower=reg_dword:0x1\r\n"
              "Nine=REG_DWORD:0x123456789\r\n"
              "Blank=REG_DWORD:   \r\n"
              "NotHex=REG_DWORD:0xZZ\r\n"
              "OddDump=REG_BINARY:41 0\r\n"
              "BadDump=REG_BINARY:4G 00\r\n"
              "BadMulti=REG_SZ_MULTI:41 00 00 00,4\r\n"
              "Unquoted=REG_SZ:bare\r\n"
              "GoodText=REG_SZ:\"kept\"\r\n"
              "GoodBytes=REG_BINARY:0a 0B\r\n"
              "[HKEY_CURRENT_USER\\" + narrow(key.sub(L"Long")) + "]\r\n" + longLine);
    QRVLogCapture log;

    CQRVRegistryKey importer(HKEY_CURRENT_USER, CQRVWCharString(k.c_str()), KEY_READ);
    ASSERT_TRUE(importer.importKey(file(), CQRVRegistryFile::kTextFlags));

    DWORD dw = 0;
    EXPECT_TRUE(qrvtest::getDword(HKEY_CURRENT_USER, k, L"Good", dw));
    EXPECT_EQ(7u, dw);
    expectValue(k, L"GoodText", REG_SZ, bytesOf(L"kept", true));
    expectValue(k, L"GoodBytes", REG_BINARY, { 0x0A, 0x0B });
    EXPECT_TRUE(qrvtest::getDword(HKEY_CURRENT_USER, k, L"Existing", dw));
    EXPECT_EQ(5u, dw);
    EXPECT_TRUE(qrvtest::getDword(HKEY_CURRENT_USER, k, L"Nine", dw));
    EXPECT_EQ(6u, dw);
    std::wstring defaultValue;
    EXPECT_TRUE(qrvtest::getString(HKEY_CURRENT_USER, k, L"", defaultValue));
    EXPECT_EQ(L"default stays", defaultValue);
    const wchar_t* skipped[] = { L"NoColon", L"Colon", L"Unknown", L"Lower", L"Blank", L"NotHex",
                                 L"OddDump", L"BadDump", L"BadMulti", L"Unquoted", L"no equals sign" };
    for (const wchar_t* name : skipped)
        EXPECT_FALSE(valueExists(k, name)) << narrow(name);
    // The nine-digit DWORD is the only entry that leaves a record (the conversion's).
    EXPECT_EQ(1u, log.linesWith(L"too many hex digits in string").size());

    // A section too long for one read is passed over as a whole.
    EXPECT_FALSE(valueExists(key.sub(L"Long"), L"Long"));
}

TEST_F(RegistryFileTest, SectionsWithUnknownOrMissingRootsLandBelowLocalMachine)
{
    const std::wstring name = L"QRVTests_RegistryFile_" + std::to_wstring(GetCurrentProcessId());
    const std::wstring unknownPath = L"SOFTWARE\\" + name;
    writeText("[HKEY_NOWHERE\\" + narrow(unknownPath) + "]\r\nA=REG_DWORD:0x00000001\r\n"
              "[" + narrow(name) + "]\r\nB=REG_DWORD:0x00000002\r\n");
    QRVLogCapture log;

    CQRVRegistryFile registryFile(file());
    EXPECT_TRUE(registryFile.load());
    DWORD dw = 0;
    EXPECT_TRUE(qrvtest::getDword(HKEY_LOCAL_MACHINE, unknownPath, L"A", dw));
    EXPECT_EQ(1u, dw);
    EXPECT_TRUE(qrvtest::getDword(HKEY_LOCAL_MACHINE, name, L"B", dw));
    EXPECT_EQ(2u, dw);
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, unknownPath);
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, name);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(RegistryFileTest, MissingFilesAndEmptyKeys)
{
    QRVTestKey key;
    QRVLogCapture log;
    // Importing a missing file changes nothing and succeeds.
    CQRVRegistryKey importer(HKEY_CURRENT_USER, CQRVWCharString(key.path().c_str()), KEY_READ);
    EXPECT_TRUE(importer.importKey(CQRVWCharString((m_folder + L"\\absent.ini").c_str()),
                                   CQRVRegistryFile::kTextFlags));
    EXPECT_FALSE(valueExists(key.path(), L"anything"));

    // A key without values or sub-keys writes no section; the file is not even made.
    EXPECT_TRUE(importer.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    EXPECT_TRUE(qrvtest::readFile(m_file).empty());
    EXPECT_TRUE(log.lines().empty());

    // The export makes the file's folder, every missing level of it.
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, key.path(), L"V", 1));
    const std::wstring deep = m_folder + L"\\one\\two\\deep.ini";
    EXPECT_TRUE(importer.exportKey(CQRVWCharString(deep.c_str()), CQRVRegistryFile::kTextFormat, true));
    EXPECT_FALSE(qrvtest::readFile(deep).empty());

    // No file name at all.
    EXPECT_FALSE(importer.exportKey(CQRVWCharString(), CQRVRegistryFile::kTextFormat, true));
    EXPECT_FALSE(importer.importKey(CQRVWCharString(), CQRVRegistryFile::kTextFlags));
    EXPECT_EQ(2u, log.linesWith(L"filename must be non-null").size());
}

TEST_F(RegistryFileTest, HiveFormSavesWithTheBackupPrivilege)
{
    QRVTestKey key;
    ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, key.path(), L"V", 1));
    QRVLogCapture log;
    const std::wstring hive = m_folder + L"\\key.hiv";
    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(key.path().c_str()), KEY_READ);

    EXPECT_TRUE(exported.exportKey(CQRVWCharString(hive.c_str()), 0, true));
    EXPECT_FALSE(exported.isOpen());
    EXPECT_FALSE(qrvtest::readFile(hive).empty());
    EXPECT_TRUE(log.lines().empty());

    // On Windows RegSaveKeyW refuses an existing file (ERROR_ALREADY_EXISTS), which is
    // why overwrite deletes it first; Wine's RegSaveKeyW replaces the file, so without
    // overwrite the save succeeds here as well.
    EXPECT_TRUE(exported.exportKey(CQRVWCharString(hive.c_str()), 0, false));
    EXPECT_TRUE(log.lines().empty());

    // A save that fails is reported with the key's path.
    const std::wstring nowhere = m_folder + L"\\missing\\key.hiv";
    EXPECT_FALSE(exported.exportKey(CQRVWCharString(nowhere.c_str()), 0, true));
    EXPECT_EQ(1u, log.linesWith(L"Unable to save registry key ( \"" + key.path() + L"\" )").size());
    EXPECT_FALSE(exported.isOpen());

    // Wine's RegRestoreKeyW is a stub that returns success and changes nothing, so only
    // the call path (privilege, open, close) can be checked here.
    log.clearFile();
    CQRVRegistryKey restored(HKEY_CURRENT_USER, CQRVWCharString(key.sub(L"Restored").c_str()), KEY_READ | KEY_WRITE,
                             true);
    EXPECT_TRUE(restored.importKey(CQRVWCharString(hive.c_str()), REG_FORCE_RESTORE));
    EXPECT_FALSE(restored.isOpen());
    EXPECT_TRUE(log.lines().empty());
}
