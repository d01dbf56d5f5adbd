// CQRVWCharString: validity and assignment, comparison, cutting, searching, editing,
// whitespace, sub-strings, ranges, fields, numbers and byte dumps. The index-heavy
// operations are also run against a small model over std::u16string on generated
// texts with repeated and overlapping delimiters.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "qrv_dbllist.h"
#include "qrv_test_support.h"
#include "qrv_wchar_string.h"

namespace {

typedef CQRVDblList<CQRVObjNode<CQRVWCharString> > StringList;

// The text of a string as the model sees it: the units before the terminator.
std::u16string textOf(const CQRVWCharString& s)
{
    if (!s.isValid())
        return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(s.m_pBuffer), s.getLength());
}

std::string show(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string show(const CQRVWCharString& s) { return s.isValid() ? "'" + show(textOf(s)) + "'" : "<not valid>"; }

CQRVWCharString str(const std::u16string& text) { return CQRVWCharString(reinterpret_cast<const wchar_t*>(text.c_str())); }

std::vector<std::u16string> listTexts(StringList& list, std::vector<long>* keys = nullptr)
{
    std::vector<std::u16string> out;
    for (CQRVObjNode<CQRVWCharString>* p = list.m_pHead; p != nullptr; p = p->m_pNext) {
        out.push_back(textOf(*p->getItem()));
        if (keys)
            keys->push_back(p->m_lKey);
    }
    return out;
}

size_t countLines(const QRVLogCapture& capture, const wchar_t* piece) { return capture.linesWith(piece).size(); }

} // namespace

// ---- validity, construction, assignment ---------------------------------------------

TEST(WCharStringTest, EmptyTextAndNullGiveAStringThatIsNotValid)
{
    CQRVWCharString none;
    EXPECT_FALSE(none.isValid());
    EXPECT_EQ(nullptr, none.getBuffer());

    CQRVWCharString empty(L"");
    CQRVWCharString nullText(static_cast<const wchar_t*>(nullptr));
    CQRVWCharString nullNarrow(static_cast<const char*>(nullptr));
    CQRVWCharString zeroChar(L'\0');
    for (const CQRVWCharString* s : {&empty, &nullText, &nullNarrow, &zeroChar}) {
        EXPECT_FALSE(s->isValid());
        EXPECT_EQ(0u, s->getLength());
        EXPECT_TRUE(*s == none);
    }

    CQRVWCharString text(L"abc");
    EXPECT_EQ(4u, text.m_ulNumElems) << "text and terminator, exactly";
    text = L"";
    EXPECT_FALSE(text.isValid()) << "assigning an empty text releases the storage";
}

TEST(WCharStringTest, NarrowTextIsConvertedAndSingleCharactersStandAlone)
{
    CQRVWCharString narrow("Zarvik 8103");
    EXPECT_EQ(u"Zarvik 8103", textOf(narrow));
    EXPECT_EQ(12u, narrow.m_ulNumElems);

    CQRVWCharString ch(L'Q');
    EXPECT_EQ(u"Q", textOf(ch));
    EXPECT_EQ(2u, ch.m_ulNumElems);

    CQRVWCharString fromString(narrow);
    EXPECT_TRUE(fromString == narrow);
    fromString = fromString; // self-assignment keeps the text
    EXPECT_EQ(u"Zarvik 8103", textOf(fromString));
}

TEST(WCharStringTest, UnitBufferAssignmentTerminatesAndCompacts)
{
    // 'ab', terminator, slack: compacted to 3 units.
    const unsigned short withSlack[] = {L'a', L'b', 0, L'z', 0};
    CQRVWCharString s(CQRVBuffer<unsigned short>(withSlack, 5));
    EXPECT_EQ(u"ab", textOf(s));
    EXPECT_EQ(3u, s.m_ulNumElems);

    // No terminator in the data: one is added.
    const unsigned short bare[] = {L'x', L'y'};
    s = CQRVBuffer<unsigned short>(bare, 2);
    EXPECT_EQ(u"xy", textOf(s));
    EXPECT_EQ(3u, s.m_ulNumElems);
    EXPECT_EQ(0, s.m_pBuffer[2]);

    // Data that starts with its terminator is an empty text.
    const unsigned short leadingZero[] = {0, L'q'};
    s = CQRVBuffer<unsigned short>(leadingZero, 2);
    EXPECT_FALSE(s.isValid());

    // Assigning a string's own storage through its base view keeps the text.
    s = L"self";
    s = static_cast<const CQRVBuffer<unsigned short>&>(s);
    EXPECT_EQ(u"self", textOf(s));
}

TEST(WCharStringTest, CompactDropsSlackAndReleasesAnEmptyText)
{
    const unsigned short units[] = {L'a', 0, L'b', 0};
    CQRVWCharString s;
    s.allocate(4);
    std::memcpy(s.m_pBuffer, units, sizeof units);
    EXPECT_EQ(1u, s.getLength()) << "slack after the terminator is not text";
    ASSERT_TRUE(s.compact());
    EXPECT_EQ(2u, s.m_ulNumElems);

    s.m_pBuffer[0] = 0;
    EXPECT_TRUE(s.isValid());
    EXPECT_EQ(0u, s.getLength());
    EXPECT_FALSE(s == CQRVWCharString()) << "a valid empty text is not the same as no text";
    EXPECT_TRUE(s.compact());
    EXPECT_FALSE(s.isValid());
    EXPECT_FALSE(s.compact()) << "nothing to compact";
}

TEST(WCharStringTest, LengthNeverRunsPastTheArray)
{
    CQRVWCharString s;
    s.allocate(3);
    s.m_pBuffer[0] = L'a';
    s.m_pBuffer[1] = L'b';
    s.m_pBuffer[2] = L'c';
    EXPECT_EQ(3u, s.getLength());
    ASSERT_TRUE(s.compact());
    EXPECT_EQ(4u, s.m_ulNumElems) << "compact adds the missing terminator";
    EXPECT_EQ(0, s.m_pBuffer[3]);
}

// ---- comparison ---------------------------------------------------------------------

TEST(WCharStringTest, ComparisonIsExactOnCodeUnits)
{
    CQRVWCharString ab(L"ab"), ac(L"ac"), abc(L"abc"), none;
    EXPECT_TRUE(ab <= ac);
    EXPECT_TRUE(ac >= ab);
    EXPECT_TRUE(ab < ac);
    EXPECT_FALSE(ab > ac);
    EXPECT_TRUE(ab == CQRVWCharString(L"ab"));
    EXPECT_TRUE(ab != CQRVWCharString(L"AB")) << "case-sensitive";
    EXPECT_TRUE(ab != abc);
    // Units compare unsigned: U+FFFF is above 'a'.
    CQRVWCharString high(L"\xFFFF");
    EXPECT_TRUE(CQRVWCharString(L"a") <= high);

    // Different lengths, or a string that is not valid, have no order: <= and >= are
    // false, < and > true.
    EXPECT_FALSE(ab <= abc);
    EXPECT_FALSE(ab >= abc);
    EXPECT_TRUE(ab < abc);
    EXPECT_TRUE(ab > abc);
    EXPECT_FALSE(none <= none);
    EXPECT_TRUE(none == none);
}

// ---- concatenation and cutting -------------------------------------------------------

