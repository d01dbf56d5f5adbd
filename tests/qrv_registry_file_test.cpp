// CQRVRegistryFile and CQRVRegistryKey::exportKey/importKey against Wine's registry and
// profile functions. Each test exports and imports below its own key
// (HKCU\Software\QRVTests\<test>) and writes its files into its own folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <random>
#include <set>
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

// ---- generated trees ------------------------------------------------------------------

struct GenValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
    bool refused; // made so that the text file cannot carry it
};

struct GenKey {
    std::wstring path; // below HKEY_CURRENT_USER
    std::vector<GenValue> values;
    bool refused;      // its section name cannot be carried
};

// Values as this library's value classes store them (REG_SZ with its terminator, an
// empty one without; multi-strings of non-empty strings, each with its NUL, and a
// closing NUL), drawn from a wide alphabet: ASCII, quotes, '%', ',', non-Latin
// scripts, characters outside the Basic Multilingual Plane. The only names, texts and
// key names the file cannot carry are the ones made so on purpose, and flagged.
class TreeGenerator {
public:
    explicit TreeGenerator(unsigned seed) : m_rng(seed) {}

    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_rng); }
    bool chance(unsigned percent) { return pick(100) < percent; }

    // Text of n units (a surrogate pair counts two); bName keeps to units that are
    // safe in a value name and never puts a blank first or last.
    std::wstring text(size_t n, bool bName)
    {
        static const std::wstring ascii = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        static const std::wstring dataMarks = L" \"%,.;:=[]{}\\/'!?#&*()<>|~^`-_+@$\t";
        static const std::wstring nameMarks = L" \"%,.[]{}/'!?#&*()<>|~^`-_+@$";
        static const std::wstring scripts = L"\x00E9\x00FC\x00DF\x00F1\x00F8\x0141\x017D\x0416\x0436\x0414\x03A9\x03C9"
                                            L"\x65E5\x672C\x8A9E\x30C6\x30AD\x30B9\x30C8\x4E2D\x6587\xD55C\xAD6D"
                                            L"\x05E2\x05D1\x05E8\x0627\x0644\x0639\x0939\x093F\x0928\x0E44\x0E17";
        static const wchar_t* pairs[] = { L"\xD83D\xDE00", L"\xD840\xDC00", L"\xD834\xDD1E", L"\xD800\xDF48" };
        std::wstring out;
        while (out.size() < n) {
            const unsigned r = pick(100);
            if (r < 50)
                out += ascii[pick(static_cast<unsigned>(ascii.size()))];
            else if (r < 65) {
                const std::wstring& marks = bName ? nameMarks : dataMarks;
                out += marks[pick(static_cast<unsigned>(marks.size()))];
            } else if (r < 90)
                out += scripts[pick(static_cast<unsigned>(scripts.size()))];
            else if (out.size() + 2 <= n)
                out += pairs[pick(4)];
        }
        if (bName && !out.empty()) {
            if (out[0] == L' ' || out[0] == L'[')
                out[0] = L'n';
            if (out[out.size() - 1] == L' ')
                out[out.size() - 1] = L'n';
        }
        return out;
    }

    // A unique (case-insensitively) value name; one in about 25 is a name the file
    // cannot carry.
    std::wstring valueName(std::set<std::wstring>& used, bool& bRefused)
    {
        static const wchar_t* bad[] = { L"[bracket", L";comment", L" lead", L"trail ", L"a=b", L"c:d",
                                        L"line\nbreak", L"car\rriage", L"\ttab" };
        for (;;) {
            std::wstring name = text(1 + pick(24), true);
            bRefused = chance(4);
            if (bRefused) {
                const std::wstring piece = bad[pick(9)];
                name = (piece[0] == L' ' || piece[0] == L'[' || piece[0] == L';' || piece[0] == L'\t')
                           ? piece + name : name + piece;
            }
            std::wstring upper = name;
            ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
            if (used.insert(upper).second)
                return name;
        }
    }

    static std::vector<BYTE> bytesOfText(const std::wstring& s)
    {
        if (s.empty())
            return {};
        const BYTE* p = reinterpret_cast<const BYTE*>(s.c_str());
        return std::vector<BYTE>(p, p + (s.size() + 1) * 2);
    }

    // bBig asks for a value near 64 KB.
    GenValue value(std::set<std::wstring>& used, bool bBig)
    {
        GenValue v;
        v.name = valueName(used, v.refused);
        static const DWORD types[] = { REG_DWORD, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY };
        v.type = bBig ? (chance(50) ? REG_SZ : REG_BINARY) : types[pick(5)];
        switch (v.type) {
        case REG_DWORD: {
            const DWORD d = chance(10) ? 0 : chance(10) ? 0xFFFFFFFF : static_cast<DWORD>(m_rng());
            v.data.assign(reinterpret_cast<const BYTE*>(&d), reinterpret_cast<const BYTE*>(&d) + 4);
            break;
        }
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::wstring s = bBig ? text(32767 - pick(3), false) : chance(8) ? L"" : text(1 + pick(60), false);
            if (v.type == REG_EXPAND_SZ) {
                // Import refuses expandable text without a pair of '%'.
                const size_t percents = static_cast<size_t>(std::count(s.begin(), s.end(), L'%'));
                s += percents == 0 ? L"%SystemRoot%" : percents % 2 ? L"%" : L"";
            }
            if (!bBig && chance(4)) {
                s.insert(s.size() / 2, chance(50) ? L"\r\n" : L"\n");
                v.refused = true;
            }
            v.data = bytesOfText(s);
            break;
        }
        case REG_MULTI_SZ: {
            const unsigned count = chance(10) ? 0 : 1 + pick(5);
            for (unsigned i = 0; i < count; ++i) {
                const std::wstring s = text(1 + pick(30), false);
                const std::vector<BYTE> b = bytesOfText(s);
                v.data.insert(v.data.end(), b.begin(), b.end());
            }
            if (count > 0)
                v.data.insert(v.data.end(), { 0, 0 });
            break;
        }
        default: {
            const size_t n = bBig ? 65536 - pick(2) : chance(5) ? 0 : pick(80);
            for (size_t i = 0; i < n; ++i)
                v.data.push_back(static_cast<BYTE>(m_rng()));
            break;
        }
        }
        return v;
    }

    // A tree below topPath: nKeys keys (the top one first, then each below a random
    // earlier one), most with a few values, nCrowded with hundreds, nBig values near
    // 64 KB. One key in about 50 has a name its section cannot carry.
    std::vector<GenKey> tree(const std::wstring& topPath, unsigned nKeys, unsigned nCrowded, unsigned nBig)
    {
        std::vector<GenKey> keys;
        for (unsigned i = 0; i < nKeys; ++i) {
            GenKey key;
            key.refused = false;
            if (i == 0) {
                key.path = topPath;
            } else {
                const GenKey& parent = keys[pick(i)];
                std::wstring name = std::to_wstring(i) + L"_" + text(pick(12), true);
                const bool bTrailingBlank = chance(2);
                const bool bBreak = !bTrailingBlank && chance(2);
                if (bTrailingBlank)
                    name += L" ";
                if (bBreak)
                    name += L"\r\n[planted]";
                key.path = parent.path + L"\\" + name;
                // A line break stays in every section below; blanks end only this one.
                key.refused = bTrailingBlank || key.path.find_first_of(L"\r\n") != std::wstring::npos;
            }
            std::set<std::wstring> used;
            const unsigned nValues = (i > 0 && i <= nCrowded) ? 250 + pick(100) : pick(9);
            for (unsigned j = 0; j < nValues; ++j)
                key.values.push_back(value(used, false));
            keys.push_back(key);
        }
        for (unsigned b = 0; b < nBig; ++b) {
            GenKey& key = keys[pick(nKeys)];
            std::set<std::wstring> used;
            for (const GenValue& v : key.values) {
                std::wstring upper = v.name;
                ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
                used.insert(upper);
            }
            key.values.push_back(value(used, true));
        }
        return keys;
    }

