// Patch application against a temporary folder and the suite's registry keys. Runs
// silent, so no box appears. The test program has no string table of its own: the
// message texts come out empty here (the end-to-end tests check them in the real
// program).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "qrv_test_support.h"
#include "quillfix.h"
#include "quillfix_fingerprint.h"
#include "quillfix_service_pin.h"

namespace {

const wchar_t kSuiteKey[] = L"Software\\Zarvik\\Quellant";
const wchar_t kLegacyKey[] = L"Software\\Dextar Solmira\\Quellara";
const wchar_t kLegacyRoot[] = L"Software\\Dextar Solmira";
const wchar_t kDescription[] = L"Reduce exporting action to improve the performance of registry monitor service.";

std::wstring textOf(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring();
}

std::vector<unsigned char> bytesOf(const std::string& ascii)
{
    return std::vector<unsigned char>(ascii.begin(), ascii.end());
}

// UTF-16LE bytes of an ASCII entry followed by the zero unit.
std::vector<unsigned char> entry(const std::string& ascii)
{
    std::vector<unsigned char> out;
    for (char c : ascii) {
        out.push_back(static_cast<unsigned char>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<unsigned char> operator+(std::vector<unsigned char> a, const std::vector<unsigned char>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<unsigned char> kMark = {0xFF, 0xFE};

class PatchApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_nSavedSilent = g_bSilent;
        g_bSilent = 1;
        clearSuite();
        m_folder = qrvtest::makeTempFolder(L"apply");
    }
    void TearDown() override
    {
        clearSuite();
        qrvtest::removeFolder(m_folder);
        g_bSilent = m_nSavedSilent;
    }
    static void clearSuite()
    {
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, kSuiteKey);
        qrvtest::deleteTree(HKEY_LOCAL_MACHINE, kLegacyRoot);
    }
    static void installSuite(const wchar_t* key, const std::wstring& installPath)
    {
        ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, key, L"Version", L"6.1.0.0"));
        ASSERT_TRUE(qrvtest::setString(HKEY_LOCAL_MACHINE, key, L"InstallPath", installPath));
    }
    std::wstring file(const std::wstring& name) const { return m_folder + L"\\" + name; }

    int m_nSavedSilent = 0;
    std::wstring m_folder;
};

TEST_F(PatchApplyTest, CommonFilesPathExpandsFolderUnlessNameIsAbsolute)
{
    wchar_t expanded[MAX_PATH];
    ASSERT_NE(0u, ExpandEnvironmentStringsW(L"%CommonProgramFiles%\\Zarvik\\", expanded, MAX_PATH));
    EXPECT_EQ(std::wstring(expanded) + L"svc.exe", textOf(makeCommonFilesPath(CQRVWCharString(L"svc.exe"))));
    EXPECT_EQ(L"D:\\x\\svc.exe", textOf(makeCommonFilesPath(CQRVWCharString(L"D:\\x\\svc.exe"))));
}

TEST_F(PatchApplyTest, InstallDirectoryResolution)
{
    // No suite: the bare name, relative to the current folder.
    EXPECT_EQ(L"patchlog.txt", textOf(resolveInInstallDirectory(CQRVWCharString(L"patchlog.txt"))));

    installSuite(kSuiteKey, L"C:\\Suite\\");
    EXPECT_EQ(L"C:\\Suite\\patchlog.txt", textOf(resolveInInstallDirectory(CQRVWCharString(L"patchlog.txt"))));
    EXPECT_EQ(L"D:\\elsewhere.txt", textOf(resolveInInstallDirectory(CQRVWCharString(L"D:\\elsewhere.txt"))));

    // Without the trailing separator the name still goes inside the folder, not
    // beside it as "C:\Suitepatchlog.txt".
    installSuite(kSuiteKey, L"C:\\Suite");
    EXPECT_EQ(L"C:\\Suite\\patchlog.txt", textOf(resolveInInstallDirectory(CQRVWCharString(L"patchlog.txt"))));

    clearSuite();
    installSuite(kLegacyKey, L"C:\\Legacy\\");
    EXPECT_EQ(L"C:\\Legacy\\patchlog.txt", textOf(resolveInInstallDirectory(CQRVWCharString(L"patchlog.txt"))));
}