TEST(WCharStringTest, ConcatenationDropsTheLeftTerminatorAndSlack)
{
    CQRVWCharString left;
    left.allocate(5); // 'ab', terminator, two slack units
    left.m_pBuffer[0] = L'a';
    left.m_pBuffer[1] = L'b';
    left.m_pBuffer[3] = L'!';
    CQRVWCharString sum = left + CQRVWCharString(L"cd");
    EXPECT_EQ(u"abcd", textOf(sum));
    EXPECT_EQ(5u, sum.m_ulNumElems);

    EXPECT_EQ(u"cd", textOf(CQRVWCharString() + CQRVWCharString(L"cd")));
    CQRVWCharString unchanged(L"x");
    unchanged += CQRVWCharString();
    EXPECT_EQ(u"x", textOf(unchanged));
    unchanged += unchanged;
    EXPECT_EQ(u"xx", textOf(unchanged)) << "appending a string to itself";
}

TEST(WCharStringTest, WithoutLastAndFirst)
{
    CQRVWCharString abc(L"abc");
    EXPECT_FALSE(abc.withoutLast(3).isValid());
    EXPECT_FALSE(abc.withoutFirst(3).isValid());
    EXPECT_FALSE(abc.withoutFirst(7).isValid());
    EXPECT_EQ(u"ab", textOf(abc.withoutLast(1)));
    EXPECT_EQ(3u, abc.withoutLast(1).m_ulNumElems);
    EXPECT_EQ(u"bc", textOf(abc.withoutFirst(1)));
    EXPECT_EQ(u"abc", textOf(abc.withoutFirst(0)));
    EXPECT_EQ(u"abc", textOf(abc.withoutLast(0)));

    CQRVWCharString s(L"hello");
    s.removeFirst(1);
    s.removeLast(2);
    EXPECT_EQ(u"el", textOf(s));
}

// ---- searching ------------------------------------------------------------------------

TEST(WCharStringTest, FindOccurranceCountsOverlappingMatchesBothWays)
{
    QRVLogCapture capture;
    CQRVWCharString aaa(L"aaa");
    unsigned long pos = 0xDEADBEEF;
    ASSERT_TRUE(aaa.findOccurrance(L"aa", 1, pmFromStart, pos));
    EXPECT_EQ(0u, pos);
    ASSERT_TRUE(aaa.findOccurrance(L"aa", 2, pmFromStart, pos));
    EXPECT_EQ(1u, pos);
    ASSERT_TRUE(aaa.findOccurrance(L"aa", 1, pmFromEnd, pos));
    EXPECT_EQ(1u, pos);
    ASSERT_TRUE(aaa.findOccurrance(L"aa", 2, pmFromEnd, pos));
    EXPECT_EQ(0u, pos);
    EXPECT_EQ(2u, aaa.countOccurrances(L"aa"));

    pos = 0xDEADBEEF;
    EXPECT_FALSE(aaa.findOccurrance(L"aa", 3, pmFromStart, pos)) << "too few matches";
    EXPECT_FALSE(aaa.findOccurrance(L"aaaa", 1, pmFromStart, pos)) << "longer than the text";
    EXPECT_FALSE(aaa.findOccurrance(L"a", 1, 3, pos)) << "no such direction";
    EXPECT_FALSE(aaa.findOccurrance(CQRVWCharString(), 1, pmFromStart, pos));
    EXPECT_EQ(0xDEADBEEFu, pos) << "a failed search leaves the position alone";
    EXPECT_TRUE(capture.lines().empty()) << "none of these is a bad argument";

    CQRVWCharString abc(L"abc");
    EXPECT_FALSE(abc.findOccurrance(L"a", 5, pmFromStart, pos));
    EXPECT_EQ(1u, countLines(capture, L"\"A bad argument was provided ( ulOccurrance ). value is impossible since it is "
                                      L"larger than the length of this string\" <qrv_wchar_string.cpp, "));
    EXPECT_FALSE(abc.findOccurrance(L"a", 0, pmFromStart, pos));
    EXPECT_EQ(1u, countLines(capture, L"( ulOccurrance ). value must be greater than 0\""));
    EXPECT_EQ(0u, countLines(capture, L"An unhandled exception occurred"))
        << "findOccurrance catches bad arguments by class";
}

TEST(WCharStringTest, OccurranceNumbersAndAnchoredTests)
{
    CQRVWCharString abab(L"abab");
    unsigned long k = 0;
    ASSERT_TRUE(abab.getOccurranceNumber(L"ab", 2, pmFromStart, k));
    EXPECT_EQ(2u, k);
    ASSERT_TRUE(abab.getOccurranceNumber(L"ab", 2, pmFromEnd, k));
    EXPECT_EQ(1u, k);
    EXPECT_FALSE(abab.getOccurranceNumber(L"ab", 1, pmFromStart, k)) << "no occurrence starts at 1";

    EXPECT_FALSE(abab.beginsWith(L"b"));
    EXPECT_TRUE(abab.beginsWith(L"ab"));
    EXPECT_TRUE(abab.endsWith(L"ab"));
    EXPECT_FALSE(abab.endsWith(L"a"));
    EXPECT_TRUE(abab.contains(L"ba"));
    EXPECT_FALSE(abab.contains(L"aa"));
    EXPECT_FALSE(CQRVWCharString().contains(L"a"));
}

