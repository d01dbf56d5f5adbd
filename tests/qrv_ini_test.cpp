// CQRVIni against Wine's private-profile functions, on files in a folder of each
// test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_ini.h"
#include "qrv_test_support.h"

namespace {

std::wstring text(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring();
}

std::vector<std::wstring> entries(CQRVIni::StringList& list)
{
    std::vector<std::wstring> out;
    for (bool bMore = list.moveFirst(); bMore; bMore = list.moveNext()) {
        CQRVWCharString s;
        list.getCurrent(s);
        out.push_back(text(s));
    }
    return out;
}

// A folder of the test's own with one INI file written byte for byte.
class IniTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = qrvtest::makeTempFolder(L"ini");
        m_file = m_folder + L"\\test.ini";
    }
    void TearDown() override { qrvtest::removeFolder(m_folder); }

    void writeIni(const std::string& content)
    {
        ASSERT_TRUE(qrvtest::writeFile(m_file, std::vector<unsigned char>(content.begin(), content.end())));
    }
    CQRVWCharString file() const { return CQRVWCharString(m_file.c_str()); }
    std::string raw() const
    {
        std::vector<unsigned char> bytes = qrvtest::readFile(m_file);
        return std::string(bytes.begin(), bytes.end());
    }

    std::wstring m_folder;
    std::wstring m_file;
};

} // namespace

TEST_F(IniTest, GetProfileIntTreatsMinusOneLikeAMissingKey)
{
    writeIni("[S]\r\nanswer=42\r\nminus=-1\r\n");
    QRVLogCapture log;
    CQRVIni ini(file());

    int n = 0x0BADF00D;
    EXPECT_TRUE(ini.getProfileInt(L"S", L"answer", n));
    EXPECT_EQ(42, n);
    EXPECT_TRUE(log.lines().empty());

    // The default -1 and a stored -1 look the same: both fail, both leave out alone.
    struct Row { const wchar_t* section; const wchar_t* key; } rows[] = {
        { L"S", L"minus" },   // a stored -1
        { L"S", L"absent" },  // a missing key
        { L"None", L"answer" }, // a missing section
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "key " << std::string(row.key, row.key + wcslen(row.key)));
        log.clearFile();
        n = 0x0BADF00D;
        EXPECT_FALSE(ini.getProfileInt(row.section, row.key, n));
        EXPECT_EQ(0x0BADF00D, n);
        EXPECT_EQ(1u, log.linesWith(L"GetPrivateProfileInt( ) failed.").size());
        EXPECT_EQ(1u, log.lines().size());
    }
}

