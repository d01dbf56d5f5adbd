// CQRVDblList<N> and its node kinds: cursor movement, keys, payload ownership, deep
// copies of pointer lists, and list equality.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrv_dbllist.h"
#include "qrv_wchar_string.h"

namespace {

// A payload that counts how many of its objects exist, so tests can see every copy
// being made and every object being deleted exactly once.
struct Counted {
    static int s_live;
    int value;
    explicit Counted(int v) : value(v) { ++s_live; }
    Counted(const Counted& other) : value(other.value) { ++s_live; }
    Counted& operator=(const Counted& other)
    {
        value = other.value;
        return *this;
    }
    ~Counted() { --s_live; }
    bool operator==(const Counted& other) const { return value == other.value; }
    bool operator<(const Counted& other) const { return value < other.value; }
    bool operator>(const Counted& other) const { return value > other.value; }
};
int Counted::s_live = 0;

// A payload with equality but no ordering.
struct Unordered {
    int value;
    bool operator==(const Unordered& other) const { return value == other.value; }
};

enum Colour { clRed = 1, clGreen = 2, clBlue = 3 };

typedef CQRVDblList<CQRVObjNode<std::string>> TextList;
typedef CQRVDblList<CQRVPtrNode<Counted>> CountedPtrList;
typedef CQRVDblList<CQRVObjNode<Counted>> CountedObjList;
typedef CQRVDblList<CQRVStdNode<Colour>> ColourList;

TextList textList(const std::vector<std::pair<std::string, long>>& items)
{
    TextList list;
    for (const auto& item : items)
        EXPECT_TRUE(list.add(item.first, item.second));
    return list;
}

std::vector<int> valuesOf(const CountedPtrList& list)
{
    std::vector<int> values;
    for (const CQRVPtrNode<Counted>* p = list.m_pHead; p; p = p->m_pNext)
        values.push_back(p->m_pPointer ? p->m_pPointer->value : -1);
    return values;
}

std::string current(const TextList& list)
{
    std::string out = "<none>";
    list.getCurrent(out);
    return out;
}

class DblListTest : public testing::Test {
protected:
    void SetUp() override { Counted::s_live = 0; }
    void TearDown() override { EXPECT_EQ(0, Counted::s_live) << "payload objects leaked or deleted twice"; }
};

} // namespace

TEST_F(DblListTest, AddLinksAtTheTailAndSetsTheCursorOnlyOnTheFirstNode)
{
    TextList list;
    EXPECT_FALSE(list.addNode(nullptr));
    EXPECT_EQ(0u, list.m_ulCount);

    ASSERT_TRUE(list.add("a", 1));
    EXPECT_EQ(list.m_pHead, list.m_pCursor);
    EXPECT_EQ(list.m_pHead, list.m_pTail);
    ASSERT_TRUE(list.add("b", 2));
    ASSERT_TRUE(list.add("c", 3));
    EXPECT_EQ("a", current(list)) << "later adds must not move the cursor";
    EXPECT_EQ(3u, list.m_ulCount);

    // Links both ways, with null ends.
    EXPECT_EQ(nullptr, list.m_pHead->m_pPrev);
    EXPECT_EQ(nullptr, list.m_pTail->m_pNext);
    EXPECT_EQ("b", list.m_pHead->m_pNext->m_object);
    EXPECT_EQ("b", list.m_pTail->m_pPrev->m_object);
    EXPECT_EQ(list.m_pHead, list.m_pHead->m_pNext->m_pPrev);
    EXPECT_EQ(3, list.m_pTail->m_lKey);

    // A ready node goes in the same way.
    ASSERT_TRUE(list.addNode(new CQRVObjNode<std::string>(7, "d")));
    EXPECT_EQ("d", list.m_pTail->m_object);
    EXPECT_EQ(4u, list.m_ulCount);
}

TEST_F(DblListTest, MoveNextStopsOnTheTail)
{
    TextList empty;
    EXPECT_FALSE(empty.moveFirst());
    EXPECT_FALSE(empty.moveNext());

    TextList list = textList({{"a", 1}, {"b", 2}});
    ASSERT_TRUE(list.moveFirst());
    ASSERT_TRUE(list.moveNext());
    EXPECT_EQ("b", current(list));
    EXPECT_FALSE(list.moveNext());
    EXPECT_EQ(list.m_pTail, list.m_pCursor) << "the cursor stays on the tail";
    EXPECT_FALSE(list.moveNext());
    EXPECT_EQ("b", current(list));

    ASSERT_TRUE(list.moveFirst());
    EXPECT_EQ("a", current(list));
}