TEST(WCharStringTest, TracedMethodsWriteTheirResults)
{
    QRVLogCapture capture;
    capture.setDword(L"DynamicLogging", 1);
    capture.setDword(L"LogDetail", 0x300); // ENTRY and EXIT records
    CQRVWCharString path(L"C:\\T\\");
    EXPECT_TRUE(path.endsWith(L"\\"));
    EXPECT_FALSE(path.beginsWith(L"\\"));
    EXPECT_TRUE(path.getAsciiCodeString().isValid());
    EXPECT_FALSE(CQRVWCharString().getAsciiCodeString().isValid());

    struct Row {
        const wchar_t* method;
        const wchar_t* exitResult;
    } rows[] = {
        {L"<CQRVWCharString::endsWith> ", L"<Passed> "},
        {L"<CQRVWCharString::beginsWith> ", L"<Failed Logical Result> "},
        {L"<CQRVWCharString::getAsciiCodeString> ", L"<Passed> "},
        {L"<CQRVWCharString::getAsciiCodeString> ", L"<Failed> "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(show(textOf(CQRVWCharString(row.method))));
        size_t found = 0;
        for (const std::wstring& line : capture.linesWith(L"<EXIT> "))
            if (line.find(row.method) != std::wstring::npos && line.find(row.exitResult) != std::wstring::npos)
                ++found;
        EXPECT_EQ(1u, found);
    }
    size_t entries = 0;
    for (const std::wstring& line : capture.linesWith(L"<ENTRY> "))
        entries += line.find(L"<CQRVWCharString::") != std::wstring::npos ? 1 : 0;
    EXPECT_EQ(4u, entries);
}

// ---- editing --------------------------------------------------------------------------

TEST(WCharStringTest, InsertAtEveryKindOfPosition)
{
    QRVLogCapture capture;
    CQRVWCharString s(L"abc");
    ASSERT_TRUE(s.insert(L"X", 3));
    EXPECT_EQ(u"abcX", textOf(s));
    ASSERT_TRUE(s.insert(L"Y", 0));
    EXPECT_EQ(u"YabcX", textOf(s));
    ASSERT_TRUE(s.insert(L"--", 2));
    EXPECT_EQ(u"Ya--bcX", textOf(s));
    ASSERT_TRUE(s.insert(s, 1)) << "inserting a string into itself";
    EXPECT_EQ(u"YYa--bcXa--bcX", textOf(s));

    CQRVWCharString t(L"abc");
    EXPECT_FALSE(t.insert(L"X", 4));
    EXPECT_EQ(u"abc", textOf(t));
    EXPECT_EQ(1u, countLines(capture, L"( ulPos ). position is out of string bounds\""));
    EXPECT_FALSE(t.insert(CQRVWCharString(), 1));
    EXPECT_EQ(1u, countLines(capture, L"( string ). can't insert an invalid string\""));
    EXPECT_EQ(2u, countLines(capture, L"An unhandled exception occurred"))
        << "insert has only a catch-all handler: each bad argument is followed by an unhandled record";

    CQRVWCharString none;
    ASSERT_TRUE(none.insert(L"X", 0));
    EXPECT_EQ(u"X", textOf(none));
    CQRVWCharString none2;
    EXPECT_FALSE(none2.insert(L"X", 1));
}

TEST(WCharStringTest, ReplaceModesAndTheirRecords)
{
    QRVLogCapture capture;
    CQRVWCharString s(L"aba");
    ASSERT_TRUE(s.replace(L"a", L"aa", 0, ssmAll));
    EXPECT_EQ(u"aabaa", textOf(s)) << "new occurrences are not replaced again";

    s = L"abab";
    ASSERT_TRUE(s.replace(L"b", L"x", 2, ssmOccur));
    EXPECT_EQ(u"abax", textOf(s));
    EXPECT_FALSE(s.replace(L"a", L"x", 3, ssmOccur));
    EXPECT_EQ(1u, countLines(capture, L"( ulOccurrance ). occurrance is out of bounds\""));
    EXPECT_FALSE(s.replace(L"a", L"x", 0, ssmOccur));
    EXPECT_EQ(1u, countLines(capture, L"ssmOccur mode requires ulOccurrance to be greater than 0\""));
    EXPECT_FALSE(s.replace(L"a", L"x", 0, ssmNum));
    EXPECT_EQ(1u, countLines(capture, L"ssmNum mode requires ulOccurrance to be greater than 0\""));
    EXPECT_FALSE(s.replace(L"a", L"x", 1, 3));
    EXPECT_EQ(1u, countLines(capture, L"( subStringMode ). invalid mode\""));
    EXPECT_FALSE(s.replace(CQRVWCharString(), L"x", 1, ssmAll));
    EXPECT_EQ(1u, countLines(capture, L"( oldString ). string is invalid\""));
    EXPECT_EQ(0u, countLines(capture, L"An unhandled exception occurred")) << "replace catches bad arguments by class";
    EXPECT_EQ(u"abax", textOf(s)) << "refused replacements change nothing";
    EXPECT_FALSE(s.replace(L"q", L"x", 0, ssmAll)) << "nothing to replace";

    s = L"a,b,c,d";
    ASSERT_TRUE(s.replace(L",", L";", 2, ssmNum));
    EXPECT_EQ(u"a;b;c,d", textOf(s));
    ASSERT_TRUE(s.replace(L",", CQRVWCharString(), 1, ssmOccur)) << "replacing by nothing removes";
    EXPECT_EQ(u"a;b;cd", textOf(s));

    // The string itself as the new text is the text as it was when the call began.
    s = L"abab";
    ASSERT_TRUE(s.replace(L"b", s, 0, ssmAll));
    EXPECT_EQ(u"aababaabab", textOf(s));
    s = L"abab";
    ASSERT_TRUE(s.replace(s, s, 1, ssmOccur));
    EXPECT_EQ(u"abab", textOf(s));
    s = L"abab";
    ASSERT_TRUE(s.remove(s, 1, ssmOccur));
    EXPECT_FALSE(s.isValid());
}

// Replacing all occurrences works left to right over the original text. Re-searching
// from the start would replace text the replacement itself formed: collapsing "\\\\"
// to "\\" would stop half way and report failure.
TEST(WCharStringTest, ReplaceAllNeverRescansWhatItPutIn)
{
    CQRVWCharString path(L"C:\\\\x\\\\y");
    ASSERT_TRUE(path.replace(L"\\\\", L"\\", 0, ssmAll));
    EXPECT_EQ(u"C:\\x\\y", textOf(path));

    CQRVWCharString s(L"abbab");
    ASSERT_TRUE(s.replace(L"ab", L"ca", 0, ssmAll));
    EXPECT_EQ(u"cabca", textOf(s));

    s = L"abab";
    ASSERT_TRUE(s.replace(L"ab", L"b", 0, ssmAll));
    EXPECT_EQ(u"bb", textOf(s));

    // Overlapping matches: replacing the first consumes the second.
    s = L"aaa";
    ASSERT_TRUE(s.replace(L"aa", L"b", 0, ssmAll));
    EXPECT_EQ(u"ba", textOf(s));
    s = L"aaa";
    EXPECT_FALSE(s.replace(L"aa", L"b", 2, ssmNum)) << "only one of the two requested could be replaced";
    EXPECT_EQ(u"ba", textOf(s));
}

TEST(WCharStringTest, RemoveModesAndTheirRecords)
{
    QRVLogCapture capture;
    CQRVWCharString s(L"abXab");
    ASSERT_TRUE(s.remove(L"ab", 0, ssmAll));
    EXPECT_EQ(u"X", textOf(s));
    EXPECT_EQ(2u, s.m_ulNumElems) << "compacted";

    s = L"abXab";
    EXPECT_FALSE(s.remove(L"ab", 3, ssmNum));
    EXPECT_EQ(1u, countLines(capture, L"( ulOccurrance ). there aren't enough strings to accommodate ulOccurrance\""));
    EXPECT_EQ(1u, countLines(capture, L"An unhandled exception occurred"));
    EXPECT_FALSE(s.remove(L"ab", 0, ssmOccur));
    EXPECT_FALSE(s.remove(L"ab", 1, 8));
    EXPECT_EQ(u"abXab", textOf(s));

    ASSERT_TRUE(s.remove(L"ab", 2, ssmOccur));
    EXPECT_EQ(u"abX", textOf(s));
    s = L"ab";
    ASSERT_TRUE(s.remove(L"ab", 1, ssmOccur));
    EXPECT_FALSE(s.isValid()) << "removing everything leaves no text";
}

TEST(WCharStringTest, CaseAndOrder)
{
    CQRVWCharString s(L"AbZ\x00C4@[");
    ASSERT_TRUE(s.toLower());
    EXPECT_EQ(u"abz\x00C4@[", textOf(s)) << "only A..Z change";
    ASSERT_TRUE(s.reverse());
    EXPECT_EQ(u"[@\x00C4zba", textOf(s));
    CQRVWCharString one(L"q");
    EXPECT_TRUE(one.reverse());
    EXPECT_EQ(u"q", textOf(one));
    CQRVWCharString none;
    EXPECT_FALSE(none.toLower());
}

// ---- whitespace -------------------------------------------------------------------------

TEST(WCharStringTest, TrimOverwritesTheEndsAndKeepsTheInside)
{
    CQRVWCharString s(L"  a b \t");
    ASSERT_TRUE(s.trim(L' ', trLeading | trTrailing, 0xFF));
    EXPECT_EQ(u"a b", textOf(s));

    s = L"xxaxx";
    ASSERT_TRUE(s.trim(L'x', trTrailing, 0));
    EXPECT_EQ(u"xxa", textOf(s));
    EXPECT_EQ(6u, s.m_ulNumElems) << "trailing trim only writes terminators";
    ASSERT_TRUE(s.trim(L'x', trLeading, 0));
    EXPECT_EQ(u"a", textOf(s));

    // Each table entry is selected by its own bit.
    const wchar_t table[] = {L' ', L'\t', L'\f', L'\a', L'\n', L'\b', L'\r', L'\v'};
    for (unsigned i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        std::wstring text = std::wstring(1, table[i]) + L"a" + std::wstring(1, table[i]);
        CQRVWCharString selected(text.c_str());
        ASSERT_TRUE(selected.trim(L'-', trLeading | trTrailing, 1UL << i));
        EXPECT_EQ(u"a", textOf(selected));
        CQRVWCharString other(text.c_str());
        ASSERT_TRUE(other.trim(L'-', trLeading | trTrailing, 0xFF & ~(1UL << i)));
        EXPECT_EQ(3u, other.getLength()) << "the other seven bits leave it";
    }

    CQRVWCharString blank(L" \t ");
    ASSERT_TRUE(blank.trim(L' ', trLeading | trTrailing, 0xFF));
    EXPECT_TRUE(blank.isValid());
    EXPECT_EQ(0u, blank.getLength()) << "a blank text trims to length 0";
}

TEST(WCharStringTest, RemoveWhitespaceByRegion)
{
    CQRVWCharString s(L" a b ");
    ASSERT_TRUE(s.removeWhitespace(trLeading | trTrailing, 0x01));
    EXPECT_EQ(u"ab", textOf(s)) << "both bits strip the inside too";
    s = L" a b ";
    ASSERT_TRUE(s.removeWhitespace(trLeading, 0x01));
    EXPECT_EQ(u"a b ", textOf(s));
    s = L" a b ";
    ASSERT_TRUE(s.removeWhitespace(trTrailing, 0x01));
    EXPECT_EQ(u" a b", textOf(s));
    s = L" a b ";
    ASSERT_TRUE(s.removeWhitespace(0, 0x01));
    ASSERT_TRUE(s.removeWhitespace(trLeading, 0));
    EXPECT_EQ(u" a b ", textOf(s)) << "an empty selection does nothing";

    // A text made only of whitespace keeps its first unit unless both bits are given.
    s = L"\t \t";
    ASSERT_TRUE(s.removeWhitespace(trLeading, 0xFF));
    EXPECT_EQ(u"\t", textOf(s));
    s = L"\t \t";
    ASSERT_TRUE(s.removeWhitespace(trLeading | trTrailing, 0xFF));
    EXPECT_FALSE(s.isValid());

    unsigned long pos = 0;
    CQRVWCharString padded(L"  ab ");
    ASSERT_TRUE(padded.findNonWhitespace(0x01, pmFromStart, pos));
    EXPECT_EQ(2u, pos);
    ASSERT_TRUE(padded.findNonWhitespace(0x01, pmFromEnd, pos));
    EXPECT_EQ(3u, pos);
    EXPECT_FALSE(padded.findNonWhitespace(0x01, 5, pos));
    EXPECT_FALSE(CQRVWCharString(L"  ").findNonWhitespace(0x01, pmFromStart, pos));
}

// ---- sub-strings and ranges ----------------------------------------------------------

TEST(WCharStringTest, ConvertOccurranceAndSubStrings)
{
    QRVLogCapture capture;
    unsigned long k = 0;
    ASSERT_TRUE(CQRVWCharString(L"a,b,c").convertOccurrance(L",", 1, pmFromStart, k));
    EXPECT_EQ(2u, k);
    EXPECT_FALSE(CQRVWCharString(L"abc").convertOccurrance(L",", 1, pmFromStart, k));
    EXPECT_TRUE(capture.lines().empty()) << "a missing delimiter is no bad argument";
    EXPECT_FALSE(CQRVWCharString(L"a,b").convertOccurrance(CQRVWCharString(), 1, pmFromStart, k));
    EXPECT_EQ(1u, countLines(capture, L"( subString ). must contain a string\""));
    EXPECT_FALSE(CQRVWCharString(L"a,b").convertOccurrance(L",", 1, 7, k));
    EXPECT_EQ(1u, countLines(capture, L"( parseMode ). invalid parse mode\""));

    CQRVWCharString path(L"C:\\x\\y.txt");
    CQRVWCharString out;
    ASSERT_TRUE(path.getSubString(out, L"\\", 1, pmFromEnd, false));
    EXPECT_EQ(u"y.txt", textOf(out));
    ASSERT_TRUE(path.getSubString(out, L"\\", 1, pmFromEnd, true));
    EXPECT_EQ(u"\\y.txt", textOf(out));
    ASSERT_TRUE(path.getSubString(out, L"\\", 1, pmFromStart, false));
    EXPECT_EQ(u"C:", textOf(out));
    ASSERT_TRUE(path.getSubString(out, L"\\", 1, pmFromStart, true));
    EXPECT_EQ(u"C:\\", textOf(out));
    ASSERT_TRUE(path.getSubString(out, L"\\", 2, pmFromStart, false));
    EXPECT_EQ(u"C:\\x", textOf(out));
    EXPECT_FALSE(path.getSubString(out, L"/", 1, pmFromStart, false));
    EXPECT_EQ(u"C:\\x", textOf(out)) << "a failed cut leaves out alone";

    CQRVWCharString t(L"a.b.c");
    ASSERT_TRUE(t.truncateAt(L".", 1, pmFromStart, true));
    EXPECT_EQ(u"b.c", textOf(t));
    ASSERT_TRUE(t.truncateAt(L".", 1, pmFromEnd, false));
    EXPECT_EQ(u"b.", textOf(t));
    EXPECT_FALSE(t.truncateAt(L".", 1, 9, false));
}

TEST(WCharStringTest, DeleteAndExtractRanges)
{
    QRVLogCapture capture;
    struct Row {
        unsigned long start, end;
        bool delStart, delEnd;
        const char16_t* expected; // nullptr: not valid
    } rows[] = {
        {1, 3, false, false, u"abde"}, // only the unit between goes
        {1, 3, true, true, u"ae"},     // both ends too
        {3, 1, false, false, u"bcd"},  // wrapped: keeps [1..3]
        {3, 1, true, true, u"c"},      // wrapped without its ends
        {0, 4, true, true, nullptr},   // everything
        {4, 0, false, false, u"abcde"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.start << "-" << row.end << " " << row.delStart << row.delEnd);
        CQRVWCharString s(L"abcde");
        ASSERT_TRUE(s.deleteRange(row.start, row.end, row.delStart, row.delEnd));
        if (row.expected)
            EXPECT_EQ(std::u16string(row.expected), textOf(s));
        else
            EXPECT_FALSE(s.isValid());
    }
    CQRVWCharString s(L"abcde");
    EXPECT_FALSE(s.deleteRange(5, 1, false, false));
    EXPECT_EQ(1u, countLines(capture, L"( ulStartPos ). start position is past the end of the string\""));
    EXPECT_FALSE(s.deleteRange(1, 5, false, false));
    EXPECT_EQ(1u, countLines(capture, L"( ulEndPos ). end position is past the end of the string\""));
    EXPECT_FALSE(s.deleteRange(2, 2, false, false));
    EXPECT_EQ(1u, countLines(capture, L"( ulEndPos & ulStartPos ). start and end positions can't be equal\""));
    EXPECT_EQ(u"abcde", textOf(s));

    CQRVWCharString out;
    ASSERT_TRUE(s.extractRange(out, 1, 3, true, true));
    EXPECT_EQ(u"bcd", textOf(out));
    ASSERT_TRUE(s.extractRange(out, 1, 3, false, false));
    EXPECT_EQ(u"c", textOf(out));
    ASSERT_TRUE(s.extractRange(out, 1, 3, true, false));
    EXPECT_EQ(u"bc", textOf(out));
    ASSERT_TRUE(s.extractRange(out, 2, 2, false, false));
    EXPECT_FALSE(out.isValid());
    ASSERT_TRUE(s.extractRange(out, 2, 2, false, true));
    EXPECT_EQ(u"c", textOf(out));
    EXPECT_FALSE(s.extractRange(out, 3, 1, true, true));
    EXPECT_EQ(1u, countLines(capture, L"( ulStartPos ). start position can't be greater than end position - use "
                                      L"extractOutside( ) or deleteRange( ) instead\""));
    EXPECT_FALSE(s.extractRange(out, 1, 5, true, true));
    EXPECT_EQ(2u, countLines(capture, L"( ulStartPos ). start position is past the end of the string\""))
        << "the end position is checked as deleteRange's start";

    ASSERT_TRUE(CQRVWCharString(L"[a]b]").extractBetween(out, L"[", 1, L"]", 1, false, false));
    EXPECT_EQ(u"a]b", textOf(out)) << "the end delimiter counts from the end";
    ASSERT_TRUE(CQRVWCharString(L"x<<a>>y").extractBetween(out, L"<<", 1, L">>", 1, true, true));
    EXPECT_EQ(u"<<a>>", textOf(out));
    ASSERT_TRUE(CQRVWCharString(L"x<<a>>y").extractBetween(out, L"<<", 1, L">>", 1, true, false));
    EXPECT_EQ(u"<<a", textOf(out));
    ASSERT_TRUE(CQRVWCharString(L"x<<a>>y").extractBetween(out, L"<<", 1, L">>", 1, false, true));
    EXPECT_EQ(u"a>>", textOf(out));
    EXPECT_FALSE(CQRVWCharString(L"x<<a").extractBetween(out, L"<<", 1, L">>", 1, false, false));
}

// ---- fields ------------------------------------------------------------------------------

TEST(WCharStringTest, FieldsAndSplit)
{
    CQRVWCharString out;
    CQRVWCharString text(L"a,,b");
    ASSERT_TRUE(text.getField(out, L",", 2, fmSeparated, 0, 0));
    EXPECT_FALSE(out.isValid()) << "an empty field is not valid";
    ASSERT_TRUE(text.getField(out, L",", 3, fmSeparated, 0, 0));
    EXPECT_EQ(u"b", textOf(out));
    EXPECT_FALSE(text.getField(out, L",", 4, fmSeparated, 0, 0));
    ASSERT_TRUE(CQRVWCharString(L"whole").getField(out, L",", 1, fmSeparated, 0, 0));
    EXPECT_EQ(u"whole", textOf(out));

    StringList list;
    std::vector<long> keys;
    ASSERT_TRUE(CQRVWCharString(L"a, b ,c").split(list, L",", fmSeparated, trLeading | trTrailing, 0x01));
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"b", u"c"}), listTexts(list, &keys));
    EXPECT_EQ((std::vector<long>{0, 1, 2}), keys);

    keys.clear();
    ASSERT_TRUE(CQRVWCharString(L"a%B%c%D%").split(list, L"%", fmEnclosed, 0, 0));
    EXPECT_EQ((std::vector<std::u16string>{u"B", u"D"}), listTexts(list, &keys));
    EXPECT_EQ((std::vector<long>{0, 1}), keys);

    // A text without the delimiter encloses nothing (but is one separated field).
    EXPECT_FALSE(CQRVWCharString(L"C:\\Temp").split(list, L"%", fmEnclosed, 0, 0));
    EXPECT_EQ(0u, list.m_ulCount) << "the list is cleared first";
    EXPECT_FALSE(CQRVWCharString(L"100%").split(list, L"%", fmEnclosed, 0, 0));
    EXPECT_FALSE(CQRVWCharString(L"a,b").split(list, L",", 3, 0, 0));
}