TEST_F(IniTest, GetProfileStringRefusesMissingEmptyNotFoundAndCutValues)
{
    const std::string v1021(1021, 'a');
    const std::string v1022(1022, 'b');
    const std::string v1023(1023, 'c');
    writeIni("[S]\r\nplain=hello world\r\nempty=\r\nliteral=Not Found\r\nv1021=" + v1021 + "\r\nv1022=" + v1022
             + "\r\nv1023=" + v1023 + "\r\n");
    QRVLogCapture log;
    CQRVIni ini(file());

    CQRVWCharString out(L"sentinel");
    EXPECT_TRUE(ini.getProfileString(L"S", L"plain", out));
    EXPECT_EQ(L"hello world", text(out));
    out = L"sentinel";
    EXPECT_TRUE(ini.getProfileString(L"S", L"v1021", out));
    EXPECT_EQ(std::wstring(1021, L'a'), text(out));

    const wchar_t* refused[] = {
        L"absent",  // the default comes back
        L"empty",   // count 0
        L"literal", // indistinguishable from the default
        L"v1022",   // counts 1022 and 1023 are read as a cut value
        L"v1023",
    };
    for (const wchar_t* key : refused) {
        SCOPED_TRACE(::testing::Message() << "key " << std::string(key, key + wcslen(key)));
        out = L"sentinel";
        EXPECT_FALSE(ini.getProfileString(L"S", key, out));
        EXPECT_EQ(L"sentinel", text(out));
    }
    // A missing value is no failure worth a record.
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(IniTest, GetProfileSectionReplacesTheListOnlyWhenTheSectionHasEntries)
{
    writeIni("[Empty]\r\n[Full]\r\na=1\r\nb = two words \r\n[Other]\r\nc=3\r\n");
    QRVLogCapture log;
    CQRVIni ini(file());

    CQRVIni::StringList list;
    list.add(CQRVWCharString(L"untouched"), 7);
    EXPECT_FALSE(ini.getProfileSection(L"Missing", list));
    EXPECT_EQ(std::vector<std::wstring>{ L"untouched" }, entries(list));
    EXPECT_FALSE(ini.getProfileSection(L"Empty", list));
    EXPECT_EQ(std::vector<std::wstring>{ L"untouched" }, entries(list));

    ASSERT_TRUE(ini.getProfileSection(L"Full", list));
    // Wine trims the blanks around names and values.
    EXPECT_EQ((std::vector<std::wstring>{ L"a=1", L"b=two words" }), entries(list));
    ASSERT_TRUE(list.moveFirst());
    EXPECT_EQ(0, list.m_pHead->m_lKey);

    ASSERT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{ L"Empty", L"Full", L"Other" }), entries(list));

    CQRVIni missing(CQRVWCharString((m_folder + L"\\absent.ini").c_str()));
    EXPECT_FALSE(missing.getProfileSectionNames(list));
    EXPECT_EQ(3u, list.m_ulCount);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(IniTest, SetProfileStringAndIntWriteEntries)
{
    QRVLogCapture log;
    CQRVIni ini(file());
    EXPECT_TRUE(ini.setProfileString(L"S", L"name", L"value with = and :"));
    EXPECT_TRUE(ini.setProfileInt(L"S", L"number", -17));
    // A value without storage is written empty: a null value would delete the entry.
    EXPECT_TRUE(ini.setProfileString(L"S", L"blank", CQRVWCharString()));

    CQRVIni::StringList list;
    ASSERT_TRUE(ini.getProfileSection(L"S", list));
    EXPECT_EQ((std::vector<std::wstring>{ L"name=value with = and :", L"number=-17", L"blank=" }), entries(list));
    int n = 0;
    EXPECT_TRUE(ini.getProfileInt(L"S", L"number", n));
    EXPECT_EQ(-17, n);

    // A nameless key would reach Windows as a null pointer and delete the section.
    EXPECT_FALSE(ini.setProfileString(L"S", CQRVWCharString(), L"x"));
    EXPECT_FALSE(ini.setProfileString(CQRVWCharString(), L"k", L"x"));
    EXPECT_EQ(2u, log.linesWith(L"must not be empty").size());
    ASSERT_TRUE(ini.getProfileSection(L"S", list));
    EXPECT_EQ(3u, list.m_ulCount);
}

TEST_F(IniTest, FailedWritesLogOneRecordForStringsAndTwoForInts)
{
    QRVLogCapture log;
    CQRVIni ini(CQRVWCharString((m_folder + L"\\no such folder\\test.ini").c_str()));

    EXPECT_FALSE(ini.setProfileString(L"Sec", L"Key", L"v"));
    std::vector<std::wstring> lines = log.lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"Unable to write profile string ( section: Sec, key name: Key )"))
        << std::string(lines[0].begin(), lines[0].end());

    log.clearFile();
    EXPECT_FALSE(ini.setProfileInt(L"Sec", L"Key", 5));
    lines = log.lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"Unable to write profile string ( section: Sec, key name: Key )"));
    EXPECT_NE(std::wstring::npos, lines[1].find(L"An unhandled exception occurred"));
}

