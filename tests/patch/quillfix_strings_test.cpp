// The resources of quillfix.exe itself: the sixteen string tables (read per language
// with FindResourceExW, so no fallback can hide a missing table), the manifest and
// the version block. The program is found beside this build's tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillfix_resource.h"

namespace {

const wchar_t kProductName[] = L"Quellant - Password Manager";
const wchar_t kProductNameNoBlanks[] = L"Quellant-Password Manager";

struct Language {
    LANGID langId;
    const char* name;
};

const Language kLanguages[] = {
    {0x0004, "Chinese (neutral, Traditional texts)"},
    {0x0804, "Chinese (Simplified)"},
    {0x0406, "Danish"},
    {0x0007, "German (neutral)"},
    {0x0409, "English (United States)"},
    {0x0C0A, "Spanish (modern sort)"},
    {0x040B, "Finnish"},
    {0x040C, "French"},
    {0x0410, "Italian"},
    {0x0411, "Japanese"},
    {0x0412, "Korean"},
    {0x0413, "Dutch"},
    {0x0414, "Norwegian (Bokmal)"},
    {0x0416, "Portuguese (Brazil)"},
    {0x0816, "Portuguese (Portugal)"},
    {0x041D, "Swedish"},
};

const UINT kEveryLanguageIds[] = {IDS_OS_NOT_SUPPORTED,    IDS_UPDATE_FILE_FAILED,  IDS_RESTORE_FILE_FAILED,
                                  IDS_WRONG_VERSION,       IDS_CAPTION,             IDS_RESTART_NEEDED,
                                  IDS_UNINSTALL_COMPLETED, IDS_ALREADY_INSTALLED,   IDS_NOTHING_TO_RESTORE,
                                  IDS_SUITE_NOT_INSTALLED, IDS_INSTALL_FAILED,      IDS_UNINSTALL_FAILED};

// The patch-log lines that take the target path.
const UINT kPathLineIds[] = {IDS_UPDATE_FILE_FAILED, IDS_RESTORE_FILE_FAILED};

// Each removal text and the installation text it was written after: a table that
// copied the installation's text unchanged would tell an administrator the wrong thing.
const struct {
    UINT uRemovalId;
    UINT uInstallId;
} kRemovalCounterparts[] = {
    {IDS_UNINSTALL_COMPLETED, IDS_RESTART_NEEDED},
    {IDS_NOTHING_TO_RESTORE, IDS_ALREADY_INSTALLED},
    {IDS_UNINSTALL_FAILED, IDS_INSTALL_FAILED},
    {IDS_RESTORE_FILE_FAILED, IDS_UPDATE_FILE_FAILED},
};

std::wstring quillfixPath()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, n);
    std::wstring folder = self.substr(0, self.find_last_of(L"\\/") + 1);
    // tests\<name>.exe and patch\quillfix.exe live side by side in the build tree.
    return folder + L"..\\patch\\quillfix.exe";
}

size_t countOf(const std::wstring& text, const std::wstring& piece)
{
    size_t count = 0;
    for (size_t pos = text.find(piece); pos != std::wstring::npos; pos = text.find(piece, pos + 1))
        ++count;
    return count;
}

class QuillfixResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hModule = LoadLibraryExW(quillfixPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_hModule) << "cannot open " << std::string(quillfixPath().begin(), quillfixPath().end())
                                      << ", error " << GetLastError();
    }
    void TearDown() override
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }

    // The string uId of exactly this language; false when the table or entry is missing.
    bool loadExact(UINT uId, LANGID langId, std::wstring& text)
    {
        HRSRC hInfo = FindResourceExW(m_hModule, RT_STRING, MAKEINTRESOURCEW(uId / 16 + 1), langId);
        if (hInfo == nullptr)
            return false;
        HGLOBAL hData = LoadResource(m_hModule, hInfo);
        const WORD* p = static_cast<const WORD*>(LockResource(hData));
        if (p == nullptr)
            return false;
        for (UINT i = 0; i < uId % 16; ++i)
            p += 1 + *p;
        if (*p == 0)
            return false;
        text.assign(reinterpret_cast<const wchar_t*>(p + 1), *p);
        return true;
    }

    std::string raw(UINT uType, UINT uId)
    {
        HRSRC hInfo = FindResourceW(m_hModule, MAKEINTRESOURCEW(uId), MAKEINTRESOURCEW(uType));
        if (hInfo == nullptr)
            return std::string();
        const char* p = static_cast<const char*>(LockResource(LoadResource(m_hModule, hInfo)));
        return p ? std::string(p, SizeofResource(m_hModule, hInfo)) : std::string();
    }

    HMODULE m_hModule = nullptr;
};