// Fields that cannot be cut (overlapping delimiters whose end comes before the start,
// an empty delimiter) fail with the records the range extraction and the occurrence
// conversion write, in getField and split alike.
TEST(WCharStringTest, FieldsThatCannotBeCutKeepTheirRecords)
{
    QRVLogCapture capture;
    const CQRVWCharString text(L"aaaa");
    const CQRVWCharString delimiter(L"aaa"); // at 0 and 1: field 2 would end before it starts
    CQRVWCharString out(L"sentinel");
    EXPECT_FALSE(text.getField(out, delimiter, 2, fmSeparated, 0, 0));
    EXPECT_EQ(u"sentinel", textOf(out)) << "a failed field leaves out alone";
    EXPECT_EQ(1u, countLines(capture, L"start position can't be greater than end position"));
    EXPECT_EQ(1u, countLines(capture, L"An unhandled exception occurred"));

    StringList list;
    EXPECT_TRUE(text.split(list, delimiter, fmSeparated, 0, 0)) << "field 1 (empty) comes before the failure";
    EXPECT_EQ(1u, list.m_ulCount);
    EXPECT_EQ(2u, countLines(capture, L"start position can't be greater than end position"));

    CQRVWCharString empty;
    ASSERT_TRUE(empty.allocate(1)); // valid, of length 0
    EXPECT_FALSE(CQRVWCharString(L"ab").getField(out, empty, 1, fmSeparated, 0, 0));
    EXPECT_FALSE(CQRVWCharString(L"ab").split(list, empty, fmSeparated, 0, 0));
    EXPECT_EQ(2u, countLines(capture, L"( subString ). must contain a string"));
    EXPECT_EQ(4u, countLines(capture, L"An unhandled exception occurred"));
}

