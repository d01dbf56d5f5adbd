// CQRVEnvironmentVariable and CQRVWCharString::expand against this process's own
// environment. Each test sets the variables it uses and removes them afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_environment_variable.h"
#include "qrv_test_support.h"

namespace {

std::wstring textOf(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.m_pBuffer), s.getLength()) : std::wstring();
}

std::string show(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Sets one variable for the test's lifetime and removes it again.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : m_name(name)
    {
        EXPECT_TRUE(SetEnvironmentVariableW(name, value)) << GetLastError();
    }
    ~ScopedVariable() { SetEnvironmentVariableW(m_name.c_str(), nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::wstring m_name;
};

std::wstring expanded(const wchar_t* text, bool* result = nullptr)
{
    CQRVWCharString s(text);
    bool ok = s.expand();
    if (result)
        *result = ok;
    return textOf(s);
}

} // namespace

TEST(EnvironmentVariableTest, GetValueReadsTheCurrentValueEveryTime)
{
    ScopedVariable variable(L"QRV_TEST_VALUE", L"first");
    CQRVEnvironmentVariable env(CQRVWCharString(L"QRV_TEST_VALUE"));
    CQRVWCharString value;
    ASSERT_TRUE(env.getValue(value));
    EXPECT_EQ(L"first", textOf(value));
    EXPECT_EQ(6u, value.m_ulNumElems) << "compacted to the text and its terminator";

    ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_TEST_VALUE", L"second value"));
    ASSERT_TRUE(env.getValue(value));
    EXPECT_EQ(L"second value", textOf(value)) << "nothing is cached";
}

TEST(EnvironmentVariableTest, MissingOrEmptyVariablesAreFalseAndLeaveTheOutputAlone)
{
    QRVLogCapture capture;
    SetEnvironmentVariableW(L"QRV_TEST_MISSING", nullptr);
    CQRVWCharString value(L"sentinel");
    EXPECT_FALSE(CQRVEnvironmentVariable(CQRVWCharString(L"QRV_TEST_MISSING")).getValue(value));
    EXPECT_EQ(L"sentinel", textOf(value));

    // The system reports an empty value with the same 0 as a missing one.
    ScopedVariable empty(L"QRV_TEST_EMPTY", L"");
    EXPECT_FALSE(CQRVEnvironmentVariable(CQRVWCharString(L"QRV_TEST_EMPTY")).getValue(value));
    EXPECT_EQ(L"sentinel", textOf(value));
    EXPECT_TRUE(capture.lines().empty()) << "a missing variable is not a failure record";
}

TEST(EnvironmentVariableTest, ANameThatIsNotValidIsRecorded)
{
    QRVLogCapture capture;
    CQRVWCharString value(L"sentinel");
    EXPECT_FALSE(CQRVEnvironmentVariable(CQRVWCharString(L"")).getValue(value));
    EXPECT_EQ(L"sentinel", textOf(value));
    EXPECT_EQ(1u, capture.linesWith(L"\"The environment variable name has not been initialized\"").size());
}

TEST(EnvironmentVariableTest, LongValuesComeBackWhole)
{
    std::wstring big(32766, L'v'); // the largest value the environment holds
    big[0] = L'<';
    big[big.size() - 1] = L'>';
    ScopedVariable variable(L"QRV_TEST_BIG", big.c_str());
    CQRVWCharString value;
    ASSERT_TRUE(CQRVEnvironmentVariable(CQRVWCharString(L"QRV_TEST_BIG")).getValue(value));
    EXPECT_EQ(big.size(), value.getLength());
    EXPECT_TRUE(textOf(value) == big);
}

TEST(EnvironmentVariableTest, ExpandReplacesReferencesToExistingVariables)
{
    ScopedVariable temp(L"QRV_TEST_TEMP", L"C:\\T");
    ScopedVariable other(L"QRV_TEST_OTHER", L"o");
    SetEnvironmentVariableW(L"QRV_TEST_NOPE", nullptr);

    struct Row {
        const wchar_t* text;
        const wchar_t* expected;
        bool result;
    } rows[] = {
        {L"x%QRV_TEST_TEMP%y", L"xC:\\Ty", true},
        {L"%QRV_TEST_TEMP%\\Zarvik\\", L"C:\\T\\Zarvik\\", true},
        {L"%QRV_TEST_TEMP%%QRV_TEST_OTHER%", L"C:\\To", true},
        {L"%QRV_TEST_OTHER%-%QRV_TEST_OTHER%", L"o-o", true}, // each reference is its own token
        {L"100%", L"100%", true},                              // a single "%": no reference
        {L"C:\\Temp", L"C:\\Temp", true},                      // nothing to expand
        {L"%QRV_TEST_NOPE%", L"%QRV_TEST_NOPE%", false},       // no such variable
        {L"%QRV_TEST_OTHER%%QRV_TEST_NOPE%", L"o%QRV_TEST_NOPE%", true}, // the last replacement made decides
        {L"a%QRV_TEST_OTHER%b%", L"aob%", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(show(row.text));
        bool result = !row.result;
        EXPECT_EQ(std::wstring(row.expected), expanded(row.text, &result));
        EXPECT_EQ(row.result, result);
    }
}

TEST(EnvironmentVariableTest, ExpandUsesTheRealProcessEnvironment)
{
    wchar_t windir[MAX_PATH] = {0};
    ASSERT_NE(0u, GetEnvironmentVariableW(L"windir", windir, MAX_PATH));
    EXPECT_EQ(std::wstring(windir) + L"\\system32", expanded(L"%windir%\\system32"));

    // Names are looked up as the system does it: without regard to case.
    EXPECT_EQ(std::wstring(windir), expanded(L"%WINDIR%"));
}

TEST(EnvironmentVariableTest, ExpandIsTraced)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300);
    SetEnvironmentVariableW(L"QRV_TEST_NOPE", nullptr);
    bool result = true;
    expanded(L"%QRV_TEST_NOPE%", &result);
    EXPECT_FALSE(result);
    size_t exits = 0;
    for (const std::wstring& line : capture.linesWith(L"<EXIT> "))
        if (line.find(L"<CQRVWCharString::expand> ") != std::wstring::npos && line.find(L"<Failed> ") != std::wstring::npos)
            ++exits;
    EXPECT_EQ(1u, exits);
    size_t lookups = 0;
    for (const std::wstring& line : capture.linesWith(L"<EXIT> "))
        if (line.find(L"<CQRVEnvironmentVariable::getValue> ") != std::wstring::npos &&
            line.find(L"<Failed Logical Result> ") != std::wstring::npos)
            ++lookups;
    EXPECT_EQ(1u, lookups);
}