TEST_F(PatchApplyTest, PatchLogHasOneMarkAndAZeroUnitAfterEachEntry)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    appendPatchLog(CQRVWCharString(L"first\r\n"));
    EXPECT_EQ(kMark + entry("first\r\n"), qrvtest::readFile(file(L"patchlog.txt")));
    appendPatchLog(CQRVWCharString(L"second\r\n"));
    EXPECT_EQ(kMark + entry("first\r\n") + entry("second\r\n"), qrvtest::readFile(file(L"patchlog.txt")));
}

TEST_F(PatchApplyTest, PatchLogAppendsToAnExistingFileWithoutAMark)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    ASSERT_TRUE(qrvtest::writeFile(file(L"patchlog.txt"), bytesOf("old")));
    appendPatchLog(CQRVWCharString(L"x\r\n"));
    EXPECT_EQ(bytesOf("old") + entry("x\r\n"), qrvtest::readFile(file(L"patchlog.txt")));
}

TEST_F(PatchApplyTest, PatchLogEntryIsDroppedWhenTheFolderIsMissing)
{
    installSuite(kSuiteKey, m_folder + L"\\missing\\");
    appendPatchLog(CQRVWCharString(L"lost\r\n"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file(L"missing\\patchlog.txt").c_str()));
}

// A second run that meets this one's writer waits for it instead of dropping its entry.
TEST_F(PatchApplyTest, PatchLogWaitsForAnotherWriter)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    HANDLE hOther = CreateFileW(file(L"patchlog.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hOther) << GetLastError();
    std::thread other([hOther] {
        Sleep(500);
        CloseHandle(hOther);
    });
    appendPatchLog(CQRVWCharString(L"kept\r\n"));
    other.join();
    EXPECT_EQ(entry("kept\r\n"), qrvtest::readFile(file(L"patchlog.txt")));
}

TEST_F(PatchApplyTest, PromptAndLogInSilentModeLogsTheSilentAnswer)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    EXPECT_EQ(IDNO, promptAndLog(CQRVWCharString(L"Caption"), CQRVWCharString(L"Restart?"), MB_YESNO, IDNO));
    EXPECT_EQ(IDOK, promptAndLog(CQRVWCharString(L"Caption"), CQRVWCharString(L"Failed."), MB_OK, IDOK));
    EXPECT_EQ(kMark + entry("Restart? User select: 7\r\n") + entry("Failed. User select: 1\r\n"),
              qrvtest::readFile(file(L"patchlog.txt")));
}

TEST_F(PatchApplyTest, ReplaceMovesTheOldFileAsideAndCopiesTheNewOne)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    ASSERT_TRUE(qrvtest::writeFile(file(L"svc.exe"), bytesOf("OLD")));
    ASSERT_TRUE(qrvtest::writeFile(file(L"svc.exe.bak"), bytesOf("OLDER")));
    ASSERT_TRUE(qrvtest::writeFile(file(L"new.exe"), bytesOf("NEW")));

    EXPECT_TRUE(replaceFile(CQRVWCharString(file(L"new.exe").c_str()), CQRVWCharString(file(L"svc.exe").c_str())));
    EXPECT_EQ(bytesOf("NEW"), qrvtest::readFile(file(L"svc.exe")));
    EXPECT_EQ(bytesOf("OLD"), qrvtest::readFile(file(L"svc.exe.bak")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file(L"svc.exe.new").c_str()));
    // Success is told by the restart question, not here: nothing is logged.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file(L"patchlog.txt").c_str()));
}