private:
    std::mt19937 m_rng;
};

bool writeTree(const std::vector<GenKey>& keys)
{
    for (const GenKey& key : keys) {
        HKEY h = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr)
            != ERROR_SUCCESS)
            return false;
        for (const GenValue& v : key.values)
            if (::RegSetValueExW(h, v.name.c_str(), 0, v.type, v.data.empty() ? nullptr : v.data.data(),
                                 static_cast<DWORD>(v.data.size())) != ERROR_SUCCESS) {
                ::RegCloseKey(h);
                return false;
            }
        ::RegCloseKey(h);
    }
    return true;
}

typedef std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> ValueMap;

// Every named value of the key, as the registry holds it; empty when the key is missing.
ValueMap valuesOf(HKEY root, const std::wstring& path)
{
    ValueMap out;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return out;
    DWORD maxName = 0;
    DWORD maxData = 0;
    ::RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                       nullptr, nullptr);
    std::vector<wchar_t> name(maxName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(name.size());
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueW(h, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen) != ERROR_SUCCESS)
            break;
        if (nameLen > 0)
            out[std::wstring(name.data(), nameLen)] = std::make_pair(type, std::vector<BYTE>(data.begin(), data.begin() + dataLen));
    }
    ::RegCloseKey(h);
    return out;
}

// Every key of the subtree (the top one included) with its values.
void snapshotTree(HKEY root, const std::wstring& path, std::map<std::wstring, ValueMap>& out)
{
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return;
    out[path] = valuesOf(root, path);
    std::vector<std::wstring> children;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (::RegEnumKeyExW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(std::wstring(name, len));
    }
    ::RegCloseKey(h);
    for (const std::wstring& child : children)
        snapshotTree(root, path + L"\\" + child, out);
}