TEST_F(QuillfixResourcesTest, EveryLanguageCarriesEveryMessage)
{
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        for (UINT uId : kEveryLanguageIds) {
            SCOPED_TRACE(uId);
            std::wstring text;
            ASSERT_TRUE(loadExact(uId, language.langId, text));
            EXPECT_GT(text.size(), 5u);
            EXPECT_LT(text.size(), 300u) << "the run loads at most 299 characters";
        }
        // The failure lines take the path once; no other directive that the
        // replacement would leave behind.
        for (UINT uId : kPathLineIds) {
            SCOPED_TRACE(uId);
            std::wstring line;
            ASSERT_TRUE(loadExact(uId, language.langId, line));
            EXPECT_EQ(1u, countOf(line, L"%s"));
            EXPECT_EQ(1u, countOf(line, L"%"));
        }
    }
}

TEST_F(QuillfixResourcesTest, RemovalTextsDifferFromTheInstallationsInEveryLanguage)
{
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        for (const auto& pair : kRemovalCounterparts) {
            SCOPED_TRACE(pair.uRemovalId);
            std::wstring removal, install;
            ASSERT_TRUE(loadExact(pair.uRemovalId, language.langId, removal));
            ASSERT_TRUE(loadExact(pair.uInstallId, language.langId, install));
            EXPECT_TRUE(removal != install);
        }
    }
}

TEST_F(QuillfixResourcesTest, ProductNameStaysEnglish)
{
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        // Portuguese (Brazil) writes the name without blanks in 1130 and 1140, Korean in 1180.
        bool bBrazil = language.langId == 0x0416;
        bool bKorean = language.langId == 0x0412;
        std::wstring text;
        ASSERT_TRUE(loadExact(IDS_CAPTION, language.langId, text));
        EXPECT_TRUE(text == (bBrazil ? kProductNameNoBlanks : kProductName));
        ASSERT_TRUE(loadExact(IDS_WRONG_VERSION, language.langId, text));
        EXPECT_NE(std::wstring::npos, text.find(bBrazil ? kProductNameNoBlanks : kProductName));
        ASSERT_TRUE(loadExact(IDS_SUITE_NOT_INSTALLED, language.langId, text));
        EXPECT_NE(std::wstring::npos, text.find(bKorean ? kProductNameNoBlanks : kProductName));
    }
}

TEST_F(QuillfixResourcesTest, EnglishTextsAreTheProductsOwn)
{
    struct {
        UINT uId;
        const wchar_t* text;
    } const rows[] = {
        {IDS_OS_NOT_SUPPORTED, L"This oprating system does not match requirements."},
        {IDS_UPDATE_FILE_FAILED, L"Failed to update file %s"},
        {IDS_WILL_BE_TERMINATED, L"%s will be terminated. Do you save your change?"},
        {IDS_WRONG_VERSION, L"This patch does not apply to this version of Quellant - Password Manager."},
        {IDS_CAPTION, L"Quellant - Password Manager"},
        {IDS_RESTART_NEEDED,
         L"The installation of the patch has completed. Please restart system to enable changes."},
        {IDS_ALREADY_INSTALLED, L"This patch has already been installed on this computer."},
        {IDS_SUITE_NOT_INSTALLED, L"Quellant - Password Manager is not installed on this computer."},
        {IDS_INSTALL_FAILED, L"An unknown exception occurred, the patch installation failed."},
        // The removal's texts, written after 1160, 1170, 1200 and 1121.
        {IDS_UNINSTALL_COMPLETED,
         L"The removal of the patch has completed. Please restart system to enable changes."},
        {IDS_NOTHING_TO_RESTORE,
         L"The patch cannot be removed: there is no earlier service program to restore on this computer."},
        {IDS_UNINSTALL_FAILED, L"An unknown exception occurred, the patch removal failed."},
        {IDS_RESTORE_FILE_FAILED, L"Failed to restore file %s"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.uId);
        std::wstring text;
        ASSERT_TRUE(loadExact(row.uId, 0x0409, text));
        EXPECT_TRUE(text == row.text);
    }
}