// The platform calls the swap rests on, as this platform performs them.
TEST_F(PatchApplyTest, ReplaceFileKeepsTheOldFileAsBackupOrChangesNothing)
{
    const std::wstring target = file(L"svc.exe"), staged = file(L"svc.exe.new"), backup = file(L"svc.exe.bak");
    ASSERT_TRUE(qrvtest::writeFile(target, bytesOf("OLD")));
    ASSERT_TRUE(qrvtest::writeFile(staged, bytesOf("NEW")));
    ASSERT_TRUE(qrvtest::writeFile(backup, bytesOf("OLDER")));

    // An earlier backup held open without delete sharing: the call fails and every
    // name keeps its file, so the run can fall back or give up with nothing changed.
    HANDLE hHeld = CreateFileW(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld) << GetLastError();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReplaceFileW(target.c_str(), staged.c_str(), backup.c_str(), REPLACEFILE_WRITE_THROUGH, nullptr,
                              nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    CloseHandle(hHeld);
    EXPECT_EQ(bytesOf("OLD"), qrvtest::readFile(target));
    EXPECT_EQ(bytesOf("NEW"), qrvtest::readFile(staged));
    EXPECT_EQ(bytesOf("OLDER"), qrvtest::readFile(backup));

    // Free: the earlier backup is replaced by the old file and the staged name is gone.
    EXPECT_TRUE(ReplaceFileW(target.c_str(), staged.c_str(), backup.c_str(), REPLACEFILE_WRITE_THROUGH, nullptr,
                             nullptr))
        << GetLastError();
    EXPECT_EQ(bytesOf("NEW"), qrvtest::readFile(target));
    EXPECT_EQ(bytesOf("OLD"), qrvtest::readFile(backup));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(staged.c_str()));
}

TEST_F(PatchApplyTest, ReplaceWithoutAnOldFileStillCopies)
{
    ASSERT_TRUE(qrvtest::writeFile(file(L"new.exe"), bytesOf("NEW")));
    EXPECT_TRUE(replaceFile(CQRVWCharString(file(L"new.exe").c_str()), CQRVWCharString(file(L"svc.exe").c_str())));
    EXPECT_EQ(bytesOf("NEW"), qrvtest::readFile(file(L"svc.exe")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file(L"svc.exe.bak").c_str()));
}

TEST_F(PatchApplyTest, FailedCopyLeavesTheOldFileAndLogsBothLines)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    ASSERT_TRUE(qrvtest::writeFile(file(L"svc.exe"), bytesOf("OLD")));

    EXPECT_FALSE(replaceFile(CQRVWCharString(file(L"absent.exe").c_str()), CQRVWCharString(file(L"svc.exe").c_str())));
    EXPECT_EQ(bytesOf("OLD"), qrvtest::readFile(file(L"svc.exe")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file(L"svc.exe.bak").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file(L"svc.exe.new").c_str()));
    // The 1200 exchange, then the 1121 line; both texts are empty in this program.
    EXPECT_EQ(kMark + entry(" User select: 1\r\n") + entry("\r\n"), qrvtest::readFile(file(L"patchlog.txt")));
}

// A failing run that finds no target puts ".bak" back. Where that rename fails too
// (".bak" held open without delete sharing), the staged copy, perhaps the only whole new
// program, stays and the library log names the rename.
TEST_F(PatchApplyTest, FailedRunWithNoTargetPutsTheBackupBackOrKeepsTheStagedCopy)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    QRVLogCapture log;
    const std::wstring target = file(L"svc.exe"), backup = target + L".bak", staged = target + L".new";
    const CQRVWCharString szAbsent(file(L"absent.exe").c_str()), szTarget(target.c_str());
    ASSERT_TRUE(qrvtest::writeFile(backup, bytesOf("EARLIER")));
    ASSERT_TRUE(qrvtest::writeFile(staged, bytesOf("NEW")));

    HANDLE hHeld = CreateFileW(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld) << GetLastError();
    EXPECT_FALSE(replaceFile(szAbsent, szTarget));
    CloseHandle(hHeld);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(target.c_str()));
    EXPECT_EQ(bytesOf("NEW"), qrvtest::readFile(staged));
    EXPECT_EQ(bytesOf("EARLIER"), qrvtest::readFile(backup));
    std::vector<std::wstring> moves = log.linesWith(L"Unable to move file ( " + backup + L" ) to ( " + target + L" )");
    EXPECT_FALSE(moves.empty()) << "no record of the failed rename";

    EXPECT_FALSE(replaceFile(szAbsent, szTarget));
    EXPECT_EQ(bytesOf("EARLIER"), qrvtest::readFile(target));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(backup.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(staged.c_str()));
}