// Root and path of the key a section names, as the reader takes them apart: the root
// name before the first backslash (HKEY_LOCAL_MACHINE for any other text), or the
// whole name below HKEY_LOCAL_MACHINE when it holds no backslash.
std::pair<HKEY, std::wstring> keyOfSection(const std::wstring& section)
{
    static const std::pair<const wchar_t*, HKEY> roots[] = {
        { L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT }, { L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE },
        { L"HKEY_USERS", HKEY_USERS }, { L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG },
        { L"HKEY_CURRENT_USER", HKEY_CURRENT_USER } };
    const size_t slash = section.find(L'\\');
    if (slash == std::wstring::npos)
        return std::make_pair(HKEY_LOCAL_MACHINE, section);
    HKEY root = HKEY_LOCAL_MACHINE;
    for (const auto& r : roots)
        if (section.compare(0, slash, r.first) == 0)
            root = r.second;
    return std::make_pair(root, section.substr(slash + 1));
}

// The section names of a file, as the platform's profile functions read them.
std::vector<std::wstring> sectionNamesOf(const std::wstring& file)
{
    std::vector<wchar_t> buffer(1 << 16);
    DWORD n = 0;
    while ((n = ::GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str()))
           == buffer.size() - 2)
        buffer.resize(buffer.size() * 2);
    std::vector<std::wstring> names;
    for (size_t start = 0, i = 0; i < n; ++i)
        if (buffer[i] == 0) {
            if (i > start)
                names.push_back(std::wstring(buffer.data() + start, i - start));
            start = i + 1;
        }
    return names;
}

// The shallowest level of the path that does not exist yet (empty when all do).
std::wstring firstMissingLevel(HKEY root, const std::wstring& path)
{
    for (size_t at = 0; at != std::wstring::npos;) {
        at = path.find(L'\\', at + 1);
        const std::wstring level = path.substr(0, at);
        if (!level.empty() && !qrvtest::keyExists(root, level))
            return level;
    }
    return std::wstring();
}

std::string shown(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

std::wstring unitsAfterMark(const std::vector<unsigned char>& bytes)
{
    std::wstring units;
    const size_t start = (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) ? 2 : 0;
    for (size_t i = start; i + 1 < bytes.size(); i += 2)
        units += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    return units;
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
    // The export file as text: it must be UTF-16LE and start with the byte-order mark.
    std::wstring fileUnits() const { return unitsOf(qrvtest::readFile(m_file)); }
    static std::wstring unitsOf(const std::vector<unsigned char>& bytes)
    {
        EXPECT_TRUE(bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) << "no byte-order mark";
        std::wstring units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        return units;
    }
    void writeUnicode(const std::wstring& units)
    {
        std::vector<unsigned char> bytes = { 0xFF, 0xFE };
        for (wchar_t u : units) {
            bytes.push_back(static_cast<unsigned char>(u & 0xFF));
            bytes.push_back(static_cast<unsigned char>(u >> 8));
        }
        ASSERT_TRUE(qrvtest::writeFile(m_file, bytes));
    }
    static std::string narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

    std::wstring m_folder;
    std::wstring m_file;
};

// A value a table test writes, exports and expects back: key, name, type and bytes.
struct FixedValue {
    std::wstring key;
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
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
    // The file is UTF-16LE with its byte-order mark; a binary's dump has exactly its bytes.
    const std::wstring root = L"[HKEY_CURRENT_USER\\" + key.path();
    const std::wstring expected = root + L"]\r\n"
                                  L"Count=REG_DWORD:0x0000001A\r\n"
                                  L"Name=REG_SZ:\"ab\"\r\n"
                                + root + L"\\Hollow\\Inner]\r\n"
                                  L"Z=REG_DWORD:0x00000000\r\n"
                                + root + L"\\Sub]\r\n"
                                  L"Path=REG_SZ_EXPAND:\"%TEMP%\\x\"\r\n"
                                  L"List=REG_SZ_MULTI:41 00 00 00,42 00 43 00 00 00\r\n"
                                  L"Bytes=REG_BINARY:01 A2 03\r\n";
    EXPECT_EQ(expected, fileUnits());
    EXPECT_TRUE(log.lines().empty());

    // Without overwrite the entries go into the existing file one by one: a second
    // export changes nothing, and an entry of the file that is not in the registry stays.
    writeUnicode(expected + L"[Other]\r\nkept=1\r\n");
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, false));
    EXPECT_EQ(expected + L"[Other]\r\nkept=1\r\n", fileUnits());
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    EXPECT_EQ(expected, fileUnits());
}