TEST_F(DblListTest, FindKeyStopsOnTheFirstMatch)
{
    TextList list = textList({{"a", 1}, {"b", 2}, {"c", 2}, {"d", -5}});
    ASSERT_TRUE(list.findKey(2));
    EXPECT_EQ("b", current(list)) << "a shared key finds the first node holding it";
    ASSERT_TRUE(list.findKey(-5));
    EXPECT_EQ("d", current(list));

    EXPECT_FALSE(list.findKey(9));
    EXPECT_EQ(list.m_pTail, list.m_pCursor) << "a failed search leaves the cursor on the tail";

    TextList empty;
    EXPECT_FALSE(empty.findKey(0));
    EXPECT_EQ(nullptr, empty.m_pCursor);
}

TEST_F(DblListTest, CurrentItemIsCopiedOrReachedInPlace)
{
    TextList empty;
    std::string out = "untouched";
    EXPECT_FALSE(empty.getCurrent(out));
    EXPECT_EQ("untouched", out);
    std::string* pOut = nullptr;
    EXPECT_FALSE(empty.getCurrentPointer(pOut));
    EXPECT_FALSE(empty.setCurrent("x"));

    TextList list = textList({{"a", 1}, {"b", 2}});
    ASSERT_TRUE(list.findKey(2));
    ASSERT_TRUE(list.getCurrent(out));
    out += "!";
    EXPECT_EQ("b", list.m_pTail->m_object) << "getCurrent hands out a copy";

    ASSERT_TRUE(list.getCurrentPointer(pOut));
    ASSERT_EQ(&list.m_pTail->m_object, pOut);
    *pOut = "B";
    EXPECT_EQ("B", current(list));

    ASSERT_TRUE(list.setCurrent("bee"));
    EXPECT_EQ("bee", list.m_pTail->m_object);
    EXPECT_EQ(2, list.m_pTail->m_lKey) << "the key stays";

    ColourList colours;
    ASSERT_TRUE(colours.add(clGreen, 4));
    Colour colour = clRed;
    ASSERT_TRUE(colours.getCurrent(colour));
    EXPECT_EQ(clGreen, colour);
    ASSERT_TRUE(colours.setCurrent(clBlue));
    ASSERT_TRUE(colours.getCurrentPointer(colour));
    EXPECT_EQ(clBlue, colour);
}

TEST_F(DblListTest, PointerListsDeleteEveryPayload)
{
    {
        CountedPtrList list;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(list.add(new Counted(i)));
        EXPECT_EQ(0, list.m_pTail->m_lKey) << "pointer nodes are added with key 0";
        EXPECT_EQ(3, Counted::s_live);
        Counted* pItem = nullptr;
        ASSERT_TRUE(list.getCurrentPointer(pItem));
        EXPECT_EQ(list.m_pHead->m_pPointer, pItem) << "the owned pointer itself, no copy";
    }
    EXPECT_EQ(0, Counted::s_live) << "destroying the list deletes every payload";

    CountedPtrList list;
    ASSERT_TRUE(list.add(new Counted(1)));
    ASSERT_TRUE(list.add(new Counted(2)));
    ASSERT_TRUE(list.clear());
    EXPECT_EQ(0, Counted::s_live);
    EXPECT_EQ(0u, list.m_ulCount);
    EXPECT_EQ(nullptr, list.m_pHead);
    EXPECT_EQ(nullptr, list.m_pTail);
    EXPECT_EQ(nullptr, list.m_pCursor);
    EXPECT_TRUE(list.clear()) << "clearing an empty list";

    // setCurrent hands the node a new pointer; the old one stays the caller's.
    Counted* pOld = new Counted(5);
    ASSERT_TRUE(list.add(pOld));
    ASSERT_TRUE(list.setCurrent(new Counted(6)));
    EXPECT_EQ(2, Counted::s_live);
    EXPECT_EQ(5, pOld->value);
    delete pOld;
}