// ---- the model ----------------------------------------------------------------------------

namespace model {

struct Text {
    bool valid;
    std::u16string text;
};

Text of(const std::u16string& t) { return Text{!t.empty(), t}; }
Text invalid() { return Text{false, std::u16string()}; }

// Starts of every match, overlapping ones included.
std::vector<size_t> starts(const std::u16string& text, const std::u16string& sub)
{
    std::vector<size_t> out;
    for (size_t j = 0; sub.size() <= text.size() && j <= text.size() - sub.size(); ++j)
        if (text.compare(j, sub.size(), sub) == 0)
            out.push_back(j);
    return out;
}

bool removeOcc(std::u16string& text, const std::u16string& sub, unsigned long occ, unsigned long mode)
{
    size_t c = starts(text, sub).size();
    if (text.empty() || c == 0)
        return false;
    size_t k = 1, r = c;
    if (mode == ssmOccur) {
        if (occ == 0 || c < occ)
            return false;
        k = occ;
        r = 1;
    } else if (mode == ssmNum) {
        if (occ == 0 || c < occ)
            return false;
        r = occ;
    } else if (mode != ssmAll) {
        return false;
    }
    for (size_t i = 0; i < r; ++i) {
        std::vector<size_t> now = starts(text, sub);
        if (now.size() < k)
            continue;
        text.erase(now[k - 1], sub.size());
    }
    return true;
}

bool replaceOcc(std::u16string& text, const std::u16string& from, const std::u16string& to, unsigned long occ,
                unsigned long mode)
{
    size_t c = starts(text, from).size();
    if (text.empty() || c == 0)
        return false;
    if (mode == ssmOccur) {
        if (occ == 0 || c < occ)
            return false;
        text.replace(starts(text, from)[occ - 1], from.size(), to);
        return true;
    }
    if (mode == ssmNum && (occ == 0 || c < occ))
        return false;
    size_t wanted = mode == ssmAll ? c : occ;
    size_t done = 0, at = 0;
    while (done < wanted) {
        size_t p = text.find(from, at);
        if (p == std::u16string::npos)
            break;
        text.replace(p, from.size(), to);
        at = p + to.size();
        ++done;
    }
    return mode == ssmAll ? done > 0 : done == wanted;
}

// The units strictly between the end of the match at a and the start of the match at
// b: the range extraction reports an end before the start as a failure, and an end
// right after the start as an empty field.
bool between(const std::u16string& text, size_t a, size_t len, size_t b, Text& out)
{
    long long s = static_cast<long long>(a + len) - 1;
    long long e = static_cast<long long>(b);
    if (e < s)
        return false;
    out = e == s ? invalid() : of(text.substr(static_cast<size_t>(s + 1), static_cast<size_t>(e - s - 1)));
    return true;
}

bool field(const std::u16string& text, const std::u16string& sub, unsigned long k, unsigned long mode, Text& out)
{
    std::vector<size_t> p = starts(text, sub);
    size_t c = p.size();
    if (c == 0) {
        if (k != 1 || mode != fmSeparated)
            return false;
        out = of(text);
        return true;
    }
    if (k - 1 > c)
        return false;
    if (mode == fmSeparated) {
        if (k == 1) {
            out = of(text.substr(0, p[0]));
            return true;
        }
        if (k == c + 1) {
            out = of(text.substr(p[c - 1] + sub.size()));
            return true;
        }
        return between(text, p[k - 2], sub.size(), p[k - 1], out);
    }
    if (k + 1 > c)
        return false;
    return between(text, p[k - 1], sub.size(), p[k], out);
}

std::vector<Text> split(const std::u16string& text, const std::u16string& sub, unsigned long mode)
{
    std::vector<Text> out;
    for (unsigned long k = 1;; k += mode == fmSeparated ? 1 : 2) {
        Text t;
        if (!field(text, sub, k, mode, t))
            break;
        out.push_back(t);
    }
    return out;
}

} // namespace model