// The completions after "/restartservice" restarted the service: in every language,
// apart from each other and from the restart questions they replace.
TEST_F(QuillfixResourcesTest, ServiceRestartedTextsInEveryLanguage)
{
    struct {
        UINT uId;
        UINT uQuestionId;
        const wchar_t* english;
    } const rows[] = {
        {IDS_SERVICE_RESTARTED, IDS_RESTART_NEEDED,
         L"The installation of the patch has completed and the service was restarted. No restart of the system "
         L"is needed."},
        {IDS_REMOVAL_SERVICE_RESTARTED, IDS_UNINSTALL_COMPLETED,
         L"The removal of the patch has completed and the service was restarted. No restart of the system is "
         L"needed."},
    };
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        std::wstring texts[2];
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(rows[i].uId);
            std::wstring question;
            ASSERT_TRUE(loadExact(rows[i].uId, language.langId, texts[i]));
            ASSERT_TRUE(loadExact(rows[i].uQuestionId, language.langId, question));
            EXPECT_TRUE(texts[i] != question);
            EXPECT_LT(texts[i].size(), 300u);
            if (language.langId == 0x0409) {
                EXPECT_TRUE(texts[i] == rows[i].english);
            }
        }
        EXPECT_TRUE(texts[0] != texts[1]);
    }
}

TEST_F(QuillfixResourcesTest, NamesAndSpareTextOnlyWhereExpected)
{
    std::wstring text;
    ASSERT_TRUE(loadExact(IDS_APP_TITLE, 0x0804, text));
    EXPECT_TRUE(text == L"Quillfix");
    ASSERT_TRUE(loadExact(IDS_APP_CLASS, 0x0804, text));
    EXPECT_TRUE(text == L"QUILLFIX");
    ASSERT_TRUE(loadExact(IDS_WILL_BE_TERMINATED, 0x0804, text));
    EXPECT_EQ(1u, countOf(text, L"%s"));
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        if (language.langId != 0x0804) {
            EXPECT_FALSE(loadExact(IDS_APP_TITLE, language.langId, text));
            EXPECT_FALSE(loadExact(IDS_APP_CLASS, language.langId, text));
        }
        if (language.langId != 0x0804 && language.langId != 0x0409) {
            EXPECT_FALSE(loadExact(IDS_WILL_BE_TERMINATED, language.langId, text));
        }
    }
}

// The texts of the record's delete (a log line with the key), the refused removal and
// the run that could not have the lock: in every language, the English ones the
// product's own, the refusal distinct from "nothing to restore".
TEST_F(QuillfixResourcesTest, RecordLockAndChangedProgramTexts)
{
    struct {
        UINT uId;
        const wchar_t* english;
    } const rows[] = {
        {IDS_DELETE_KEY_FAILED, L"Failed to delete registry key %s"},
        {IDS_SERVICE_CHANGED,
         L"The patch cannot be removed: the service program was changed after the patch was installed."},
        {IDS_RUN_TIMED_OUT, L"Another run of the patch did not finish within ten minutes. Nothing was changed."},
    };
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        for (const auto& row : rows) {
            SCOPED_TRACE(row.uId);
            std::wstring text;
            ASSERT_TRUE(loadExact(row.uId, language.langId, text));
            EXPECT_GT(text.size(), 5u);
            EXPECT_LT(text.size(), 300u);
            EXPECT_EQ(row.uId == IDS_DELETE_KEY_FAILED ? 1u : 0u, countOf(text, L"%"));
            EXPECT_EQ(row.uId == IDS_DELETE_KEY_FAILED ? 1u : 0u, countOf(text, L"%s"));
            if (language.langId == 0x0409) {
                EXPECT_TRUE(text == row.english);
            }
        }
        std::wstring changed, nothing;
        ASSERT_TRUE(loadExact(IDS_SERVICE_CHANGED, language.langId, changed));
        ASSERT_TRUE(loadExact(IDS_NOTHING_TO_RESTORE, language.langId, nothing));
        EXPECT_TRUE(changed != nothing);
    }
}