TEST_F(DblListTest, CopiesOfPointerListsOwnTheirOwnPayloads)
{
    CountedPtrList source;
    ASSERT_TRUE(source.add(new Counted(10)));
    ASSERT_TRUE(source.add(new Counted(20)));
    source.m_pTail->m_lKey = 7;
    ASSERT_TRUE(source.addNode(new CQRVPtrNode<Counted>(8, nullptr))); // a node without payload

    CountedPtrList copied;
    ASSERT_TRUE(copied.add(new Counted(99))); // replaced by the copy
    ASSERT_TRUE(copied.copyFrom(source));
    CountedPtrList assigned;
    assigned = source;
    CountedPtrList constructed(source);
    EXPECT_EQ(2 + 3 * 2, Counted::s_live) << "each copy made its own two payloads";

    for (const CountedPtrList* pCopy : {&copied, &assigned, &constructed}) {
        SCOPED_TRACE(pCopy == &copied ? "copyFrom" : pCopy == &assigned ? "assignment" : "copy constructor");
        EXPECT_NE(source.m_pHead->m_pPointer, pCopy->m_pHead->m_pPointer);
        EXPECT_EQ(7, pCopy->m_pHead->m_pNext->m_lKey);
        EXPECT_EQ(8, pCopy->m_pTail->m_lKey);
        EXPECT_TRUE(*pCopy == source);
        EXPECT_EQ(pCopy->m_pHead, pCopy->m_pCursor);
    }

    ASSERT_TRUE(source.clear());
    EXPECT_EQ(6, Counted::s_live);
    EXPECT_EQ((std::vector<int>{10, 20, -1}), valuesOf(copied)) << "the copy survives the source's clear";
    EXPECT_EQ((std::vector<int>{10, 20, -1}), valuesOf(constructed));

    // Copying a list onto itself must not clear it first and lose everything.
    CountedPtrList& alias = copied;
    copied = alias;
    EXPECT_EQ((std::vector<int>{10, 20, -1}), valuesOf(copied));
    EXPECT_EQ(6, Counted::s_live);
}

TEST_F(DblListTest, ObjectListsCopyValuesAndKeys)
{
    CountedObjList source;
    ASSERT_TRUE(source.add(Counted(1), 11));
    ASSERT_TRUE(source.add(Counted(2), 12));
    EXPECT_EQ(2, Counted::s_live) << "the temporaries are gone, the nodes hold copies";
    CountedObjList copy(source);
    ASSERT_EQ(2u, copy.m_ulCount);
    EXPECT_EQ(12, copy.m_pTail->m_lKey);
    EXPECT_EQ(2, copy.m_pTail->m_object.value);
    EXPECT_NE(&source.m_pHead->m_object, &copy.m_pHead->m_object);
    EXPECT_EQ(4, Counted::s_live);
}

TEST_F(DblListTest, EqualityWalksKeysAndPayloads)
{
    EXPECT_TRUE(TextList() == TextList()) << "two empty lists are equal";

    TextList list = textList({{"a", 1}, {"b", 2}});
    EXPECT_TRUE(list == textList({{"a", 1}, {"b", 2}}));
    EXPECT_FALSE(list == textList({{"a", 1}, {"b", 3}})) << "one key differs";
    EXPECT_FALSE(list == textList({{"a", 1}, {"c", 2}})) << "one payload differs";
    EXPECT_FALSE(list == textList({{"b", 2}, {"a", 1}})) << "same nodes, other order";
    EXPECT_FALSE(list == textList({{"a", 1}})) << "different counts";

    // Pointer lists compare the objects, not the pointers.
    CountedPtrList first;
    CountedPtrList second;
    ASSERT_TRUE(first.add(new Counted(3)));
    ASSERT_TRUE(second.add(new Counted(3)));
    EXPECT_TRUE(first == second);
    second.m_pHead->m_pPointer->value = 4;
    EXPECT_FALSE(first == second);
}

