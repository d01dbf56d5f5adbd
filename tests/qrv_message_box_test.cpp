// CQRVMessageBox: its texts, its answer before a box was shown, loading texts by ID,
// and showing a box where no display is available.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "qrv_message_box.h"
#include "qrv_test_support.h"

namespace {

std::wstring textOf(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring();
}

TEST(MessageBoxTest, ConstructorCopiesTextsAndAnswerStartsAtCancel)
{
    CQRVWCharString title(L"Title");
    CQRVMessageBox box(nullptr, title, CQRVWCharString(L"Message"), CQRVFlags(MB_YESNO));
    title = CQRVWCharString(L"changed afterwards");
    EXPECT_EQ(L"Title", textOf(box.getTitle()));
    EXPECT_EQ(L"Message", textOf(box.getMsg()));
    EXPECT_EQ(IDCANCEL, box.getAnswer());
}

TEST(MessageBoxTest, TextsAreReplacedAndAMissingIdKeepsTheOldOne)
{
    QRVLogCapture capture;
    CQRVMessageBox box(nullptr, CQRVWCharString(L"Title"), CQRVWCharString(L"Message"), CQRVFlags(0));
    EXPECT_TRUE(box.setTitle(CQRVWCharString(L"New title")));
    EXPECT_TRUE(box.setMsg(CQRVWCharString(L"New message")));
    EXPECT_EQ(L"New title", textOf(box.getTitle()));
    EXPECT_EQ(L"New message", textOf(box.getMsg()));

    // This test program has no string table: every ID is missing.
    EXPECT_FALSE(box.setTitle(1140u));
    EXPECT_FALSE(box.setMsg(1160u));
    EXPECT_EQ(L"New title", textOf(box.getTitle()));
    EXPECT_EQ(L"New message", textOf(box.getMsg()));
    EXPECT_EQ(1u, capture.linesWith(L"( ID: 1140 )").size());
    EXPECT_EQ(1u, capture.linesWith(L"( ID: 1160 )").size());
}

TEST(MessageBoxTest, BoxWithoutADisplayReportsWinesFailureAnswerAndIsLogged)
{
    // Under Wine without an X display no window can be made and MessageBoxW fails at
    // once. Wine returns -1 there (its dialog code's failure value) where Windows
    // documents 0; -1 is nonzero, so the box counts as shown. With a display the box
    // would wait for a user.
    if (std::getenv("DISPLAY") != nullptr)
        GTEST_SKIP() << "a display is present: the box would wait for an answer";
    QRVLogCapture capture;
    capture.setDword(L"LogDetail", 0x1B | 0x80);
    CQRVMessageBox box(nullptr, CQRVWCharString(L"Caption"), CQRVWCharString(L"Question?"), CQRVFlags(MB_YESNO));
    EXPECT_TRUE(box.showMessageBox());
    EXPECT_EQ(-1, box.getAnswer());
    auto lines = capture.linesWith(L"\"Message Box displayed: Question?\"");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<NOTIFICATION>"));
}

} // namespace