TEST_F(RegistryFileTest, ExportAndImportKeepEveryType)
{
    QRVTestKey key;
    const std::wstring top = key.path();
    const std::wstring nested = key.sub(L"A\\B");
    const std::vector<FixedValue> values = {
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
        // Outside the ANSI code page, a surrogate pair among them.
        { nested, L"\x540D\x524D", REG_SZ, bytesOf(L"\x65E5\x672C\x8A9E\x30C6\x30AD\x30B9\x30C8 \x00E9 \x00FC \xD83D\xDE00", true) },
    };
    for (const FixedValue& v : values)
        ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, v.key, v.name, v.data, v.type));
    QRVLogCapture log;

    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(top.c_str()), KEY_READ);
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    const std::wstring text = fileUnits();
    EXPECT_NE(std::wstring::npos, text.find(L"DwordMax=REG_DWORD:0xFFFFFFFF\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Empty=REG_SZ:\"\"\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"None=REG_BINARY:\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Odd=REG_BINARY:10 20 30\r\n"));

    qrvtest::deleteTree(HKEY_CURRENT_USER, top);
    ASSERT_FALSE(qrvtest::keyExists(HKEY_CURRENT_USER, top));
    // The text file names its own keys: the importing key's root and path do not matter.
    CQRVRegistryKey importer(HKEY_LOCAL_MACHINE, CQRVWCharString(L"SOFTWARE\\NotUsed"), KEY_READ);
    ASSERT_TRUE(importer.importKey(file(), CQRVRegistryFile::kTextFlags));
    EXPECT_FALSE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NotUsed"));

    for (const FixedValue& v : values) {
        std::vector<BYTE> expected = v.data;
        if (v.type == REG_SZ && v.data.size() == 2)
            expected.clear(); // an empty string is written back without a terminator
        expectValue(v.key, v.name, v.type, expected);
    }
    EXPECT_TRUE(log.lines().empty());
}

// A file in the export's own plain form is read in one go, any other through the
// profile functions: both must import the same values. The same entries laid out so
// that only the profile functions read them (blank lines, blanks around "=") are the
// control.
TEST_F(RegistryFileTest, PlainFilesImportAsThroughTheProfileFunctions)
{
    QRVTestKey key;
    const std::wstring top = key.path();
    const std::vector<FixedValue> values = {
        { top, L"Text", REG_SZ, bytesOf(L" a=b; [c] \"q\" \x00E9\xD83D\xDE00 ", true) },
        { top, L"Path", REG_EXPAND_SZ, bytesOf(L"%TEMP%\\y", true) },
        { top, L"Number", REG_DWORD, { 1, 2, 3, 4 } },
        { key.sub(L"Sub"), L"Bytes", REG_BINARY, { 0x00, 0x01, 0xFE } },
        { key.sub(L"Sub"), L"List", REG_MULTI_SZ, bytesOf(std::wstring(L"x\0yz\0", 5), true) },
        { key.sub(L"Sub\\Deeper"), L"text", REG_SZ, bytesOf(L"[not a section]", true) },
    };
    for (const FixedValue& v : values)
        ASSERT_TRUE(qrvtest::setBinary(HKEY_CURRENT_USER, v.key, v.name, v.data, v.type));
    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(top.c_str()), KEY_READ);
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    const std::wstring plain = fileUnits();

    auto replaced = [](std::wstring text, const std::wstring& from, const std::wstring& to) {
        for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    };
    const struct {
        const char* layout;
        std::wstring units;
    } files[] = {
        { "plain", plain },
        { "blank lines before headers", replaced(plain, L"\r\n[", L"\r\n\r\n[") },
        { "blanks around =", replaced(plain, L"=REG_", L" = REG_") },
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.layout);
        writeUnicode(f.units);
        qrvtest::deleteTree(HKEY_CURRENT_USER, top);
        QRVLogCapture log;
        ASSERT_TRUE(CQRVRegistryFile(file()).load());
        for (const FixedValue& v : values)
            expectValue(v.key, v.name, v.type, v.data);
        EXPECT_TRUE(log.lines().empty());
    }
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
    const std::wstring text = fileUnits();
    // No leading ',' for the empty first string's empty dump.
    EXPECT_NE(std::wstring::npos, text.find(L"FirstEmpty=REG_SZ_MULTI:61 00 00 00\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"MiddleEmpty=REG_SZ_MULTI:61 00 00 00\r\n"));
    // Exported, although the import will refuse them.
    EXPECT_NE(std::wstring::npos, text.find(L"NoPair=REG_SZ_EXPAND:\"50% off\"\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Plain=REG_SZ_EXPAND:\"text\"\r\n"));
    // What would read back as something else is left out, each with a warning.
    EXPECT_EQ(std::wstring::npos, text.find(L"first"));
    EXPECT_EQ(std::wstring::npos, text.find(L"equals"));
    EXPECT_EQ(std::wstring::npos, text.find(L"colon"));
    for (const wchar_t* name : { L"Lines", L"a=b", L"c:d" })
        EXPECT_EQ(1u, log.linesWith(L"Registry value not exported, the text file cannot carry its name or data ( \"HKEY_CURRENT_USER\\"
                                    + k + L"\\" + name + L"\" )").size()) << narrow(name);

    qrvtest::deleteTree(HKEY_CURRENT_USER, k);
    CQRVRegistryKey importer(HKEY_CURRENT_USER, CQRVWCharString(k.c_str()), KEY_READ);
    ASSERT_TRUE(importer.importKey(file(), CQRVRegistryFile::kTextFlags));

    expectValue(k, L"FirstEmpty", REG_MULTI_SZ, bytesOf(std::wstring(L"a\0", 2), true));
    expectValue(k, L"MiddleEmpty", REG_MULTI_SZ, bytesOf(std::wstring(L"a\0", 2), true));
    EXPECT_FALSE(valueExists(k, L"Lines"));
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

    // A section longer than one read of the profile functions is read whole.
    expectValue(key.sub(L"Long"), L"Long", REG_SZ, bytesOf(std::wstring(40000, L'x'), true));
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

// Generated trees go out and come back: every value the file can carry returns with
// its type and bytes, every other one is named in the log and not written. Fixed
// seeds, so a failure reproduces.
TEST_F(RegistryFileTest, GeneratedTreesComeBackValueForValue)
{
    QRVTestKey key;
    size_t totalKeys = 0, totalValues = 0, totalRefused = 0, totalUnits = 0, totalFileUnits = 0;
    for (unsigned seed : { 1101u, 1102u, 1103u }) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        const std::wstring top = key.sub(L"Seed" + std::to_wstring(seed));
        TreeGenerator generator(seed);
        const std::vector<GenKey> keys = generator.tree(top, 120, 2, 6);
        ASSERT_TRUE(writeTree(keys));
        QRVLogCapture log;

        CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(top.c_str()), KEY_READ);
        ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
        const std::wstring text = fileUnits();
        qrvtest::deleteTree(HKEY_CURRENT_USER, top);
        ASSERT_FALSE(qrvtest::keyExists(HKEY_CURRENT_USER, top));
        ASSERT_TRUE(exported.importKey(file(), CQRVRegistryFile::kTextFlags));

        const std::wstring logText = unitsAfterMark(log.bytes());
        size_t refusedValues = 0, refusedSections = 0;
        for (const GenKey& k : keys) {
            SCOPED_TRACE("key " + shown(k.path));
            ValueMap expected;
            bool anyCarried = false;
            for (const GenValue& v : k.values) {
                ++totalValues;
                totalUnits += v.name.size() + v.data.size() / 2;
                if (v.refused) {
                    ++refusedValues;
                    EXPECT_NE(std::wstring::npos, logText.find(L"( \"HKEY_CURRENT_USER\\" + k.path + L"\\" + v.name + L"\" )"))
                        << "refused value " << shown(v.name) << " is not named in the log";
                    continue;
                }
                anyCarried = true;
                if (!k.refused)
                    expected[v.name] = std::make_pair(v.type, v.data);
            }
            if (k.refused && anyCarried) {
                ++refusedSections;
                EXPECT_NE(std::wstring::npos, logText.find(L"Registry key not exported, the text file cannot carry its name ( \"HKEY_CURRENT_USER\\" + k.path + L"\" )"));
            }
            const ValueMap actual = valuesOf(HKEY_CURRENT_USER, k.path);
            EXPECT_EQ(expected.size(), actual.size());
            for (const auto& e : expected) {
                auto it = actual.find(e.first);
                if (it == actual.end()) {
                    ADD_FAILURE() << "missing value " << shown(e.first);
                    continue;
                }
                EXPECT_EQ(e.second.first, it->second.first) << "type of " << shown(e.first);
                EXPECT_TRUE(e.second.second == it->second.second)
                    << "bytes of " << shown(e.first) << ": " << e.second.second.size() << " written, "
                    << it->second.second.size() << " read back";
            }
        }
        // Nothing else was refused, and nothing failed.
        size_t warnings = 0;
        for (size_t at = logText.find(L"Registry value not exported"); at != std::wstring::npos;
             at = logText.find(L"Registry value not exported", at + 1))
            ++warnings;
        EXPECT_EQ(refusedValues, warnings);
        EXPECT_EQ(refusedSections, log.linesWith(L"Registry key not exported").size());
        EXPECT_EQ(std::wstring::npos, logText.find(L"Unable to"));
        EXPECT_EQ(std::wstring::npos, logText.find(L"nhandled"));
        EXPECT_EQ(std::wstring::npos, text.find(L"planted")) << "a key's line break reached the file";
        totalKeys += keys.size();
        totalRefused += refusedValues;
        totalFileUnits += text.size();
    }
    std::cout << "[ size     ] " << totalKeys << " keys, " << totalValues << " values (" << totalRefused
              << " refused on purpose), " << totalUnits << " characters of names and data, "
              << totalFileUnits << " characters of export files" << std::endl;
}

