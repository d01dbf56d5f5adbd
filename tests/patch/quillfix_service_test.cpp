// How the service restart reads a service's binary path and knows the target's file.
// The stop and start themselves need a real service: tests/e2e/quillfix_service_test.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "qrv_test_support.h"
#include "quillfix_service.h"

namespace {

using quillfix_service::isSameFile;
using quillfix_service::programOfBinaryPath;

class ServiceProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder name with a blank, as "Program Files" and "Common Files" have.
        m_root = qrvtest::makeTempFolder(L"svc path");
        m_folder = m_root + L"\\Common Files";
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        m_program = m_folder + L"\\svc.exe";
        for (const std::wstring& name : {m_program, m_folder + L"\\other.exe"}) {
            HANDLE hFile = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
            CloseHandle(hFile);
        }
        SetEnvironmentVariableW(L"QFX_SERVICE_TEST", m_folder.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"QFX_SERVICE_TEST", nullptr);
        DeleteFileW(m_program.c_str());
        DeleteFileW((m_folder + L"\\other.exe").c_str());
        RemoveDirectoryW(m_folder.c_str());
        qrvtest::removeFolder(m_root);
    }
    std::wstring m_root;
    std::wstring m_folder;
    std::wstring m_program;
};

TEST_F(ServiceProgramTest, BinaryPathIsTakenApartAsTheServiceManagerDoes)
{
    struct {
        std::wstring binaryPath;
        std::wstring program;
    } const rows[] = {
        {L"\"" + m_program + L"\" -run", m_program},                    // quoted, an argument
        {m_program + L" C:\\marker.txt label", m_program},               // unquoted with blanks, arguments
        {m_folder + L"\\svc -run", m_program},                           // ".exe" added to a name without one
        {L"%QFX_SERVICE_TEST%\\svc.exe -run", m_program},                // environment expanded
        {L"\\??\\" + m_program, m_program},                              // native prefix
        {L"  " + m_program, m_program},                                  // leading blanks
        {L"C:\\no such folder\\svc.exe -run", L"C:\\no"},                // nothing exists: the first word
        {std::wstring(), std::wstring()},                              // empty
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.binaryPath));
        EXPECT_EQ(row.program, programOfBinaryPath(row.binaryPath.c_str()));
    }
}

TEST_F(ServiceProgramTest, SameFileByIdentityNotBySpelling)
{
    std::wstring upper = m_program;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    EXPECT_TRUE(isSameFile(m_program.c_str(), upper.c_str()));
    EXPECT_TRUE(isSameFile(m_program.c_str(), (m_folder + L"\\..\\Common Files\\.\\svc.exe").c_str()));
    EXPECT_FALSE(isSameFile(m_program.c_str(), (m_folder + L"\\other.exe").c_str()));
    EXPECT_FALSE(isSameFile(m_program.c_str(), (m_folder + L"\\missing.exe").c_str()));
}

} // namespace