TEST_F(QuillfixResourcesTest, ManifestAndVersionBlock)
{
    std::string manifest = raw(24 /* RT_MANIFEST */, 1);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(std::string::npos, manifest.find("level=\"highestAvailable\""));
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\""));

    std::string version = raw(16 /* RT_VERSION */, 1);
    ASSERT_FALSE(version.empty());
    std::wstring wide(reinterpret_cast<const wchar_t*>(version.data()), version.size() / sizeof(wchar_t));
    EXPECT_NE(std::wstring::npos, wide.find(L"ProductName"));
    EXPECT_NE(std::wstring::npos, wide.find(kProductName));
    EXPECT_NE(std::wstring::npos, wide.find(L"quillfix.exe"));
    // The fixed block starts with its signature after the "VS_VERSION_INFO" key.
    const DWORD kSignature = 0xFEEF04BD;
    EXPECT_NE(std::string::npos, version.find(std::string(reinterpret_cast<const char*>(&kSignature), 4)));
}

} // namespace

// The command line's texts: in every language, the unknown-word sentence and the
// detailed-log line take their word or path once, and each sentence leaves room for
// the switch list within what the run loads. The three corrected texts, and French
// keeps a no-break space before every colon.
TEST_F(QuillfixResourcesTest, CommandLineTextsAndCorrectedTranslations)
{
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        for (UINT uId : {IDS_UNKNOWN_SWITCH, IDS_USAGE, IDS_DETAIL_LOG_FAILED}) {
            SCOPED_TRACE(uId);
            std::wstring text;
            ASSERT_TRUE(loadExact(uId, language.langId, text));
            EXPECT_GT(text.size(), 20u);
            EXPECT_LT(text.size(), 200u) << "the switch list follows within 299 characters";
            EXPECT_EQ(uId == IDS_USAGE ? 0u : 1u, countOf(text, L"%s"));
            EXPECT_EQ(uId == IDS_USAGE ? 0u : 1u, countOf(text, L"%"));
        }
        std::wstring usage;
        ASSERT_TRUE(loadExact(IDS_USAGE, language.langId, usage));
        EXPECT_NE(std::wstring::npos, usage.find(kProductName));
        EXPECT_NE(std::wstring::npos, usage.find(L"/uninstall")) << "switch names stay untranslated";
    }
    struct {
        LANGID langId;
        UINT uId;
        const wchar_t* text;
    } const corrected[] = {
        {0x040B, IDS_NOTHING_TO_RESTORE,
         L"T\u00e4m\u00e4n korjaustiedoston asennusta ei voi poistaa: t\u00e4ss\u00e4 tietokoneessa ei ole "
         L"aiempaa palveluohjelmaa, jonka voisi palauttaa."},
        {0x0804, IDS_NOTHING_TO_RESTORE,
         L"\u65e0\u6cd5\u5378\u8f7d\u6b64\u8865\u4e01\uff1a\u8fd9\u53f0\u8ba1\u7b97\u673a\u4e0a\u6ca1\u6709\u53ef"
         L"\u8fd8\u539f\u7684\u65e7\u7248\u670d\u52a1\u7a0b\u5e8f\u3002"},
        {0x040C, IDS_NOTHING_TO_RESTORE,
         L"Impossible de d\u00e9sinstaller ce correctif\u00a0: cet ordinateur ne contient aucune version "
         L"ant\u00e9rieure du programme de service \u00e0 restaurer."},
    };
    for (const auto& row : corrected) {
        SCOPED_TRACE(row.langId);
        std::wstring text;
        ASSERT_TRUE(loadExact(row.uId, row.langId, text));
        EXPECT_TRUE(text == row.text);
    }
    for (UINT uId = 1100; uId < 1300; ++uId) {
        std::wstring text;
        if (loadExact(uId, 0x040C, text)) {
            EXPECT_EQ(std::wstring::npos, text.find(L" :")) << uId << ": an ordinary space before a colon";
        }
    }
}