// A key's entries written as one section (a file the export made) and one by one (a
// file that was there before) give the same bytes.
TEST_F(RegistryFileTest, WholeSectionsAndSingleEntriesWriteTheSameFile)
{
    QRVTestKey key;
    TreeGenerator generator(77);
    ASSERT_TRUE(writeTree(generator.tree(key.path(), 25, 1, 1)));
    QRVLogCapture log;
    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(key.path().c_str()), KEY_READ);

    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    const std::vector<unsigned char> whole = qrvtest::readFile(m_file);
    ASSERT_GT(whole.size(), 10000u);

    writeUnicode(L""); // an existing file holding only the byte-order mark: merged into entry by entry
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, false));
    const std::vector<unsigned char> single = qrvtest::readFile(m_file);
    EXPECT_EQ(whole.size(), single.size());
    EXPECT_TRUE(whole == single) << "first difference at byte "
                                 << (std::mismatch(whole.begin(), whole.end(), single.begin(), single.end()).first
                                     - whole.begin());

    // Without overwrite into a missing file: the export's own file again.
    ::DeleteFileW(m_file.c_str());
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, false));
    EXPECT_TRUE(whole == qrvtest::readFile(m_file));

    // The generated tree holds values the file cannot carry: warnings, and nothing else.
    EXPECT_TRUE(log.linesWith(L"Unable to").empty());
    EXPECT_FALSE(log.linesWith(L"Registry value not exported").empty());
}

