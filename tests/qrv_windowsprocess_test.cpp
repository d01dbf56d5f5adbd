// CQRVWindowsProcess::setPrivilege against Wine's tokens. Whether a token was closed is
// seen in the process's handle count, taken from the system handle table.
#include <gtest/gtest.h>

#include <winternl.h>

#include <string>
#include <vector>

#include "qrv_test_support.h"
#include "qrv_windowsprocess.h"

namespace {

// Number of handles this process holds (SystemHandleInformation, class 16).
int processHandleCount()
{
    typedef NTSTATUS(WINAPI * QueryFn)(ULONG, PVOID, ULONG, PULONG);
    QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    struct Entry {
        USHORT pid;
        USHORT creator;
        UCHAR type;
        UCHAR flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        NTSTATUS status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<NTSTATUS>(0xC0000004L) && buffer.size() < (64u << 20)) { // length mismatch
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0)
            return -1;
        break;
    }
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    int mine = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].pid == static_cast<USHORT>(GetCurrentProcessId()))
            ++mine;
    return mine;
}

// Whether the process token has the privilege enabled; -1 when it cannot be read.
int privilegeEnabled(const wchar_t* name)
{
    LUID luid;
    if (!LookupPrivilegeValueW(nullptr, name, &luid))
        return -1;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -1;
    std::vector<unsigned char> buffer(4096);
    DWORD size = 0;
    int result = -1;
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        result = 0;
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
            if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
                result = (p.Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
        }
    }
    CloseHandle(token);
    return result;
}

} // namespace

TEST(WindowsProcessTest, UnknownPrivilegeFailsWithTheLookupRecordAndClosesItsToken)
{
    QRVLogCapture log;
    CQRVWindowsProcess process;
    // The first record written opens what logging keeps for the process (Wine caches
    // the predefined registry roots), so the count is taken after one failure.
    process.setPrivilege(CQRVWCharString(L"SeNoSuchPrivilege"), true, nullptr);
    log.clearFile();
    const int before = processHandleCount();
    ASSERT_GT(before, 0);

    HANDLE token = nullptr;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(process.setPrivilege(CQRVWCharString(L"SeNoSuchPrivilege"), true, &token));
    EXPECT_EQ(nullptr, token);
    EXPECT_EQ(before, processHandleCount());
    const std::vector<std::wstring> lines = log.lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"LookupPrivilegeValue call failed for privilege:SeNoSuchPrivilege"));
    // ERROR_NO_SUCH_PRIVILEGE (1313).
    EXPECT_NE(std::wstring::npos, lines[0].find(L"0x00000521"));

    // A null pointer for the handle behaves like a null handle.
    EXPECT_FALSE(process.setPrivilege(CQRVWCharString(L"SeNoSuchPrivilege"), true, nullptr));
    EXPECT_EQ(before, processHandleCount());
}

TEST(WindowsProcessTest, OwnTokenIsOpenedAndClosedAroundTheChange)
{
    QRVLogCapture log;
    CQRVWindowsProcess process;
    const int before = processHandleCount();

    HANDLE token = nullptr;
    EXPECT_TRUE(process.setPrivilege(CQRVWCharString(L"SeShutdownPrivilege"), true, &token));
    EXPECT_EQ(nullptr, token);
    EXPECT_EQ(before, processHandleCount());
    EXPECT_EQ(1, privilegeEnabled(L"SeShutdownPrivilege"));

    EXPECT_TRUE(process.setPrivilege(CQRVWCharString(L"SeShutdownPrivilege"), false, &token));
    EXPECT_EQ(0, privilegeEnabled(L"SeShutdownPrivilege"));
    EXPECT_EQ(before, processHandleCount());
    EXPECT_TRUE(log.lines().empty());
}

TEST(WindowsProcessTest, CallersTokenIsUsedAndLeftOpen)
{
    QRVLogCapture log;
    CQRVWindowsProcess process;

    HANDLE adjustable = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &adjustable));
    const HANDLE given = adjustable;
    const int before = processHandleCount();
    EXPECT_TRUE(process.setPrivilege(CQRVWCharString(L"SeShutdownPrivilege"), true, &adjustable));
    EXPECT_EQ(given, adjustable);
    EXPECT_EQ(before, processHandleCount());
    EXPECT_EQ(1, privilegeEnabled(L"SeShutdownPrivilege"));
    EXPECT_TRUE(process.setPrivilege(CQRVWCharString(L"SeShutdownPrivilege"), false, &adjustable));
    EXPECT_EQ(0, privilegeEnabled(L"SeShutdownPrivilege"));
    // Still ours to close, and closing it works exactly once.
    EXPECT_TRUE(CloseHandle(adjustable));

    // A token without TOKEN_ADJUST_PRIVILEGES proves that the caller's token is the
    // one used: a token opened by the call itself would have succeeded.
    HANDLE queryOnly = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &queryOnly));
    EXPECT_FALSE(process.setPrivilege(CQRVWCharString(L"SeShutdownPrivilege"), true, &queryOnly));
    EXPECT_EQ(1u, log.linesWith(L"AdjustTokenPrivileges call failed for handle:hToken").size());
    DWORD size = 0;
    TOKEN_TYPE type;
    EXPECT_TRUE(GetTokenInformation(queryOnly, TokenType, &type, sizeof(type), &size)) << "token was closed";
    EXPECT_TRUE(CloseHandle(queryOnly));
}