TEST_F(IniTest, CreateProfileSectionKeepsAnExistingSection)
{
    writeIni("[Kept]\r\na=1\r\n");
    QRVLogCapture log;
    CQRVIni ini(file());

    // Wine's WritePrivateProfileSectionW without data deletes the section; the
    // entries must survive.
    EXPECT_TRUE(ini.createProfileSection(L"Kept"));
    EXPECT_TRUE(ini.createProfileSection(L"kept"));
    CQRVIni::StringList list;
    ASSERT_TRUE(ini.getProfileSection(L"Kept", list));
    EXPECT_EQ(std::vector<std::wstring>{ L"a=1" }, entries(list));

    EXPECT_TRUE(ini.createProfileSection(L"New"));
    ASSERT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{ L"Kept", L"New" }), entries(list));
    EXPECT_FALSE(ini.getProfileSection(L"New", list)); // made empty
    EXPECT_EQ(std::string::npos, raw().find("QRVPlaceholder"));
    EXPECT_TRUE(log.lines().empty());
}

// The profile functions answer a list that does not fit with size - 2; the list is
// then read again into a larger buffer, so sections and name lists of any size come
// back whole.
TEST_F(IniTest, LargeSectionsAndNameListsAreReadWhole)
{
    std::string content = "[Big]\r\n";
    for (int i = 0; i < 2000; ++i)
        content += "entry" + std::to_string(i) + "=" + std::string(30, 'v') + "\r\n"; // about 80,000 characters
    content += "last=" + std::string(70000, 'w') + "\r\n";
    for (int i = 0; i < 3000; ++i)
        content += "[Section number " + std::to_string(i) + "]\r\nk=1\r\n"; // about 60,000 characters of names
    writeIni(content);
    QRVLogCapture log;
    CQRVIni ini(file());

    CQRVIni::StringList list;
    ASSERT_TRUE(ini.getProfileSection(L"Big", list));
    const std::vector<std::wstring> got = entries(list);
    ASSERT_EQ(2001u, got.size());
    EXPECT_EQ(L"entry0=" + std::wstring(30, L'v'), got[0]);
    EXPECT_EQ(L"entry1999=" + std::wstring(30, L'v'), got[1999]);
    EXPECT_EQ(L"last=" + std::wstring(70000, L'w'), got[2000]);

    ASSERT_TRUE(ini.getProfileSectionNames(list));
    const std::vector<std::wstring> names = entries(list);
    ASSERT_EQ(3001u, names.size());
    EXPECT_EQ(L"Big", names[0]);
    EXPECT_EQ(L"Section number 2999", names[3000]);
    EXPECT_TRUE(log.lines().empty());
}

// A file made by createUnicodeFile is UTF-16: characters outside the ANSI code page
// (a surrogate pair among them) are written and read back unchanged. setProfileSection
// and appendProfileSection write the same bytes as the entries written one by one.
TEST_F(IniTest, UnicodeFilesAndWholeSectionWrites)
{
    QRVLogCapture log;
    const std::wstring value = L"\x65E5\x672C\x8A9E \x00E9 \xD83D\xDE00 \"q\"";
    CQRVIni ini(file());
    ASSERT_TRUE(ini.createUnicodeFile());
    EXPECT_EQ((std::vector<unsigned char>{ 0xFF, 0xFE }), qrvtest::readFile(m_file));
    // An existing file is left alone.
    EXPECT_FALSE(ini.createUnicodeFile());
    EXPECT_EQ(2u, qrvtest::readFile(m_file).size());

    CQRVIni::StringList lines;
    lines.add(CQRVWCharString((L"\x0416=" + value).c_str()), 0);
    lines.add(CQRVWCharString(L"b=2"), 1);
    ASSERT_TRUE(ini.setProfileSection(L"S\x00FC", lines));
    CQRVIni::StringList none;
    EXPECT_TRUE(ini.setProfileSection(L"Empty", none)); // writes nothing
    CQRVWCharString read;
    ASSERT_TRUE(ini.getProfileString(L"S\x00FC", L"\x0416", read));
    EXPECT_EQ(value, text(read));

    const std::wstring other = m_folder + L"\\single.ini";
    CQRVIni single(CQRVWCharString(other.c_str()));
    ASSERT_TRUE(single.createUnicodeFile());
    ASSERT_TRUE(single.setProfileString(L"S\x00FC", L"\x0416", CQRVWCharString(value.c_str())));
    ASSERT_TRUE(single.setProfileString(L"S\x00FC", L"b", L"2"));
    EXPECT_EQ(qrvtest::readFile(m_file), qrvtest::readFile(other));
    // Appended with one write, laid out as the profile functions lay it out.
    const std::wstring appended = m_folder + L"\\appended.ini";
    CQRVIni append(CQRVWCharString(appended.c_str()));
    ASSERT_TRUE(append.createUnicodeFile());
    ASSERT_TRUE(append.appendProfileSection(L"S\x00FC", lines));
    EXPECT_EQ(qrvtest::readFile(m_file), qrvtest::readFile(appended));
    ASSERT_TRUE(single.setProfileString(L"T", L"c", L"3"));
    CQRVIni::StringList third;
    third.add(CQRVWCharString(L"c=3"), 0);
    ASSERT_TRUE(append.appendProfileSection(L"T", third));
    EXPECT_EQ(qrvtest::readFile(other), qrvtest::readFile(appended));
    CQRVWCharString value3;
    EXPECT_TRUE(append.getProfileString(L"T", L"c", value3));
    EXPECT_EQ(L"3", text(value3));

    // A file the profile functions make themselves is ANSI: the characters are lost.
    const std::wstring ansi = m_folder + L"\\ansi.ini";
    CQRVIni plain(CQRVWCharString(ansi.c_str()));
    ASSERT_TRUE(plain.setProfileString(L"S", L"k", L"\x65E5"));
    EXPECT_EQ("[S]\r\nk=?\r\n", std::string(reinterpret_cast<const char*>(qrvtest::readFile(ansi).data()),
                                            qrvtest::readFile(ansi).size()));
    EXPECT_TRUE(log.lines().empty());
}