TEST_F(PatchApplyTest, EmptyTargetTakesTheSourceNameInTheInstallDirectory)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    ASSERT_TRUE(CreateDirectoryW(file(L"package").c_str(), nullptr));
    ASSERT_TRUE(qrvtest::writeFile(file(L"package\\svc.exe"), bytesOf("NEW")));
    EXPECT_TRUE(replaceFile(CQRVWCharString(file(L"package\\svc.exe").c_str()), CQRVWCharString()));
    EXPECT_EQ(bytesOf("NEW"), qrvtest::readFile(file(L"svc.exe")));
}

TEST_F(PatchApplyTest, RecordGoesUnderTheSuiteKeyThatHoldsTheInstallPath)
{
    struct {
        const wchar_t* installedKey;
        const char* what;
    } const rows[] = {
        {kSuiteKey, "current location"},
        {kLegacyKey, "legacy location only"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        clearSuite();
        installSuite(row.installedKey, L"C:\\Suite\\");
        recordPatch(CQRVWCharString(kDescription), CQRVWCharString(L"qrv_reg_monitor_svc.exe"),
                    CQRVWCharString(file(L"absent.exe").c_str()));
        std::wstring recordKey = std::wstring(row.installedKey) + L"\\Patch\\8103";
        std::wstring value;
        ASSERT_TRUE(qrvtest::getString(HKEY_LOCAL_MACHINE, recordKey, L"description", value));
        EXPECT_EQ(kDescription, value);
        ASSERT_TRUE(qrvtest::getString(HKEY_LOCAL_MACHINE, recordKey, L"updated", value));
        EXPECT_EQ(L"qrv_reg_monitor_svc.exe", value);
    }
}

TEST_F(PatchApplyTest, NoRecordWithoutTheSuite)
{
    recordPatch(CQRVWCharString(kDescription), CQRVWCharString(L"qrv_reg_monitor_svc.exe"),
                CQRVWCharString(L"C:\\absent.exe"));
    EXPECT_FALSE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, kSuiteKey));
    EXPECT_FALSE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, kLegacyKey));
}

// Fingerprints name their algorithm, and a stored one is checked with the algorithm it
// names, whichever the system would use now. Wine always has SHA-256: the hook stands in
// for XP before SP3.
TEST_F(PatchApplyTest, FingerprintNamesItsAlgorithmAndIsCheckedWithIt)
{
    const std::wstring svc = file(L"svc.exe");
    ASSERT_TRUE(qrvtest::writeFile(svc, bytesOf("abc")));
    const std::wstring kSha256 = L"sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::wstring kSha1 = L"sha1:a9993e364706816aba3e25717850c26c9cd0d89d";
    std::wstring fingerprint;
    ASSERT_TRUE(quillfix_fingerprint::compute(svc.c_str(), fingerprint));
    EXPECT_EQ(kSha256, fingerprint);
    quillfix_fingerprint::simulateNoSha256(true);
    EXPECT_TRUE(quillfix_fingerprint::compute(svc.c_str(), fingerprint));
    quillfix_fingerprint::simulateNoSha256(false);
    EXPECT_EQ(kSha1, fingerprint);

    struct {
        std::wstring stored;
        const char* content;
        quillfix_fingerprint::Match match;
    } const rows[] = {
        {kSha256, "abc", quillfix_fingerprint::fpSame},
        {kSha1, "abc", quillfix_fingerprint::fpSame},         // the fallback's value, SHA-256 at hand
        {kSha256, "abd", quillfix_fingerprint::fpDifferent},  // another build
        {kSha1, "abd", quillfix_fingerprint::fpDifferent},
        {L"md5:900150983cd24fb0d6963f7d28e17f72", "abc", quillfix_fingerprint::fpUnknown},
        {L"", "abc", quillfix_fingerprint::fpUnknown},        // written where no hash could be made
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.content) + " against " + std::string(row.stored.begin(), row.stored.end()));
        ASSERT_TRUE(qrvtest::writeFile(svc, bytesOf(row.content)));
        EXPECT_EQ(row.match, quillfix_fingerprint::compare(svc.c_str(), row.stored));
    }
    EXPECT_EQ(quillfix_fingerprint::fpUnknown, quillfix_fingerprint::compare(file(L"absent.exe").c_str(), kSha256));
}