// Short texts over a three-letter alphabet, so delimiters repeat, touch and overlap.
std::vector<std::u16string> generatedTexts(size_t count)
{
    std::mt19937 random(8103);
    std::vector<std::u16string> out;
    const char16_t alphabet[] = {u'a', u'b', u','};
    for (size_t i = 0; i < count; ++i) {
        size_t length = 1 + random() % 9;
        std::u16string text;
        for (size_t j = 0; j < length; ++j)
            text += alphabet[random() % 3];
        out.push_back(text);
    }
    return out;
}

const std::u16string kDelimiters[] = {u",", u",,", u"a", u"aa", u"ab", u"a,a"};

TEST(WCharStringModelTest, CountingAndFieldsMatchTheModel)
{
    size_t emptyFields = 0, crossedFields = 0, fieldsChecked = 0;
    for (const std::u16string& text : generatedTexts(1500)) {
        CQRVWCharString s = str(text);
        for (const std::u16string& delimiter : kDelimiters) {
            SCOPED_TRACE("text '" + show(text) + "' delimiter '" + show(delimiter) + "'");
            CQRVWCharString d = str(delimiter);
            size_t c = model::starts(text, delimiter).size();
            ASSERT_EQ(c, s.countOccurrances(d));
            for (unsigned long mode : {static_cast<unsigned long>(fmSeparated), static_cast<unsigned long>(fmEnclosed)}) {
                SCOPED_TRACE(mode == fmSeparated ? "separated" : "enclosed");
                for (unsigned long k = 1; k <= c + 2; ++k) {
                    SCOPED_TRACE(k);
                    model::Text expected;
                    bool expectedOk = model::field(text, delimiter, k, mode, expected);
                    CQRVWCharString out(L"sentinel");
                    bool ok = s.getField(out, d, k, mode, 0, 0);
                    ASSERT_EQ(expectedOk, ok) << "got " << show(out);
                    ++fieldsChecked;
                    if (!ok && k <= c)
                        ++crossedFields; // overlapping delimiters: the end comes before the start
                    if (ok && !out.isValid())
                        ++emptyFields;
                    if (ok) {
                        ASSERT_EQ(expected.valid, out.isValid()) << "got " << show(out);
                        ASSERT_EQ(expected.text, textOf(out));
                    }
                }
                std::vector<model::Text> fields = model::split(text, delimiter, mode);
                StringList list;
                std::vector<long> keys;
                ASSERT_EQ(!fields.empty(), s.split(list, d, mode, 0, 0));
                std::vector<std::u16string> got = listTexts(list, &keys);
                ASSERT_EQ(fields.size(), got.size());
                for (size_t i = 0; i < fields.size(); ++i) {
                    ASSERT_EQ(fields[i].text, got[i]);
                    ASSERT_EQ(static_cast<long>(i), keys[i]);
                }
            }
        }
    }
    // The generated texts reach the awkward cases, not only clean fields.
    EXPECT_GT(fieldsChecked, 50000u);
    EXPECT_GT(emptyFields, 1000u);
    EXPECT_GT(crossedFields, 100u);
}

TEST(WCharStringModelTest, EditsMatchTheModel)
{
    const std::u16string replacements[] = {u"", u"x", u"a", u"aa", u",,"};
    const unsigned long modes[] = {ssmAll, ssmOccur, ssmNum};
    for (const std::u16string& text : generatedTexts(1000)) {
        for (const std::u16string& delimiter : kDelimiters) {
            SCOPED_TRACE("text '" + show(text) + "' delimiter '" + show(delimiter) + "'");
            for (unsigned long mode : modes) {
                for (unsigned long occ = 0; occ <= 3; ++occ) {
                    SCOPED_TRACE(testing::Message() << "mode " << mode << " occurrence " << occ);
                    std::u16string expected = text;
                    bool expectedOk = model::removeOcc(expected, delimiter, occ, mode);
                    CQRVWCharString s = str(text);
                    ASSERT_EQ(expectedOk, s.remove(str(delimiter), occ, mode));
                    ASSERT_EQ(expected, textOf(s));
                    ASSERT_EQ(!expected.empty(), s.isValid());

                    for (const std::u16string& to : replacements) {
                        SCOPED_TRACE("by '" + show(to) + "'");
                        std::u16string replaced = text;
                        bool replacedOk = model::replaceOcc(replaced, delimiter, to, occ, mode);
                        CQRVWCharString r = str(text);
                        ASSERT_EQ(replacedOk, r.replace(str(delimiter), str(to), occ, mode));
                        ASSERT_EQ(replaced, textOf(r));
                        ASSERT_EQ(!replaced.empty(), r.isValid());
                    }
                }
            }
            for (unsigned long pos = 0; pos <= text.size(); ++pos) {
                CQRVWCharString s = str(text);
                ASSERT_TRUE(s.insert(str(delimiter), pos));
                std::u16string expected = text;
                expected.insert(pos, delimiter);
                ASSERT_EQ(expected, textOf(s));
                ASSERT_EQ(expected.size() + 1, s.m_ulNumElems);
            }
        }
    }
}