// Files written before the export became UTF-16 are ANSI, with binaries padded to
// whole 16-bit units: they import as they always did.
TEST_F(RegistryFileTest, OlderAnsiFilesImportAsBefore)
{
    QRVTestKey key;
    const std::string section = "[HKEY_CURRENT_USER\\" + narrow(key.path()) + "]\r\n";
    writeText(section + "Text=REG_SZ:\"caf\xE9 \"q\"\"\r\n"
                        "Padded=REG_BINARY:01 02 03 00\r\n"
                        "None=REG_BINARY:\r\n"
                        "Count=REG_DWORD:0x0000001A\r\n"
                        "List=REG_SZ_MULTI:41 00 00 00,42 00 43 00 00 00\r\n"
                        "Path=REG_SZ_EXPAND:\"%TEMP%\\x\"\r\n");
    QRVLogCapture log;
    ASSERT_TRUE(CQRVRegistryFile(file()).load());

    // The high byte is read in the ANSI code page, whatever it is on this machine.
    wchar_t accented[2] = {};
    ASSERT_EQ(1, ::MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, accented, 1));
    expectValue(key.path(), L"Text", REG_SZ, bytesOf(std::wstring(L"caf") + accented[0] + L" \"q\"", true));
    expectValue(key.path(), L"Padded", REG_BINARY, { 0x01, 0x02, 0x03, 0x00 });
    expectValue(key.path(), L"None", REG_BINARY, {});
    expectValue(key.path(), L"Count", REG_DWORD, { 0x1A, 0, 0, 0 });
    expectValue(key.path(), L"List", REG_MULTI_SZ, bytesOf(std::wstring(L"A\0BC\0", 5), true));
    expectValue(key.path(), L"Path", REG_EXPAND_SZ, bytesOf(L"%TEMP%\\x", true));
    EXPECT_TRUE(log.lines().empty());
}