// The pin is met with the strongest fingerprint the system can compute, and the size;
// the SHA-1 rows are what XP before SP3 checks (the hook; Wine always has SHA-256).
TEST_F(PatchApplyTest, PinIsCheckedWithTheStrongestAlgorithmAndTheSize)
{
    const std::wstring svc = file(L"svc.exe");
    ASSERT_TRUE(qrvtest::writeFile(svc, bytesOf("abc")));
    const wchar_t kSha256[] = L"sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const wchar_t kSha1[] = L"sha1:a9993e364706816aba3e25717850c26c9cd0d89d";
    const wchar_t kOtherSha256[] = L"sha256:a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9";
    const wchar_t kOtherSha1[] = L"sha1:cb4cc28df0fdbe0ecf9d9662e294b118092a5735";
    struct {
        const char* what;
        bool bNoSha256;
        const wchar_t* pszSha256;
        const wchar_t* pszSha1;
        unsigned long long ullSize;
        bool bMatches;
    } const rows[] = {
        {"the pinned program", false, kSha256, kSha1, 3, true},
        {"SHA-256 differs, SHA-1 not asked", false, kOtherSha256, kSha1, 3, false},
        {"no SHA-256: SHA-1 decides", true, kOtherSha256, kSha1, 3, true},
        {"no SHA-256, SHA-1 differs", true, kSha256, kOtherSha1, 3, false},
        {"another size", false, kSha256, kSha1, 4, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        quillfix_service_pin::set(row.pszSha256, row.pszSha1, row.ullSize);
        quillfix_fingerprint::simulateNoSha256(row.bNoSha256);
        EXPECT_EQ(row.bMatches, quillfix_service_pin::matches(svc.c_str()));
    }
    quillfix_fingerprint::simulateNoSha256(false);
    quillfix_service_pin::set(L"", L"", 0);
}

// A record Windows will not delete (a DACL denies it) ends the removal as a failure with
// the files restored and the record whole; once the delete is allowed, the next removal
// finds the original in place and only the record left to go.
TEST_F(PatchApplyTest, RecordThatCannotBeDeletedFailsTheRemovalUntilItCanBe)
{
    installSuite(kSuiteKey, m_folder + L"\\");
    QRVLogCapture log;
    const std::wstring target = file(L"svc.exe"), recordKey = std::wstring(kSuiteKey) + L"\\Patch\\8103";
    ASSERT_TRUE(qrvtest::writeFile(target, bytesOf("NEW")));
    ASSERT_TRUE(qrvtest::writeFile(target + L".bak", bytesOf("OLD")));
    const CQRVWCharString szTarget(target.c_str());
    recordPatch(CQRVWCharString(kDescription), CQRVWCharString(L"svc.exe"), szTarget);
    ASSERT_EQ(ppOwn, patchProgramAt(szTarget));

    auto setDacl = [&](const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR pDescriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &pDescriptor,
                                                                         nullptr));
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, recordKey.c_str(), 0, WRITE_DAC, &hKey));
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, pDescriptor));
        RegCloseKey(hKey);
        LocalFree(pDescriptor);
    };
    setDacl(L"D:(D;;SD;;;WD)(A;;KA;;;WD)");  // everyone: no delete
    const int nDenied = removePatch(szTarget);
    setDacl(L"D:(A;;KA;;;WD)");
    EXPECT_EQ(ERROR_INSTALL_FAILURE, nDenied);
    EXPECT_EQ(bytesOf("OLD"), qrvtest::readFile(target));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((target + L".bak").c_str()));
    std::wstring value;
    EXPECT_TRUE(qrvtest::getString(HKEY_LOCAL_MACHINE, recordKey, L"fingerprint", value)) << "record stripped";
    EXPECT_FALSE(log.linesWith(L"Unable to delete registry key ( \"" + recordKey + L"\" )").empty());
    // The 1201 exchange, then the 1124 line; both texts are empty in this program.
    EXPECT_EQ(kMark + entry(" User select: 1\r\n") + entry("\r\n"), qrvtest::readFile(file(L"patchlog.txt")));

    EXPECT_EQ(ppChanged, patchProgramAt(szTarget));
    EXPECT_EQ(ERROR_SUCCESS, removePatch(szTarget));
    EXPECT_FALSE(qrvtest::keyExists(HKEY_LOCAL_MACHINE, recordKey));
    EXPECT_EQ(bytesOf("OLD"), qrvtest::readFile(target));
}

} // namespace