// A name reaches the file the profile functions reach under it: what CQRVIni writes
// WritePrivateProfileStringW reads under the same name and the other way round, each
// in the one file where the row says the name lands. Run in a current folder of the
// test's own, which a later change does not take an object's file along to.
TEST(IniNameTest, EveryNameMeansTheFileTheProfileFunctionsMean)
{
    const std::wstring folder = qrvtest::makeTempFolder(L"names");
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
    wchar_t windows[MAX_PATH] = {0};
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    qrvtest::CurrentFolderScope inFolder(folder);
    ASSERT_TRUE(inFolder.changed());
    const struct Row {
        std::wstring name;
        std::wstring landsIn;
    } rows[] = {
        { L".\\dot.ini", folder + L"\\dot.ini" },
        { L"sub\\x.ini", folder + L"\\sub\\x.ini" },
        { L"qrvtest_bare_" + tag + L".ini", std::wstring(windows) + L"\\qrvtest_bare_" + tag + L".ini" },
        { folder + L"\\full.ini", folder + L"\\full.ini" },
        { L"\\qrvtest_root_" + tag + L".ini", folder.substr(0, 2) + L"\\qrvtest_root_" + tag + L".ini" },
        { folder.substr(0, 2) + L"drive.ini", folder + L"\\drive.ini" },
    };
    QRVLogCapture log;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "name " << std::string(row.name.begin(), row.name.end()));
        CQRVIni ini(CQRVWCharString(row.name.c_str()));
        EXPECT_TRUE(ini.setProfileString(L"S", L"lib", L"1"));
        EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"api", L"2", row.name.c_str()));
        wchar_t read[16] = {0};
        GetPrivateProfileStringW(L"S", L"lib", L"", read, 16, row.name.c_str());
        EXPECT_STREQ(L"1", read);
        CQRVWCharString value;
        EXPECT_TRUE(ini.getProfileString(L"S", L"api", value));
        EXPECT_EQ(L"2", text(value));
        EXPECT_TRUE(DeleteFileW(row.landsIn.c_str())) << "not where the name lands";
    }
    CQRVIni made(L".\\made.ini");
    ASSERT_TRUE(SetCurrentDirectoryW((folder + L"\\sub").c_str()));
    EXPECT_TRUE(made.setProfileString(L"S", L"k", L"v"));
    EXPECT_TRUE(DeleteFileW((folder + L"\\made.ini").c_str())) << "the file moved with the current folder";
    EXPECT_TRUE(log.lines().empty());
    inFolder.restore();
    qrvtest::removeFolder(folder);
}