TEST_F(DblListTest, NodeComparisons)
{
    CQRVObjNode<std::string> text(0, "m");
    EXPECT_TRUE(text.isEqual("m"));
    EXPECT_TRUE(text.isNotEqual("n"));
    EXPECT_TRUE(text.isLess("n"));
    EXPECT_FALSE(text.isLess("a"));
    EXPECT_TRUE(text.isGreater("a"));
    EXPECT_EQ(&text.m_object, text.getItem());

    // Without an ordering a payload is neither less nor greater.
    CQRVObjNode<Unordered> plain(0, Unordered{2});
    EXPECT_FALSE(plain.isLess(Unordered{3}));
    EXPECT_FALSE(plain.isGreater(Unordered{1}));
    EXPECT_TRUE(plain.isNotEqual(Unordered{1}));

    Counted three(3);
    Counted four(4);
    CQRVPtrNode<Counted> owned(0, new Counted(3));
    EXPECT_TRUE(owned.isEqual(&three));
    EXPECT_TRUE(owned.isLess(&four));
    EXPECT_TRUE(owned.isNotEqual(&four));
    EXPECT_FALSE(owned.isGreater(&four));
    // A missing object on either side is unequal and unordered rather than a crash.
    CQRVPtrNode<Counted> empty(0, nullptr);
    EXPECT_FALSE(empty.isEqual(&three));
    EXPECT_TRUE(empty.isNotEqual(&three));
    EXPECT_FALSE(empty.isLess(&three));
    EXPECT_FALSE(owned.isEqual(nullptr));
    EXPECT_TRUE(empty.isEqual(nullptr));

    CQRVStdNode<Colour> colour(0, clGreen);
    EXPECT_TRUE(colour.isEqual(clGreen));
    EXPECT_TRUE(colour.isGreater(clRed));
    EXPECT_TRUE(colour.isLess(clBlue));
    EXPECT_EQ(clGreen, colour.getItem());
}

// The list's main instance: strings, held by copy and through owned pointers.
TEST_F(DblListTest, StringListsCopyAndCompareByText)
{
    CQRVDblList<CQRVObjNode<CQRVWCharString>> names;
    ASSERT_TRUE(names.add(L"alpha", 1));
    ASSERT_TRUE(names.add(CQRVWCharString(L"beta"), 2));
    CQRVDblList<CQRVObjNode<CQRVWCharString>> copy(names);
    ASSERT_TRUE(names.clear());
    ASSERT_TRUE(copy.findKey(2));
    CQRVWCharString found;
    ASSERT_TRUE(copy.getCurrent(found));
    EXPECT_TRUE(found == CQRVWCharString(L"beta"));
    EXPECT_NE(copy.m_pTail->m_object.m_pBuffer, found.m_pBuffer) << "getCurrent copies the text";

    CQRVDblList<CQRVPtrNode<CQRVWCharString>> owned;
    ASSERT_TRUE(owned.add(new CQRVWCharString(L"gamma")));
    CQRVDblList<CQRVPtrNode<CQRVWCharString>> ownedCopy;
    ASSERT_TRUE(ownedCopy.copyFrom(owned));
    EXPECT_TRUE(ownedCopy == owned);
    EXPECT_NE(owned.m_pHead->m_pPointer, ownedCopy.m_pHead->m_pPointer);
    ASSERT_TRUE(owned.clear());
    EXPECT_TRUE(*ownedCopy.m_pHead->m_pPointer == CQRVWCharString(L"gamma"));
}

TEST_F(DblListTest, RangeForWalksPayloadsAndLeavesTheCursor)
{
    CQRVDblList<CQRVObjNode<CQRVWCharString>> list;
    list.add(L"a", 1);
    list.add(L"b", 2);
    list.add(L"c", 3);
    list.moveFirst();
    list.moveNext(); // the cursor on "b"

    std::wstring walked;
    long keys = 0;
    for (auto it = list.begin(); it != list.end(); ++it) {
        keys += it.key();
        it->toLower();
    }
    for (CQRVWCharString& item : list)
        item += CQRVWCharString(L"!");
    const CQRVDblList<CQRVObjNode<CQRVWCharString>>& constList = list;
    for (const CQRVWCharString& item : constList)
        walked += item.str();
    EXPECT_EQ(L"a!b!c!", walked) << "changes through the non-const walk, read back through the const one";
    EXPECT_EQ(6, keys);
    CQRVWCharString current;
    ASSERT_TRUE(list.getCurrent(current));
    EXPECT_EQ(L"b!", current.str()) << "the walks moved the cursor";

    CQRVDblList<CQRVPtrNode<int>> empty;
    EXPECT_TRUE(empty.begin() == empty.end());
}