// Malformed files, made here: cut lines, unknown keywords, broken dumps, huge lines,
// binary garbage, sections naming other roots. Each imports without a crash and leaves
// every key it does not name as it was; keys it makes outside the test's own key are
// removed after each file.
TEST_F(RegistryFileTest, MalformedFilesChangeOnlyTheKeysTheyName)
{
    QRVTestKey key;
    const std::wstring target = key.sub(L"Target");
    TreeGenerator generator(4242);
    std::vector<GenKey> sentinel = generator.tree(key.sub(L"Sentinel"), 6, 0, 0);
    for (GenKey& k : sentinel)
        k.values.erase(std::remove_if(k.values.begin(), k.values.end(), [](const GenValue& v) { return v.refused; }),
                       k.values.end());
    ASSERT_TRUE(writeTree(sentinel));
    ASSERT_TRUE(writeTree(generator.tree(target, 5, 0, 0)));

    // A well-formed export of the target, in UTF-16 and in ANSI, to cut.
    CQRVRegistryKey exported(HKEY_CURRENT_USER, CQRVWCharString(target.c_str()), KEY_READ);
    ASSERT_TRUE(exported.exportKey(file(), CQRVRegistryFile::kTextFormat, true));
    const std::vector<unsigned char> unicodeBase = qrvtest::readFile(m_file);
    const std::string section = "[HKEY_CURRENT_USER\\" + narrow(target) + "]\r\n";
    const std::string ansiBase = section + "bad1=REG_DWORD:0x00000001\r\nbad2=REG_SZ:\"two\"\r\n"
                                 "[HKEY_CURRENT_USER\\" + narrow(target) + "\\Sub]\r\nbad3=REG_BINARY:01 02 03\r\n";
    ASSERT_GT(unicodeBase.size(), 1000u);

    std::vector<std::pair<std::string, std::vector<unsigned char>>> files;
    auto add = [&](const std::string& label, const std::string& text) {
        files.push_back(std::make_pair(label, std::vector<unsigned char>(text.begin(), text.end())));
    };
    // Cut lines: both bases cut at spread positions (the UTF-16 one at odd bytes too).
    for (int i = 1; i <= 12; ++i)
        files.push_back(std::make_pair("cut utf-16 " + std::to_string(i),
                                       std::vector<unsigned char>(unicodeBase.begin(),
                                                                  unicodeBase.begin() + unicodeBase.size() * i / 13 + i % 2)));
    for (int i = 1; i <= 8; ++i)
        add("cut ansi " + std::to_string(i), ansiBase.substr(0, ansiBase.size() * i / 9));
    // Unknown keywords.
    for (const char* line : { "bad=REG_QWORD:0x1", "bad=reg_sz:\"x\"", "bad=REG_SZ_EXPANDED:\"%a%\"", "bad=:",
                              "bad=REG_:", "bad=REG_DWORD :0x1", "bad=REG_MULTI_SZ:41 00 00 00", "bad=REG_NONE:" })
        add(std::string("keyword ") + line, section + line + "\r\n");
    // Broken dumps and data.
    for (const char* line : { "bad=REG_BINARY:0", "bad=REG_BINARY:4G 00", "bad=REG_BINARY:41 00 4",
                              "bad=REG_BINARY:41  00", "bad=REG_SZ_MULTI:4", "bad=REG_SZ_MULTI:41 0x,42 00",
                              "bad=REG_DWORD:0xG1", "bad=REG_DWORD:0x1FFFFFFFF", "bad=REG_SZ:\"open",
                              "bad=REG_SZ:", "bad=REG_SZ_EXPAND:\"%odd\"" })
        add(std::string("data ") + line, section + line + "\r\n");
    // Huge lines.
    add("huge string", section + "big=REG_SZ:\"" + std::string(300000, 'h') + "\"\r\n");
    add("huge garbage line", section + std::string(1000000, 'g') + "\r\n");
    add("huge section name", "[HKEY_CURRENT_USER\\" + narrow(target) + "\\" + std::string(400, 's') + "]\r\nv=REG_DWORD:0x1\r\n");
    {
        std::string dump;
        for (int i = 0; i < 100000; ++i)
            dump += i ? " AB" : "AB";
        add("huge dump", section + "dump=REG_BINARY:" + dump + "\r\n");
    }
    {
        std::string many = section;
        for (int i = 0; i < 3000; ++i)
            many += "many" + std::to_string(i) + "=REG_DWORD:0x" + std::to_string(i % 10) + "\r\n";
        add("huge section", many);
    }
    // Binary garbage, with and without the byte-order mark, some with brackets.
    std::mt19937 rng(99);
    for (int i = 0; i < 10; ++i) {
        std::vector<unsigned char> junk(1 + rng() % 20000);
        for (unsigned char& b : junk)
            b = static_cast<unsigned char>(rng());
        if (i % 2 == 0) {
            junk[0] = 0xFF;
            if (junk.size() > 1)
                junk[1] = 0xFE;
        }
        if (i % 3 == 0)
            for (size_t at = 7; at + 1 < junk.size(); at += 997)
                junk[at] = i % 2 ? '[' : '\n';
        files.push_back(std::make_pair("garbage " + std::to_string(i), junk));
    }
    // Sections naming other roots, unknown roots, no root at all.
    const std::string mark = "QRVTests_Malformed_" + std::to_string(::GetCurrentProcessId());
    for (const std::string& name : { "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + mark, "HKEY_CLASSES_ROOT\\" + mark,
                                     "HKEY_USERS\\" + mark, "HKEY_CURRENT_CONFIG\\" + mark,
                                     "HKEY_NOWHERE\\SOFTWARE\\" + mark, "hkey_current_user\\SOFTWARE\\" + mark,
                                     mark, "HKEY_LOCAL_MACHINE\\" + mark + "\\a\\\\b" })
        add("root " + name, "[" + name + "]\r\nother=REG_DWORD:0x00000007\r\n");
    ASSERT_GE(files.size(), 50u);

    QRVLogCapture log;
    for (const auto& f : files) {
        SCOPED_TRACE(f.first);
        ASSERT_TRUE(qrvtest::writeFile(m_file, f.second));
        // The keys the file names (and their missing levels, made on the way).
        std::vector<std::pair<HKEY, std::wstring>> named;
        std::vector<std::pair<HKEY, std::wstring>> made;
        for (const std::wstring& name : sectionNamesOf(m_file)) {
            named.push_back(keyOfSection(name));
            const std::wstring missing = firstMissingLevel(named.back().first, named.back().second);
            if (!missing.empty() && (named.back().first != HKEY_CURRENT_USER || missing.find(key.path()) != 0))
                made.push_back(std::make_pair(named.back().first, missing));
        }
        std::map<std::wstring, ValueMap> before;
        snapshotTree(HKEY_CURRENT_USER, key.path(), before);

        EXPECT_TRUE(CQRVRegistryFile(file()).load());

        std::map<std::wstring, ValueMap> after;
        snapshotTree(HKEY_CURRENT_USER, key.path(), after);
        auto isNamed = [&](const std::wstring& path) {
            for (const auto& n : named)
                if (n.first == HKEY_CURRENT_USER && (n.second == path || n.second.find(path + L"\\") == 0))
                    return true;
            return false;
        };
        for (const auto& k : after) {
            if (isNamed(k.first))
                continue;
            auto old = before.find(k.first);
            EXPECT_TRUE(old != before.end()) << "key made that the file does not name: " << shown(k.first);
            EXPECT_TRUE(old == before.end() || old->second == k.second) << "key changed: " << shown(k.first);
        }
        for (const auto& k : before)
            EXPECT_TRUE(after.count(k.first)) << "key lost: " << shown(k.first);
        for (const auto& m : made)
            qrvtest::deleteTree(m.first, m.second);
    }
    // The keywords and dumps that do not parse write nothing.
    const ValueMap imported = valuesOf(HKEY_CURRENT_USER, target);
    EXPECT_EQ(0u, imported.count(L"bad")) << "type " << (imported.count(L"bad") ? imported.at(L"bad").first : 0)
                                          << ", " << (imported.count(L"bad") ? imported.at(L"bad").second.size() : 0)
                                          << " bytes";
    std::cout << "[ size     ] " << files.size() << " malformed files" << std::endl;
}


