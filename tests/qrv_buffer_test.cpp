// CQRVBuffer<T>: exact sizes, zero fill and wipe, bounds, read and write ranges, the
// byte/wide conversions, and the failure records the operations leave in the log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "qrv_buffer.h"
#include "qrv_test_support.h"

// Watches one array being freed: the global array delete checks whether the watched
// block is all zero at the moment it is handed back to the heap. new[] is replaced
// too so the pair stays matched.
namespace {
const void* g_pWatched = nullptr;
size_t g_watchedBytes = 0;
int g_watchedFrees = 0;
bool g_watchedWasZero = false;
} // namespace

void* operator new[](size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}
void operator delete[](void* p) noexcept
{
    if (p != nullptr && p == g_pWatched) {
        const unsigned char* bytes = static_cast<const unsigned char*>(p);
        g_watchedWasZero = true;
        for (size_t i = 0; i < g_watchedBytes; ++i)
            if (bytes[i] != 0)
                g_watchedWasZero = false;
        ++g_watchedFrees;
        g_pWatched = nullptr;
    }
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    operator delete[](p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    operator delete[](p);
}

namespace {

using Bytes = CQRVBuffer<unsigned char>;
using Units = CQRVBuffer<unsigned short>;
using Chars = CQRVBuffer<char>;

template <typename T>
std::vector<T> contentOf(const CQRVBuffer<T>& buffer)
{
    if (buffer.m_pBuffer == nullptr)
        return std::vector<T>();
    return std::vector<T>(buffer.m_pBuffer, buffer.m_pBuffer + buffer.m_ulNumElems);
}

Chars chars(const char* text)
{
    return Chars(text, static_cast<unsigned long>(std::strlen(text)));
}

std::string textOf(const Chars& buffer)
{
    return buffer.m_pBuffer ? std::string(buffer.m_pBuffer, buffer.m_ulNumElems) : std::string();
}

void watchFree(const void* p, size_t bytes)
{
    g_pWatched = p;
    g_watchedBytes = bytes;
    g_watchedFrees = 0;
    g_watchedWasZero = false;
}

} // namespace

TEST(BufferTest, ConstructorsZeroFillAndPlaceData)
{
    Units counted(3);
    EXPECT_EQ((std::vector<unsigned short>{0, 0, 0}), contentOf(counted));

    Bytes fromNull(nullptr, 4, 7); // a null source gives zeros and ignores the offset
    EXPECT_EQ((std::vector<unsigned char>{0, 0, 0, 0}), contentOf(fromNull));

    const unsigned short data[] = {0x41, 0x42};
    Units placed(data, 2, 3);
    EXPECT_EQ((std::vector<unsigned short>{0, 0, 0, 0x41, 0x42}), contentOf(placed));

    Units none(data, 0, 3);
    EXPECT_FALSE(none.isValid());
    EXPECT_EQ(nullptr, none.m_pBuffer);
    EXPECT_EQ(0u, none.m_ulNumElems);

    Bytes empty;
    EXPECT_FALSE(empty.isValid());
}

TEST(BufferTest, ConstructorWithWrappingOffsetRaisesInsteadOfOverrunning)
{
    QRVLogCapture capture;
    const char data[] = {'a', 'b', 'c', 'd'};
    // 4 + 0xFFFFFFFE wraps to 2 in 32 bits: allocating that and copying 4 elements
    // at the offset would write far outside the array.
    EXPECT_THROW(Chars(data, 4, 0xFFFFFFFEUL), CQRVBufferInitException);
    EXPECT_FALSE(capture.linesWith(L"\"Unable to initialize CQRVBuffer\"").empty());
}

TEST(BufferTest, CopiesAreDeepAndSelfAssignmentKeepsContent)
{
    Chars original = chars("secret");
    Chars copy(original);
    ASSERT_EQ("secret", textOf(copy));
    EXPECT_NE(original.m_pBuffer, copy.m_pBuffer);
    copy[0] = 'S';
    EXPECT_EQ("secret", textOf(original));

    Chars target = chars("xy");
    target = original;
    EXPECT_EQ("secret", textOf(target));

    Chars& alias = target;
    target = alias;
    EXPECT_EQ("secret", textOf(target)) << "assigning a buffer to itself must not wipe it";

    Chars empty;
    target = empty;
    EXPECT_FALSE(target.isValid());
}

TEST(BufferTest, AllocateAndResizeReallocateToExactCounts)
{
    Bytes buffer(nullptr, 4);
    buffer[0] = 1;
    buffer[3] = 4;
    ASSERT_TRUE(buffer.allocate(6));
    EXPECT_EQ((std::vector<unsigned char>(6, 0)), contentOf(buffer)) << "allocate starts over, all zero";

    ASSERT_TRUE(buffer.allocate(0));
    EXPECT_FALSE(buffer.isValid());
    EXPECT_EQ(nullptr, buffer.m_pBuffer);

    Chars text = chars("abcdef");
    ASSERT_TRUE(text.resize(3));
    EXPECT_EQ("abc", textOf(text));
    ASSERT_TRUE(text.resize(5));
    EXPECT_EQ(std::string("abc\0\0", 5), textOf(text));
    ASSERT_TRUE(text.resize(0));
    EXPECT_FALSE(text.isValid());
}

TEST(BufferTest, ArraysAreWipedBeforeTheyAreFreed)
{
    Chars text = chars("password");
    watchFree(text.m_pBuffer, text.m_ulNumElems);
    ASSERT_TRUE(text.resize(20));
    EXPECT_EQ(1, g_watchedFrees) << "resize should have freed the old array";
    EXPECT_TRUE(g_watchedWasZero) << "the old array went back to the heap with its text";

    watchFree(text.m_pBuffer, text.m_ulNumElems);
    ASSERT_TRUE(text.release());
    EXPECT_EQ(1, g_watchedFrees);
    EXPECT_TRUE(g_watchedWasZero);
    EXPECT_EQ(0u, text.m_ulNumElems);

    {
        Units units(nullptr, 3);
        units[1] = 0x1234;
        watchFree(units.m_pBuffer, 3 * sizeof(unsigned short));
    }
    EXPECT_EQ(1, g_watchedFrees);
    EXPECT_TRUE(g_watchedWasZero) << "the destructor must wipe as well";
    watchFree(nullptr, 0);
}

TEST(BufferTest, SubscriptsRaiseAtTheElementCount)
{
    QRVLogCapture capture;
    Units buffer(nullptr, 2);
    buffer[1] = 7;
    const Units& readOnly = buffer;
    EXPECT_EQ(7, readOnly[1]);
    EXPECT_THROW(buffer[2], CQRVIndexOutOfBoundsException);
    EXPECT_THROW(readOnly[2], CQRVIndexOutOfBoundsException);
    Units empty;
    EXPECT_THROW(empty[0], CQRVIndexOutOfBoundsException);
    EXPECT_EQ(3u, capture.linesWith(L"\"Index out of array bounds\"").size());
}

TEST(BufferTest, AppendGrowsByTheOtherCount)
{
    Chars text = chars("ab");
    ASSERT_TRUE(text.append(chars("cd")));
    EXPECT_EQ("abcd", textOf(text));
    text += chars("e");
    EXPECT_EQ("abcde", textOf(text));
    ASSERT_TRUE(text.append(Chars()));
    EXPECT_EQ("abcde", textOf(text));

    // A buffer appended to itself: the source must be read before it is replaced.
    ASSERT_TRUE(text.append(text));
    EXPECT_EQ("abcdeabcde", textOf(text));

    Chars empty;
    ASSERT_TRUE(empty.append(chars("x")));
    EXPECT_EQ("x", textOf(empty));
}

TEST(BufferTest, AppendAtOffsetCutsThenAppends)
{
    QRVLogCapture capture;
    Chars text = chars("abcdef");
    ASSERT_TRUE(text.appendAtOffset(chars("XY"), 2));
    EXPECT_EQ("abXY", textOf(text)) << "everything from the offset is dropped";

    ASSERT_TRUE(text.appendAtOffset(chars("Z"), 4));
    EXPECT_EQ("abXYZ", textOf(text)) << "an offset equal to the count is a plain append";

    EXPECT_FALSE(text.appendAtOffset(chars("Q"), 6));
    EXPECT_EQ("abXYZ", textOf(text)) << "a failed append changes nothing";
    const auto lines = capture.linesWith(
        L"\"A bad argument was provided ( ulOffset ). can't append a buffer at an offset past the bounds of this "
        L"buffer\"");
    ASSERT_EQ(1u, lines.size());
    // This record carries no source file or line, so nothing follows the message.
    EXPECT_EQ(std::wstring::npos, lines[0].find(L"qrv_buffer.h")) << std::string(lines[0].begin(), lines[0].end());

    ASSERT_TRUE(text.appendAtOffset(Chars(), 2));
    EXPECT_EQ("ab", textOf(text)) << "appending nothing at an offset just cuts";

    ASSERT_TRUE(text.appendAtOffset(text, 1));
    EXPECT_EQ("aab", textOf(text));
}

TEST(BufferTest, WriteAtOverwritesFitsOrGrowsOnRequest)
{
    QRVLogCapture capture;
    Chars text = chars("abcdef");
    ASSERT_TRUE(text.writeAt(chars("XY"), 2, false));
    EXPECT_EQ("abXYef", textOf(text));
    ASSERT_TRUE(text.writeAt(chars("12"), 4, false));
    EXPECT_EQ("abXY12", textOf(text)) << "a write ending exactly at the end fits";

    EXPECT_FALSE(text.writeAt(Chars(), 0, true));
    EXPECT_EQ(1u, capture.linesWith(L"\"A bad argument was provided ( buffer ). buffer is of zero size - can't write\" "
                                    L"<qrv_buffer.h, ")
                      .size());

    EXPECT_FALSE(text.writeAt(chars("XYZ"), 4, false));
    EXPECT_EQ("abXY12", textOf(text));
    EXPECT_EQ(1u, capture.linesWith(L"\"A bad argument was provided ( buffer ). buffer + offset will overrun this "
                                    L"buffer\"")
                      .size());

    ASSERT_TRUE(text.writeAt(chars("XYZ"), 4, true));
    EXPECT_EQ("abXYXYZ", textOf(text)) << "grows to exactly offset + count";
    EXPECT_EQ(7u, text.m_ulNumElems);

    // An offset near 2^32 makes offset + count wrap to a small number; that must not
    // pass the bounds check and write outside the array.
    EXPECT_FALSE(text.writeAt(chars("AB"), 0xFFFFFFFFUL, false));
    EXPECT_FALSE(text.writeAt(chars("AB"), 0xFFFFFFFFUL, true));
    EXPECT_EQ("abXYXYZ", textOf(text));

    ASSERT_TRUE(text.writeAt(text, 0, false));
    EXPECT_EQ("abXYXYZ", textOf(text));
}

TEST(BufferTest, ReadCopiesRangesAndReportsWhatIsAvailable)
{
    QRVLogCapture capture;
    Bytes source(nullptr, 10);
    for (unsigned long i = 0; i < 10; ++i)
        source[i] = static_cast<unsigned char>(i + 1);

    Bytes out(nullptr, 3);
    unsigned long ulCount = 3;
    ASSERT_TRUE(source.read(out, 7, ulCount));
    EXPECT_EQ((std::vector<unsigned char>{8, 9, 10}), contentOf(out));

    ulCount = 5;
    EXPECT_FALSE(source.read(out, 8, ulCount));
    EXPECT_EQ(2u, ulCount);
    EXPECT_FALSE(out.isValid()) << "the output is released even when the range is bad";
    EXPECT_EQ(1u, capture.linesWith(L"\"A bad argument was provided ( ulNumElems + ulOffset ). can't read more "
                                    L"elements than are in this buffer\"")
                      .size());

    ulCount = 0;
    Bytes filled(nullptr, 2);
    ASSERT_TRUE(source.read(filled, 3, ulCount));
    EXPECT_FALSE(filled.isValid()) << "reading nothing gives an empty output";

    // An offset past the end has nothing available (not a wrapped difference).
    ulCount = 1;
    EXPECT_FALSE(source.read(out, 12, ulCount));
    EXPECT_EQ(0u, ulCount);
    // An offset whose sum with the count wraps must not pass the range check.
    ulCount = 2;
    EXPECT_FALSE(source.read(out, 0xFFFFFFFFUL, ulCount));
    EXPECT_EQ(0u, ulCount);
    EXPECT_FALSE(out.isValid());

    ulCount = 10;
    ASSERT_TRUE(source.read(source, 0, ulCount));
    EXPECT_EQ(10u, source.m_ulNumElems);
    ulCount = 2;
    ASSERT_TRUE(source.read(source, 4, ulCount)) << "reading a buffer into itself";
    EXPECT_EQ((std::vector<unsigned char>{5, 6}), contentOf(source));
}

TEST(BufferTest, ReadIntoRawMemory)
{
    QRVLogCapture capture;
    const unsigned char data[] = {1, 2, 3, 4};
    Bytes source(data, 4);
    unsigned char raw[4];
    std::memset(raw, 0xBD, sizeof(raw));
    unsigned long ulCount = 2;
    ASSERT_TRUE(source.read(raw, 1, ulCount));
    EXPECT_EQ(2, raw[0]);
    EXPECT_EQ(3, raw[1]);
    EXPECT_EQ(0xBD, raw[2]) << "only the requested bytes are written";

    ulCount = 9;
    EXPECT_FALSE(source.read(raw, 0, ulCount));
    EXPECT_EQ(4u, ulCount);
    EXPECT_EQ(2, raw[0]);

    EXPECT_FALSE(source.read(static_cast<unsigned char*>(nullptr), 0, ulCount));
    EXPECT_EQ(1u, capture.linesWith(L"\"A bad argument was provided ( pBuffer ). value is NULL\"").size());
}

TEST(BufferTest, ByteAndWideConversions)
{
    const unsigned char odd[] = {0x41, 0x00, 0x42};
    Units wide = Bytes(odd, 3).toWideBuffer();
    EXPECT_EQ((std::vector<unsigned short>{0x0041, 0x0042}), contentOf(wide));

    const unsigned char even[] = {0x34, 0x12, 0xCD, 0xAB};
    EXPECT_EQ((std::vector<unsigned short>{0x1234, 0xABCD}), contentOf(Bytes(even, 4).toWideBuffer()));

    const unsigned short units[] = {0x1234, 0xABCD, 0x00FF};
    Bytes bytes = Units(units, 3).toByteBuffer();
    EXPECT_EQ((std::vector<unsigned char>{0x34, 0x12, 0xCD, 0xAB, 0xFF, 0x00}), contentOf(bytes));

    EXPECT_FALSE(Units().toByteBuffer().isValid());
    EXPECT_FALSE(Bytes().toWideBuffer().isValid());
}