// ---- numbers -------------------------------------------------------------------------------

TEST(WCharStringTest, TextToNumber)
{
    QRVLogCapture capture;
    struct Row {
        const wchar_t* text;
        unsigned long system;
        bool ok;
        unsigned long value;
    } rows[] = {
        {L" 0x1F ", nsHex, true, 31},
        {L"0X1f", nsHex, true, 31},
        {L"1Fh", nsHex, true, 31},
        {L"FFFFFFFF", nsHex, true, 4294967295UL},
        {L"1B", nsHex, true, 0x1B},        // hex digits that also read as a binary literal
        {L"0b", nsHex, true, 0x0B},        // likewise
        {L"101b", nsHex, true, 0x101B},
        {L"1G", nsHex, false, 0},
        {L"\t \n", nsHex, true, 0},        // blank trims to nothing: 0
        {L"101b", nsBin, true, 5},
        {L"0b101", nsBin, true, 5},
        {L"11111111111111111111111111111111", nsBin, true, 0xFFFFFFFFUL},
        {L"1b", nsBin, true, 1},           // two units: the marker at index 1 is also last, a suffix
        {L"0b", nsBin, true, 0},
        {L"0b1", nsBin, true, 1},          // longer texts: index 1 is a prefix
        {L"102", nsBin, false, 0},
        {L"  ", nsBin, true, 0},
        {L"0o17", nsOct, true, 15},
        {L"17o", nsOct, true, 15},
        {L"7o", nsOct, true, 7},           // as '1b'
        {L"37777777777", nsOct, true, 0xFFFFFFFFUL},
        {L"8", nsOct, false, 0},
        {L"", nsOct, false, 0},
        {L"-42", nsDec, true, static_cast<unsigned long>(-42L)},
        {L" 7 ", nsDec, true, 7},
        {L"4.2", nsDec, false, 0},
        {L"  ", nsDec, false, 0},
        {L"12", 16, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "'" << show(textOf(CQRVWCharString(row.text))) << "' system " << row.system);
        unsigned long value = 0xDEADBEEF;
        ASSERT_EQ(row.ok, CQRVWCharString(row.text).toNumber(value, row.system));
        EXPECT_EQ(row.ok ? row.value : 0xDEADBEEFUL, value);
    }
    EXPECT_TRUE(capture.lines().empty()) << "none of these is a bad argument";

    unsigned long value = 0xDEADBEEF;
    EXPECT_FALSE(CQRVWCharString(L"123456789").toNumber(value, nsHex));
    auto hex = capture.linesWith(L"( this string ). too many hex digits in string - will overflow unsigned long value\"");
    ASSERT_EQ(1u, hex.size());
    EXPECT_EQ(std::wstring::npos, hex[0].find(L"qrv_wchar_string.cpp")) << "this record carries no source file";
    EXPECT_FALSE(CQRVWCharString(L"111111111111111111111111111111111").toNumber(value, nsBin));
    EXPECT_EQ(1u, countLines(capture, L"( this ). too many binary digits in string - will overflow unsigned long value\""));
    EXPECT_FALSE(CQRVWCharString(L"1234567012345").toNumber(value, nsOct));
    // Eleven or twelve octal digits above 32 bits are refused, not wrapped.
    EXPECT_FALSE(CQRVWCharString(L"40000000000").toNumber(value, nsOct));
    EXPECT_FALSE(CQRVWCharString(L"777777777777").toNumber(value, nsOct));
    EXPECT_EQ(3u, countLines(capture, L"( this string ). too many octal digits in string - will overflow unsigned long "
                                      L"value\""));
    EXPECT_EQ(0xDEADBEEFUL, value);
}

TEST(WCharStringTest, CharacterClassesAndLiterals)
{
    EXPECT_TRUE(CQRVWCharString(L"-12").isNumeric(true, false));
    EXPECT_FALSE(CQRVWCharString(L"-12").isNumeric(false, false));
    EXPECT_TRUE(CQRVWCharString(L"-").isNumeric(true, false));
    EXPECT_TRUE(CQRVWCharString(L"1.5").isNumeric(false, true));
    EXPECT_FALSE(CQRVWCharString(L"1.").isNumeric(false, true));
    EXPECT_FALSE(CQRVWCharString(L".1").isNumeric(false, true));
    EXPECT_FALSE(CQRVWCharString(L"1.2.3").isNumeric(false, true));
    EXPECT_FALSE(CQRVWCharString(L"1-2").isNumeric(true, false));
    EXPECT_FALSE(CQRVWCharString().isNumeric(true, true));

    EXPECT_FALSE(CQRVWCharString(L"1F").isHexLiteral());
    EXPECT_TRUE(CQRVWCharString(L"1Fh").isHexLiteral());
    EXPECT_TRUE(CQRVWCharString(L"0X1f").isHexLiteral());
    EXPECT_FALSE(CQRVWCharString(L"0x1Fh").isHexLiteral()) << "never both markers";
    EXPECT_FALSE(CQRVWCharString(L"1x1F").isHexLiteral());
    EXPECT_FALSE(CQRVWCharString(L"h").isHexLiteral());
    EXPECT_TRUE(CQRVWCharString(L"0B11").isBinaryLiteral());
    EXPECT_FALSE(CQRVWCharString(L"1b1b").isBinaryLiteral());
    EXPECT_FALSE(CQRVWCharString(L"10b1").isBinaryLiteral()) << "the marker is at index 1 or last";
    EXPECT_TRUE(CQRVWCharString(L"7O").isOctalLiteral());
    EXPECT_FALSE(CQRVWCharString(L"8o").isOctalLiteral());
    EXPECT_TRUE(CQRVWCharString(L"0123456789abcdefABCDEF").isHex());
    EXPECT_FALSE(CQRVWCharString(L"12g").isHex());

    CQRVWCharString marked(L"0x1F");
    ASSERT_TRUE(marked.removeNumberSystemMarker());
    EXPECT_EQ(u"1F", textOf(marked));
    marked = L"17o";
    ASSERT_TRUE(marked.removeNumberSystemMarker());
    EXPECT_EQ(u"17", textOf(marked));
    marked = L"17";
    EXPECT_FALSE(marked.removeNumberSystemMarker());
    EXPECT_EQ(u"17", textOf(marked));
}

TEST(WCharStringTest, NumberToText)
{
    EXPECT_EQ(u"0x00FF", textOf(CQRVWCharString(255UL, nsHex, 4, true)));
    EXPECT_EQ(u"2345", textOf(CQRVWCharString(0x12345UL, nsHex, 4, false))) << "cut to the low digits";
    EXPECT_EQ(u"0b101", textOf(CQRVWCharString(5UL, nsBin, 0, true)));
    EXPECT_EQ(u"0o10", textOf(CQRVWCharString(8UL, nsOct, 0, true)));
    EXPECT_EQ(u"0", textOf(CQRVWCharString(0UL, nsHex, 0, false)));
    EXPECT_EQ(u"0xDEADBEEF", textOf(CQRVWCharString(0xDEADBEEFUL, nsHex, 8, true)));
    EXPECT_EQ(u"-2147483648", textOf(CQRVWCharString(0x80000000UL, nsDec, 3, true))) << "width and prefix ignored";
    EXPECT_EQ(u"-42", textOf(CQRVWCharString(-42L)));
    EXPECT_EQ(u"0", textOf(CQRVWCharString(0L)));
    EXPECT_EQ(u"2147483647", textOf(CQRVWCharString(2147483647L)));

    QRVLogCapture capture;
    EXPECT_THROW(CQRVWCharString(1UL, 16, 0, false), CQRVBufferInitException);
    EXPECT_EQ(1u, countLines(capture, L"( asNumberSystem ). mode isn't supported, must be hex,bin,or oct\""));
}