// A file name means the file the profile functions mean by it, for the export, a
// second export into it, a write of the platform's own and the import: a bare name
// (the Windows folder), names with a folder (the current folder) and a full path,
// each with a key whose file the import reads in one go and with one whose TAB sends
// it through the profile functions.
TEST(RegistryFileNameTest, NamesMeanTheFileTheProfileFunctionsMean)
{
    wchar_t windows[MAX_PATH] = {0};
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    const std::wstring folder = qrvtest::makeTempFolder(L"regnames");
    qrvtest::CurrentFolderScope inFolder(folder);
    ASSERT_TRUE(inFolder.changed());
    const std::wstring bare = L"qrvtest_bare_" + tag + L".txt";
    struct Row {
        std::wstring name;    // as the caller gives it
        std::wstring landsIn; // where the profile functions put it
        const wchar_t* text;  // the REG_SZ value
    } rows[] = {
        { bare, std::wstring(windows) + L"\\" + bare, L"plain" },
        { bare, std::wstring(windows) + L"\\" + bare, L"tab\there" },
        { L".\\x.txt", folder + L"\\x.txt", L"plain" },
        { L"sub\\x.txt", folder + L"\\sub\\x.txt", L"plain" },
        { L"sub\\x.txt", folder + L"\\sub\\x.txt", L"tab\there" },
        { folder + L"\\full.txt", folder + L"\\full.txt", L"tab\there" },
    };
    QRVLogCapture log;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "file " << std::string(row.name.begin(), row.name.end()) << ", text "
                                          << std::string(row.text, row.text + wcslen(row.text)));
        QRVTestKey first(L"NameFirst");
        QRVTestKey second(L"NameSecond");
        ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, first.path(), L"Text", row.text));
        ASSERT_TRUE(qrvtest::setDword(HKEY_CURRENT_USER, first.sub(L"Sub"), L"Count", 7));
        ASSERT_TRUE(qrvtest::setString(HKEY_CURRENT_USER, second.path(), L"Other", L"second"));

        CQRVRegistryKey firstKey(HKEY_CURRENT_USER, CQRVWCharString(first.path().c_str()), KEY_READ);
        CQRVRegistryKey secondKey(HKEY_CURRENT_USER, CQRVWCharString(second.path().c_str()), KEY_READ);
        const CQRVWCharString name(row.name.c_str());
        ASSERT_TRUE(firstKey.exportKey(name, CQRVRegistryFile::kTextFormat, true));
        // Without overwrite, the second key's entries go into the same file.
        ASSERT_TRUE(secondKey.exportKey(name, CQRVRegistryFile::kTextFormat, false));
        const std::wstring section = L"HKEY_CURRENT_USER\\" + first.path();
        wchar_t read[64] = {0};
        GetPrivateProfileStringW(section.c_str(), L"Text", L"", read, 64, row.name.c_str());
        EXPECT_EQ(L"REG_SZ:\"" + std::wstring(row.text) + L"\"", read);
        ASSERT_TRUE(WritePrivateProfileStringW(section.c_str(), L"Api", L"REG_SZ:\"api\"", row.name.c_str()));

        qrvtest::deleteTree(HKEY_CURRENT_USER, first.path());
        qrvtest::deleteTree(HKEY_CURRENT_USER, second.path());
        ASSERT_TRUE(firstKey.importKey(name, CQRVRegistryFile::kTextFlags));
        std::wstring text;
        DWORD count = 0;
        EXPECT_TRUE(qrvtest::getString(HKEY_CURRENT_USER, first.path(), L"Text", text) && text == row.text);
        EXPECT_TRUE(qrvtest::getString(HKEY_CURRENT_USER, first.path(), L"Api", text) && text == L"api");
        EXPECT_TRUE(qrvtest::getDword(HKEY_CURRENT_USER, first.sub(L"Sub"), L"Count", count) && count == 7);
        EXPECT_TRUE(qrvtest::getString(HKEY_CURRENT_USER, second.path(), L"Other", text) && text == L"second");
        EXPECT_TRUE(DeleteFileW(row.landsIn.c_str())) << "not where the name lands";
    }
    EXPECT_TRUE(log.lines().empty());
    inFolder.restore();
    qrvtest::removeFolder(folder);
}