TEST(WCharStringTest, NumbersRoundTripInEverySystem)
{
    std::mt19937 random(42);
    std::vector<unsigned long> values = {0, 1, 7, 8, 15, 16, 255, 256, 0x7FFFFFFFUL, 0x80000000UL, 0xFFFFFFFFUL};
    for (int i = 0; i < 300; ++i)
        values.push_back(static_cast<unsigned long>(random()));
    for (unsigned long value : values) {
        for (unsigned long system : {nsHex, nsBin, nsOct, nsDec}) {
            for (bool prefix : {false, true}) {
                SCOPED_TRACE(testing::Message() << value << " system " << system << " prefix " << prefix);
                CQRVWCharString text(value, system, 0, prefix);
                unsigned long back = 0xDEADBEEF;
                ASSERT_TRUE(text.toNumber(back, system)) << show(text);
                EXPECT_EQ(value, back) << show(text);
            }
        }
    }
}

// ---- byte dumps ------------------------------------------------------------------------------

TEST(WCharStringTest, ByteDumpsListEveryUnitByte)
{
    CQRVWCharString ab;
    ab.allocate(3);
    ab.m_pBuffer[0] = L'A';
    ab.m_pBuffer[1] = L'B';
    EXPECT_EQ(u"41 00 42 00 00 00", textOf(ab.getAsciiCodeString()));

    CQRVWCharString slack;
    slack.allocate(3);
    slack.m_pBuffer[0] = 0x1234;
    slack.m_pBuffer[2] = 0xABCD; // after the terminator
    EXPECT_EQ(u"34 12 00 00 CD AB", textOf(slack.getAsciiCodeString()));
    EXPECT_FALSE(CQRVWCharString().getAsciiCodeString().isValid());

    CQRVBuffer<unsigned char> bytes = CQRVWCharString(L"41 00 42").getBufferFromAsciiCodeString();
    ASSERT_EQ(3u, bytes.m_ulNumElems);
    EXPECT_EQ(0x41, bytes.m_pBuffer[0]);
    EXPECT_EQ(0x00, bytes.m_pBuffer[1]);
    EXPECT_EQ(0x42, bytes.m_pBuffer[2]);

    // Any single unit separates; a short tail is dropped; a pair that is not hex is a 0
    // byte, so the bytes after it keep their places.
    bytes = CQRVWCharString(L"0a-ZZ,ff 7").getBufferFromAsciiCodeString();
    ASSERT_EQ(3u, bytes.m_ulNumElems);
    EXPECT_EQ(0x0A, bytes.m_pBuffer[0]);
    EXPECT_EQ(0x00, bytes.m_pBuffer[1]);
    EXPECT_EQ(0xFF, bytes.m_pBuffer[2]);
    EXPECT_EQ(0u, CQRVWCharString(L"4").getBufferFromAsciiCodeString().m_ulNumElems);

    // Each pair is read as toNumber(nsHex) reads a two-unit text (blanks trimmed, the
    // "0x" and 'h' markers, anything else a 0 byte).
    const wchar_t kUnits[] = L"0179aAfFgGhHxXbBoO \t\n-";
    for (wchar_t first : kUnits) {
        for (wchar_t second : kUnits) {
            if (first == 0 || second == 0)
                continue;
            const wchar_t pair[] = {first, second, 0};
            SCOPED_TRACE(show(textOf(CQRVWCharString(pair))));
            unsigned long ulExpected = 0;
            if (!CQRVWCharString(pair).toNumber(ulExpected, nsHex))
                ulExpected = 0;
            bytes = CQRVWCharString(pair).getBufferFromAsciiCodeString();
            ASSERT_EQ(1u, bytes.m_ulNumElems);
            EXPECT_EQ(ulExpected & 0xFF, bytes.m_pBuffer[0]);
        }
    }
}

TEST(WCharStringTest, EveryByteValueRoundTripsThroughADump)
{
    QRVLogCapture capture;
    CQRVWCharString units;
    units.allocate(128);
    for (unsigned i = 0; i < 128; ++i)
        units.m_pBuffer[i] = static_cast<unsigned short>((2 * i) | ((2 * i + 1) << 8));
    CQRVWCharString dump = units.getAsciiCodeString();
    ASSERT_EQ(256u * 3 - 1, dump.getLength());
    CQRVBuffer<unsigned char> bytes = dump.getBufferFromAsciiCodeString();
    ASSERT_EQ(256u, bytes.m_ulNumElems);
    for (unsigned i = 0; i < 256; ++i)
        EXPECT_EQ(i, bytes.m_pBuffer[i]) << "byte " << i;
    EXPECT_TRUE(capture.lines().empty()) << "a clean dump leaves nothing in the log";
}

TEST(WCharStringTest, StandardTextInAndOut)
{
    const std::wstring withNul(L"ab\0cd", 5);
    struct Row {
        const char* what;
        CQRVWCharString s;
        bool valid;
        std::wstring text;
    } rows[] = {
        {"std::wstring", CQRVWCharString(std::wstring(L"Grüße")), true, L"Grüße"},
        {"const wchar_t*", CQRVWCharString(L"x\\y"), true, L"x\\y"},
        {"empty std::wstring is not valid", CQRVWCharString(std::wstring()), false, L""},
        {"a std::wstring stops at its first NUL", CQRVWCharString(withNul), true, L"ab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.valid, row.s.isValid());
        EXPECT_EQ(row.text, row.s.str());
        ASSERT_NE(nullptr, row.s.c_str());
        EXPECT_EQ(row.text, std::wstring(row.s.c_str()));
    }
    CQRVWCharString assigned(L"old");
    assigned = std::wstring(L"new");
    EXPECT_EQ(L"new", assigned.str());
    assigned = std::wstring();
    EXPECT_FALSE(assigned.isValid());
}

TEST(WCharStringTest, LessIsAnOrderWhereTheOperatorsAreNot)
{
    const CQRVWCharStringLess less;
    // Sorted as the comparator must order them; a not-valid string sorts as the empty text.
    const std::vector<std::wstring> sorted = {L"", L"A", L"AB", L"ABC", L"B", L"a", L"\xFFFF"};
    for (size_t i = 0; i < sorted.size(); ++i)
        for (size_t j = 0; j < sorted.size(); ++j) {
            SCOPED_TRACE(testing::Message() << i << " vs " << j);
            EXPECT_EQ(i < j, less(CQRVWCharString(sorted[i]), CQRVWCharString(sorted[j])));
        }
    EXPECT_FALSE(less(CQRVWCharString(), CQRVWCharString(L"")));
    // The operators are unchanged: across lengths < and > are both true.
    EXPECT_TRUE(CQRVWCharString(L"AB") < CQRVWCharString(L"ABC"));
    EXPECT_TRUE(CQRVWCharString(L"AB") > CQRVWCharString(L"ABC"));
}
