// CQRVWCharString: construction, assignment, comparison, searching and editing, then
// the parsing half (sub-strings, ranges, fields, numbers, byte dumps) and expand().
//
// Every search walks the text once through the scanner of internal/qrv_text_scan.h;
// operations that need several occurrences step from one to the next instead of
// searching again from the start. Every edit builds its result in a fresh array of
// the exact size and takes it over, so a string passed in that is this same string
// (s.insert(s, 0), s.replace(x, s, ...)) is read as it was before the edit, and the old
// array is wiped by the buffer that carries it away. remove is the exception: it
// shifts the units down in place, then compacts.
#include "qrv_wchar_string.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "qrv_dbllist.h"
#include "qrv_environment_variable.h"
#include "internal/qrv_text_scan.h"

const unsigned short g_qrvWhitespace[9] = {0x20, 0x09, 0x0C, 0x07, 0x0A, 0x08, 0x0D, 0x0B, 0xFFFF};

namespace {

bool isSelectedWhitespace(unsigned short usUnit, unsigned long ulSelection)
{
    for (unsigned long i = 0; g_qrvWhitespace[i] != 0xFFFF; ++i) {
        if ((ulSelection & (1UL << i)) != 0 && g_qrvWhitespace[i] == usUnit)
            return true;
    }
    return false;
}

// The selected whitespace characters as bits of one word (every table entry is below
// 0x40), for tests on long texts.
class WhitespaceSet {
public:
    explicit WhitespaceSet(unsigned long ulSelection) : m_ullBits(0)
    {
        for (unsigned long i = 0; g_qrvWhitespace[i] != 0xFFFF; ++i) {
            if ((ulSelection & (1UL << i)) != 0)
                m_ullBits |= 1ULL << g_qrvWhitespace[i];
        }
    }
    bool has(unsigned short usUnit) const { return usUnit < 64 && ((m_ullBits >> usUnit) & 1) != 0; }

private:
    unsigned long long m_ullBits;
};

unsigned short lowerUnit(unsigned short usUnit)
{
    return (usUnit >= L'A' && usUnit <= L'Z') ? static_cast<unsigned short>(usUnit + 0x20) : usUnit;
}

bool isDigitUnit(unsigned short usUnit) { return usUnit >= L'0' && usUnit <= L'9'; }
bool isBinaryUnit(unsigned short usUnit) { return usUnit == L'0' || usUnit == L'1'; }
bool isOctalUnit(unsigned short usUnit) { return usUnit >= L'0' && usUnit <= L'7'; }
bool isHexUnit(unsigned short usUnit)
{
    return isDigitUnit(usUnit) || (usUnit >= L'A' && usUnit <= L'F') || (usUnit >= L'a' && usUnit <= L'f');
}

// A growing run of units for building results; its storage is a wiped CQRVBuffer.
class UnitRun {
public:
    explicit UnitRun(unsigned long ulCapacity) : m_buffer(ulCapacity), m_ulUsed(0) {}
    void add(const unsigned short* pUnits, unsigned long ulCount)
    {
        if (ulCount > m_buffer.m_ulNumElems - m_ulUsed)
            throw CQRVIndexOutOfBoundsException(QRV_HERE);
        if (ulCount != 0)
            std::memcpy(m_buffer.m_pBuffer + m_ulUsed, pUnits, static_cast<size_t>(ulCount) * 2);
        m_ulUsed += ulCount;
    }
    void add(unsigned short usUnit) { add(&usUnit, 1); }
    const unsigned short* units() const { return m_buffer.m_pBuffer; }
    unsigned long count() const { return m_ulUsed; }

private:
    CQRVBuffer<unsigned short> m_buffer;
    unsigned long m_ulUsed;
};

// Capacity for a result of up to ulCount units, refusing sizes that would wrap.
unsigned long roomFor(unsigned long ulA, unsigned long ulB)
{
    if (ulA > CQRVBuffer<unsigned short>::kMaxElems - ulB)
        throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
    return ulA + ulB;
}

} // namespace

// =====================================================================================
// Construction and assignment
// =====================================================================================

CQRVWCharString::CQRVWCharString() : CQRVBuffer<unsigned short>() {}

CQRVWCharString::CQRVWCharString(const CQRVWCharString& other) : CQRVBuffer<unsigned short>(other) {}

// The assignments absorb their own failures, so these constructors raise only what
// the base constructor raises.
CQRVWCharString::CQRVWCharString(const wchar_t* pszText) : CQRVBuffer<unsigned short>() { *this = pszText; }

CQRVWCharString::CQRVWCharString(const std::wstring& strText) : CQRVBuffer<unsigned short>()
{
    *this = strText.c_str();
}

CQRVWCharString::CQRVWCharString(const char* pszText) : CQRVBuffer<unsigned short>()
{
    if (pszText == nullptr)
        return;
    size_t len = std::strlen(pszText);
    if (len >= kMaxElems)
        throw CQRVBufferInitException(QRV_HERE);
    CQRVBuffer<char> narrow(pszText, static_cast<unsigned long>(len));
    *this = narrow;
}

CQRVWCharString::CQRVWCharString(const CQRVBuffer<unsigned short>& units) : CQRVBuffer<unsigned short>()
{
    *this = units;
}

CQRVWCharString::CQRVWCharString(wchar_t ch) : CQRVBuffer<unsigned short>() { *this = ch; }

CQRVWCharString::CQRVWCharString(long lValue) : CQRVBuffer<unsigned short>()
{
    if (!fromNumber(static_cast<unsigned long>(lValue), nsDec, 0, false))
        throw CQRVBufferInitException(QRV_HERE);
}

CQRVWCharString::CQRVWCharString(unsigned long ulValue, unsigned long asNumberSystem, unsigned short usWidth,
                                 bool bPrefix)
    : CQRVBuffer<unsigned short>()
{
    if (!fromNumber(ulValue, asNumberSystem, usWidth, bPrefix))
        throw CQRVBufferInitException(QRV_HERE);
}

// Swaps in other's array; other carries the old one away and wipes it when it dies.
void CQRVWCharString::takeOver(CQRVBuffer<unsigned short>& other)
{
    unsigned short* pOld = m_pBuffer;
    unsigned long ulOld = m_ulNumElems;
    m_pBuffer = other.m_pBuffer;
    m_ulNumElems = other.m_ulNumElems;
    other.m_pBuffer = pOld;
    other.m_ulNumElems = ulOld;
}

// ulCount units and a terminator, exactly; no units at all releases the string. The
// units are copied before this string's array is touched, so they may come from it.
bool CQRVWCharString::assignUnits(const unsigned short* pUnits, unsigned long ulCount)
{
    if (ulCount == 0)
        return release();
    CQRVBuffer<unsigned short> fresh(roomFor(ulCount, 1));
    std::memcpy(fresh.m_pBuffer, pUnits, static_cast<size_t>(ulCount) * 2);
    takeOver(fresh);
    return true;
}

CQRVWCharString& CQRVWCharString::operator=(const CQRVWCharString& other)
{
    if (this == &other)
        return *this;
    if (!other.isValid())
        release();
    else
        CQRVBuffer<unsigned short>::operator=(other);
    return *this;
}

CQRVWCharString& CQRVWCharString::operator=(const std::wstring& strText)
{
    return *this = strText.c_str();
}

CQRVWCharString& CQRVWCharString::operator=(const wchar_t* pszText)
{
    qrvAbsorbAll(false, QRV_HERE, [&] {
        if (pszText == nullptr || *pszText == L'\0')
            return release();
        size_t len = std::wcslen(pszText);
        if (len >= kMaxElems)
            throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
        return assignUnits(reinterpret_cast<const unsigned short*>(pszText), static_cast<unsigned long>(len));
    });
    return *this;
}

CQRVWCharString& CQRVWCharString::operator=(wchar_t ch)
{
    qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned short usUnit = static_cast<unsigned short>(ch);
        return assignUnits(&usUnit, usUnit == 0 ? 0 : 1);
    });
    return *this;
}

CQRVWCharString& CQRVWCharString::operator=(const CQRVBuffer<unsigned short>& units)
{
    qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!units.isValid())
            return release();
        CQRVBuffer<unsigned short> fresh(roomFor(units.m_ulNumElems, 1));
        std::memcpy(fresh.m_pBuffer, units.m_pBuffer, static_cast<size_t>(units.m_ulNumElems) * 2);
        takeOver(fresh);
        return compact();
    });
    return *this;
}

// mbstowcs reads up to a terminator, and the narrow buffer holds none: it converts
// from a terminated copy, since text with multi-byte characters yields fewer than n
// wide characters and the conversion would otherwise read past the n bytes.
CQRVWCharString& CQRVWCharString::operator=(const CQRVBuffer<char>& narrow)
{
    qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!narrow.isValid())
            return release();
        unsigned long ulBytes = narrow.m_ulNumElems;
        CQRVBuffer<char> terminated(roomFor(ulBytes, 1));
        std::memcpy(terminated.m_pBuffer, narrow.m_pBuffer, ulBytes);
        CQRVBuffer<unsigned short> wide(ulBytes);
        size_t converted = std::mbstowcs(reinterpret_cast<wchar_t*>(wide.m_pBuffer), terminated.m_pBuffer, ulBytes);
        if (converted == static_cast<size_t>(-1))
            return false;
        *this = wide;
        return true;
    });
    return *this;
}

// =====================================================================================
// Length, storage, comparison
// =====================================================================================

bool CQRVWCharString::isValid() const { return m_pBuffer != nullptr && m_ulNumElems != 0; }

// Never reads past the array, even when no terminator is in it.
unsigned long CQRVWCharString::getLength() const
{
    if (!isValid())
        return 0;
    unsigned long n = 0;
    while (n < m_ulNumElems && m_pBuffer[n] != 0)
        ++n;
    return n;
}

unsigned short* CQRVWCharString::getBuffer() const { return isValid() ? m_pBuffer : nullptr; }

bool CQRVWCharString::compact()
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        unsigned long ulLength = getLength();
        if (ulLength == 0)
            return release();
        if (m_ulNumElems == ulLength + 1)
            return true;
        return resize(ulLength + 1);
    });
}

namespace {

// -1, 0 or 1 for two equal-length unit runs, units compared as unsigned 16-bit values.
int compareUnits(const unsigned short* pA, const unsigned short* pB, unsigned long ulCount)
{
    for (unsigned long i = 0; i < ulCount; ++i) {
        if (pA[i] != pB[i])
            return pA[i] < pB[i] ? -1 : 1;
    }
    return 0;
}

} // namespace

bool CQRVWCharString::operator==(const CQRVWCharString& other) const
{
    if (!isValid() || !other.isValid())
        return !isValid() && !other.isValid();
    unsigned long ulLength = getLength();
    return ulLength == other.getLength() && compareUnits(m_pBuffer, other.m_pBuffer, ulLength) == 0;
}

bool CQRVWCharString::operator!=(const CQRVWCharString& other) const { return !(*this == other); }

bool CQRVWCharString::operator<=(const CQRVWCharString& other) const
{
    if (!isValid() || !other.isValid() || getLength() != other.getLength())
        return false;
    return compareUnits(m_pBuffer, other.m_pBuffer, getLength()) <= 0;
}

bool CQRVWCharString::operator>=(const CQRVWCharString& other) const
{
    if (!isValid() || !other.isValid() || getLength() != other.getLength())
        return false;
    return compareUnits(m_pBuffer, other.m_pBuffer, getLength()) >= 0;
}

bool CQRVWCharString::operator<(const CQRVWCharString& other) const { return !(*this >= other); }

bool CQRVWCharString::operator>(const CQRVWCharString& other) const { return !(*this <= other); }

bool CQRVWCharStringLess::operator()(const CQRVWCharString& a, const CQRVWCharString& b) const
{
    const unsigned long ulA = a.getLength();
    const unsigned long ulB = b.getLength();
    const unsigned short* pA = a.getBuffer();
    const unsigned short* pB = b.getBuffer();
    const unsigned long ulCommon = ulA < ulB ? ulA : ulB;
    for (unsigned long i = 0; i < ulCommon; ++i)
        if (pA[i] != pB[i])
            return pA[i] < pB[i];
    return ulA < ulB;
}

const wchar_t* CQRVWCharString::c_str() const
{
    return isValid() ? reinterpret_cast<const wchar_t*>(m_pBuffer) : L"";
}

std::wstring CQRVWCharString::str() const
{
    try {
        return std::wstring(c_str(), getLength());
    } catch (...) {
        return std::wstring(); // out of memory: the empty text, as for every failed string result
    }
}

// =====================================================================================
// Concatenation and cutting
// =====================================================================================

// This text (terminator and slack dropped) followed by all of other's units.
CQRVWCharString CQRVWCharString::operator+(const CQRVWCharString& other) const
{
    CQRVWCharString result(*this);
    if (other.getLength() > 0)
        result.appendAtOffset(other, result.getLength());
    return result;
}

CQRVWCharString& CQRVWCharString::operator+=(const CQRVWCharString& other)
{
    if (other.getLength() > 0)
        appendAtOffset(other, getLength());
    return *this;
}

CQRVWCharString CQRVWCharString::withoutLast(unsigned long n) const
{
    CQRVWCharString result(*this);
    if (n == 0)
        return result;
    unsigned long ulLength = getLength();
    // A copy whose allocation failed (already logged) has no array to terminate.
    if (n >= ulLength || !result.isValid()) {
        result.release();
        return result;
    }
    result.m_pBuffer[ulLength - n] = 0;
    result.compact();
    return result;
}

CQRVWCharString CQRVWCharString::withoutFirst(unsigned long n) const
{
    if (n == 0)
        return *this;
    CQRVWCharString result;
    unsigned long ulLength = getLength();
    if (n < ulLength)
        qrvAbsorbAll(false, QRV_HERE, [&] { return result.assignUnits(m_pBuffer + n, ulLength - n); });
    return result;
}

bool CQRVWCharString::removeLast(unsigned long n)
{
    bool bWasValid = isValid();
    *this = withoutLast(n);
    return bWasValid;
}

bool CQRVWCharString::removeFirst(unsigned long n)
{
    bool bWasValid = isValid();
    *this = withoutFirst(n);
    return bWasValid;
}

// =====================================================================================
// Searching
// =====================================================================================

bool CQRVWCharString::findOccurranceImpl(const CQRVWCharString& subString, unsigned long ulOccurrance,
                                         unsigned long direction, unsigned long& ulPos) const
{
    if (!isValid() || !subString.isValid())
        return false;
    unsigned long n = getLength();
    unsigned long m = subString.getLength();
    if (n < m)
        return false;
    if (n < ulOccurrance)
        throw CQRVBadArgException(L"ulOccurrance", L"value is impossible since it is larger than the length of this string",
                                  QRV_HERE);
    if (ulOccurrance == 0)
        throw CQRVBadArgException(L"ulOccurrance", L"value must be greater than 0", QRV_HERE);

    return qrv_detail::TextScanner(*this, subString).nth(ulOccurrance, direction, ulPos);
}

bool CQRVWCharString::findOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance,
                                     unsigned long direction, unsigned long& ulPos) const
{
    return qrvAbsorb(false, QRV_HERE, [&] { return findOccurranceImpl(subString, ulOccurrance, direction, ulPos); },
                     QRVErrorSource::Errno);
}

// The number k of the last occurrence that findOccurrance(subString, k, pmFromStart)
// finds with k no larger than this string's length: all overlapping matches, capped
// at the length (which only an empty subString reaches).
unsigned long CQRVWCharString::countOccurrances(const CQRVWCharString& subString) const
{
    if (!isValid() || !subString.isValid())
        return 0;
    return qrv_detail::TextScanner(*this, subString).count(getLength());
}

// The same answer as trying findOccurrance for each number up to countOccurrances,
// in one walk: a match must start at ulPos, and its number is how many matches start
// at or before it (from the start) or at or after it (from the end).
bool CQRVWCharString::getOccurranceNumber(const CQRVWCharString& subString, unsigned long ulPos,
                                          unsigned long direction, unsigned long& ulOccurrance) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid() || !subString.isValid())
            return false;
        const qrv_detail::TextScanner scanner(*this, subString);
        if (!scanner.matchesAt(ulPos))
            return false;
        unsigned long ulNumber = 0;
        unsigned long p = 0;
        if (direction == pmFromStart) {
            for (bool bFound = scanner.next(0, p); bFound && p <= ulPos; bFound = scanner.next(p + 1, p))
                ++ulNumber;
        } else if (direction == pmFromEnd) {
            for (bool bFound = scanner.previous(getLength(), p); bFound && p >= ulPos;
                 bFound = p != 0 && scanner.previous(p - 1, p))
                ++ulNumber;
        } else {
            return false;
        }
        // Counting stops at the length (only an empty subString has more matches).
        if (ulNumber > getLength())
            return false;
        ulOccurrance = ulNumber;
        return true;
    });
}

bool CQRVWCharString::contains(const CQRVWCharString& subString) const
{
    unsigned long ulPos = 0;
    return findOccurrance(subString, 1, pmFromStart, ulPos);
}

bool CQRVWCharString::beginsWith(const CQRVWCharString& subString) const
{
    QRV_TRACE(L"CQRVWCharString", L"beginsWith");
    return qrvTrace.logical(qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned long ulPos = 0;
        return findOccurrance(subString, 1, pmFromStart, ulPos) && ulPos == 0;
    }, QRVErrorSource::LastError));
}

bool CQRVWCharString::endsWith(const CQRVWCharString& subString) const
{
    QRV_TRACE(L"CQRVWCharString", L"endsWith");
    return qrvTrace.logical(qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned long ulPos = 0;
        return findOccurrance(subString, 1, pmFromEnd, ulPos) && ulPos == getLength() - subString.getLength();
    }, QRVErrorSource::LastError));
}

// =====================================================================================
// Editing
// =====================================================================================

namespace {

const wchar_t* const kNotEnoughStrings = L"there aren't enough strings to accommodate ulOccurrance";

// How many occurrences an edit in subStringMode touches, out of ulCount, and in k the
// number of the first one searched for. Raises a bad argument for a mode that is not
// one of the three, or an ulOccurrance of 0 or above ulCount; pszOccurShort is the text
// for ssmOccur with too few occurrences (it differs between remove and replace).
unsigned long occurrencesToEdit(unsigned long ulCount, unsigned long ulOccurrance, unsigned long subStringMode,
                                const wchar_t* pszOccurShort, unsigned long& k)
{
    k = 1;
    if (subStringMode == ssmAll)
        return ulCount;
    if (subStringMode != ssmOccur && subStringMode != ssmNum)
        throw CQRVBadArgException(L"subStringMode", L"invalid mode", QRV_HERE);
    const bool bOccur = subStringMode == ssmOccur;
    if (ulOccurrance == 0)
        throw CQRVBadArgException(L"ulOccurrance",
                                  bOccur ? L"ssmOccur mode requires ulOccurrance to be greater than 0"
                                         : L"ssmNum mode requires ulOccurrance to be greater than 0",
                                  QRV_HERE);
    if (ulCount < ulOccurrance)
        throw CQRVBadArgException(L"ulOccurrance", bOccur ? pszOccurShort : kNotEnoughStrings, QRV_HERE);
    if (bOccur) {
        k = ulOccurrance;
        return 1;
    }
    return ulOccurrance;
}

} // namespace

bool CQRVWCharString::insert(const CQRVWCharString& string, unsigned long ulPos)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid() && ulPos != 0)
            return false;
        if (!string.isValid())
            throw CQRVBadArgException(L"string", L"can't insert an invalid string", QRV_HERE);
        unsigned long ulLength = getLength();
        if (ulLength < ulPos)
            throw CQRVBadArgException(L"ulPos", L"position is out of string bounds", QRV_HERE);
        if (ulPos == 0)
            *this = string + *this;
        else if (ulPos == ulLength)
            *this += string;
        else
            *this = withoutLast(ulLength - ulPos) + string + withoutFirst(ulPos);
        return true;
    });
}

// Removing the first occurrence again and again is one walk: the units are copied
// down in place, and whenever the copied text ends with subString that occurrence is
// the first one of the text as it stands (the copied part holds none before it), so
// it is dropped. A removal can join two pieces into a new occurrence, which a later
// repetition then removes, exactly as a fresh search would.
bool CQRVWCharString::remove(const CQRVWCharString& subString, unsigned long ulOccurrance,
                             unsigned long subStringMode)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        unsigned long ulCount = countOccurrances(subString);
        if (ulCount == 0)
            return false;
        unsigned long k = 1;
        const unsigned long ulRepeat = occurrencesToEdit(ulCount, ulOccurrance, subStringMode, kNotEnoughStrings, k);

        // subString may be this very string: the walk overwrites the text it reads.
        const CQRVWCharString aside = &subString == this ? subString : CQRVWCharString();
        const CQRVWCharString& pattern = &subString == this ? aside : subString;
        const unsigned long n = getLength();
        const unsigned long m = pattern.getLength();
        unsigned short* pUnits = m_pBuffer;
        unsigned long ulKept = n;
        if (m == 0) {
            // Every occurrence of an empty text is empty: nothing to take out.
        } else if (subStringMode == ssmOccur) {
            unsigned long p = 0;
            if (qrv_detail::TextScanner(*this, pattern).nth(k, pmFromStart, p)) {
                std::memmove(pUnits + p, pUnits + p + m, static_cast<size_t>(n - p - m) * 2);
                ulKept = n - m;
            }
        } else {
            const unsigned short* pPattern = pattern.m_pBuffer;
            const unsigned short usLast = pPattern[m - 1];
            unsigned long ulRemoved = 0;
            unsigned long w = 0;
            for (unsigned long i = 0; i < n; ++i) {
                pUnits[w++] = pUnits[i];
                if (ulRemoved < ulRepeat && w >= m && pUnits[w - 1] == usLast &&
                    std::memcmp(pUnits + w - m, pPattern, static_cast<size_t>(m) * 2) == 0) {
                    w -= m;
                    ++ulRemoved;
                }
            }
            ulKept = w;
        }
        if (ulKept < n)
            pUnits[ulKept] = 0;
        compact();
        return true;
    });
}

// Replacement works left to right through the text as it was when the call began and
// never searches the text it puts in, so a new text that contains the old one, or
// that forms it together with its neighbours, is not replaced again ("\\\\" -> "\\"
// collapses each pair once). One walk counts the replacements, a second builds the
// result at its exact size.
bool CQRVWCharString::replaceImpl(const CQRVWCharString& oldString, const CQRVWCharString& newString,
                                  unsigned long ulOccurrance, unsigned long subStringMode)
{
    if (!isValid())
        return false;
    if (!oldString.isValid())
        throw CQRVBadArgException(L"oldString", L"string is invalid", QRV_HERE);
    unsigned long ulCount = countOccurrances(oldString);
    if (ulCount == 0)
        return false;
    unsigned long k = 1;
    const unsigned long ulRepeat =
        occurrencesToEdit(ulCount, ulOccurrance, subStringMode, L"occurrance is out of bounds", k);

    const qrv_detail::TextScanner scanner(*this, oldString);
    const unsigned long n = getLength();
    const unsigned long m = oldString.getLength();
    const unsigned long ulNewLength = newString.getLength();
    // Replacing nothing by nothing changes nothing however often it is done: once.
    const unsigned long ulWanted = (m == 0 && ulNewLength == 0 && ulRepeat > 1) ? 1 : ulRepeat;

    unsigned long ulFirst = 0; // start of the first replaced occurrence
    unsigned long ulDone = 0;
    if (subStringMode == ssmOccur) {
        if (!scanner.nth(k, pmFromStart, ulFirst))
            return false;
        ulDone = 1;
    } else {
        unsigned long p = 0;
        for (unsigned long ulFrom = 0; ulDone < ulWanted && scanner.next(ulFrom, p); ulFrom = p + m) {
            if (ulDone == 0)
                ulFirst = p;
            ++ulDone;
        }
    }

    // n - m * done + new * done, refusing sizes that would wrap.
    unsigned long long ullLength = static_cast<unsigned long long>(n) - static_cast<unsigned long long>(m) * ulDone +
                                   static_cast<unsigned long long>(ulNewLength) * ulDone;
    if (ullLength >= kMaxElems)
        throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
    const unsigned long ulLength = static_cast<unsigned long>(ullLength);
    if (ulLength == 0) {
        release();
    } else {
        CQRVBuffer<unsigned short> fresh(ulLength + 1);
        unsigned short* pOut = fresh.m_pBuffer;
        auto put = [&pOut](const unsigned short* pFrom, unsigned long ulUnits) {
            if (ulUnits != 0)
                std::memcpy(pOut, pFrom, static_cast<size_t>(ulUnits) * 2);
            pOut += ulUnits;
        };
        unsigned long ulCopied = 0; // units of the old text already taken
        unsigned long p = ulFirst;
        for (unsigned long d = 0; d < ulDone; ++d) {
            if (d != 0)
                scanner.next(ulCopied, p);
            put(m_pBuffer + ulCopied, p - ulCopied);
            put(newString.m_pBuffer, ulNewLength);
            ulCopied = p + m;
        }
        put(m_pBuffer + ulCopied, n - ulCopied);
        takeOver(fresh);
    }
    // ssmAll counted overlapping matches; replacing one of an overlapping pair removes
    // the other, so "all" is done once no occurrence is left to the right.
    return subStringMode == ssmAll ? ulDone > 0 : ulDone == ulRepeat;
}

bool CQRVWCharString::replace(const CQRVWCharString& oldString, const CQRVWCharString& newString,
                              unsigned long ulOccurrance, unsigned long subStringMode)
{
    return qrvAbsorb(false, QRV_HERE, [&] { return replaceImpl(oldString, newString, ulOccurrance, subStringMode); },
                     QRVErrorSource::Errno);
}

bool CQRVWCharString::toLower()
{
    if (!isValid())
        return false;
    unsigned long ulLength = getLength();
    for (unsigned long i = 0; i < ulLength; ++i)
        m_pBuffer[i] = lowerUnit(m_pBuffer[i]);
    return true;
}

bool CQRVWCharString::reverse()
{
    if (!isValid())
        return false;
    unsigned long ulLength = getLength();
    for (unsigned long i = 0; ulLength >= 2 && i < ulLength / 2; ++i) {
        unsigned short usKeep = m_pBuffer[i];
        m_pBuffer[i] = m_pBuffer[ulLength - 1 - i];
        m_pBuffer[ulLength - 1 - i] = usKeep;
    }
    return true;
}

bool CQRVWCharString::trim(wchar_t chTrim, const CQRVFlags& trimEnds, const CQRVFlags& whitespace)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        const unsigned short usTrim = static_cast<unsigned short>(chTrim);
        const unsigned long ulSelection = whitespace.m_ulFlags;
        unsigned long n = getLength();
        if ((trimEnds.m_ulFlags & trTrailing) != 0) {
            for (unsigned long i = n; i-- > 0;) {
                if (m_pBuffer[i] != usTrim && !isSelectedWhitespace(m_pBuffer[i], ulSelection))
                    break;
                m_pBuffer[i] = 0;
            }
        }
        if ((trimEnds.m_ulFlags & trLeading) != 0) {
            unsigned long ulCount = 0;
            while (ulCount < n && m_pBuffer[ulCount] != 0 &&
                   (m_pBuffer[ulCount] == usTrim || isSelectedWhitespace(m_pBuffer[ulCount], ulSelection)))
                ++ulCount;
            removeFirst(ulCount);
        }
        return true;
    });
}

bool CQRVWCharString::findNonWhitespace(const CQRVFlags& whitespace, unsigned long direction,
                                        unsigned long& ulPos) const
{
    if (!isValid())
        return false;
    const unsigned long ulSelection = whitespace.m_ulFlags;
    unsigned long ulLength = getLength();
    if (direction == pmFromStart) {
        for (unsigned long i = 0; i < ulLength; ++i) {
            if (!isSelectedWhitespace(m_pBuffer[i], ulSelection)) {
                ulPos = i;
                return true;
            }
        }
    } else if (direction == pmFromEnd) {
        for (unsigned long i = ulLength; i-- > 0;) {
            if (!isSelectedWhitespace(m_pBuffer[i], ulSelection)) {
                ulPos = i;
                return true;
            }
        }
    }
    return false;
}

bool CQRVWCharString::removeWhitespace(const CQRVFlags& regions, const CQRVFlags& whitespace)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid() || regions.m_ulFlags == 0 || whitespace.m_ulFlags == 0)
            return true;
        unsigned long ulLength = getLength();
        if (ulLength == 0)
            return true;
        return assignStripped(m_pBuffer, ulLength, regions.m_ulFlags, whitespace.m_ulFlags);
    });
}

// The ulCount units with selected whitespace stripped as removeWhitespace does, in
// one array of the exact size (no units: not valid). Leading run [0, f), middle
// [f, h], trailing run (h, end). A text made only of selected whitespace has no h:
// its first unit is the middle, so it survives unless both region bits are given.
// With no region or no whitespace selected the units are taken as they are.
bool CQRVWCharString::assignStripped(const unsigned short* pUnits, unsigned long ulCount, unsigned long ulRegions,
                                     unsigned long ulSelection)
{
    if (ulCount == 0)
        return release();
    if (ulRegions == 0 || ulSelection == 0)
        return assignUnits(pUnits, ulCount);
    const WhitespaceSet selected(ulSelection);
    unsigned long f = 0;
    while (f < ulCount && selected.has(pUnits[f]))
        ++f;
    const bool bHaveLast = f < ulCount;
    if (!bHaveLast)
        f = 0;
    unsigned long h = ulCount - 1;
    while (bHaveLast && selected.has(pUnits[h]))
        --h;
    if (!bHaveLast)
        h = f;
    const bool bLeading = (ulRegions & trLeading) != 0;
    const bool bTrailing = (ulRegions & trTrailing) != 0;
    const bool bMiddle = bLeading && bTrailing;
    // Past the middle with no trailing run: not part of any piece.
    const unsigned long ulEnd = bHaveLast ? ulCount : h + 1;
    auto kept = [&](unsigned long i) {
        const bool bStrip = i < f ? bLeading : (i <= h ? bMiddle : bTrailing);
        return !(bStrip && selected.has(pUnits[i]));
    };
    unsigned long ulKept = 0;
    for (unsigned long i = 0; i < ulEnd; ++i)
        ulKept += kept(i) ? 1 : 0;
    if (ulKept == 0)
        return release();
    CQRVBuffer<unsigned short> fresh(roomFor(ulKept, 1));
    unsigned long w = 0;
    for (unsigned long i = 0; i < ulEnd; ++i) {
        if (kept(i))
            fresh.m_pBuffer[w++] = pUnits[i];
    }
    takeOver(fresh);
    return true;
}

// =====================================================================================
// Sub-strings, ranges and fields
// =====================================================================================

// The checks of convertOccurrance, and the position of the occurrence it converts.
// Raises a bad argument for an empty subString or a parse mode that is neither
// direction; false (with findOccurrance's own record, if any) when there is no such
// occurrence. This string must be valid.
bool CQRVWCharString::locateOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance,
                                       unsigned long parseMode, unsigned long& ulPos) const
{
    if (!subString.isValid() || subString.getLength() == 0)
        throw CQRVBadArgException(L"subString", L"must contain a string", QRV_HERE);
    if (parseMode != pmFromStart && parseMode != pmFromEnd)
        throw CQRVBadArgException(L"parseMode", L"invalid parse mode", QRV_HERE);
    return findOccurrance(subString, ulOccurrance, parseMode, ulPos);
}

bool CQRVWCharString::convertOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance,
                                        unsigned long parseMode, unsigned long& ulConverted) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        unsigned long p = 0;
        return locateOccurrance(subString, ulOccurrance, parseMode, p) &&
               getOccurranceNumber(subString, p, parseMode == pmFromStart ? pmFromEnd : pmFromStart, ulConverted);
    });
}

bool CQRVWCharString::truncateAt(const CQRVWCharString& subString, unsigned long ulOccurrance,
                                 unsigned long direction, bool bDropDelimiter)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        unsigned long m = subString.getLength();
        unsigned long p = 0;
        if (direction == pmFromStart) {
            if (!findOccurrance(subString, ulOccurrance, pmFromStart, p))
                return false;
            removeFirst(bDropDelimiter ? p + m : p);
            return true;
        }
        if (direction == pmFromEnd) {
            if (!findOccurrance(subString, ulOccurrance, pmFromEnd, p))
                return false;
            unsigned long ulKeep = bDropDelimiter ? p : p + m;
            removeLast(getLength() - ulKeep);
            return true;
        }
        return false;
    });
}

// Converting the occurrence to the other end's count and cutting there lands on the
// occurrence itself, so the cut is made at its position directly.
bool CQRVWCharString::getSubString(CQRVWCharString& out, const CQRVWCharString& subString,
                                   unsigned long ulOccurrance, unsigned long parseMode, bool bInclude) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        unsigned long p = 0;
        if (!locateOccurrance(subString, ulOccurrance, parseMode, p))
            return false;
        const unsigned long m = subString.getLength();
        const unsigned long ulFrom = parseMode == pmFromStart ? 0 : (bInclude ? p : p + m);
        const unsigned long ulTo = parseMode == pmFromStart ? (bInclude ? p + m : p) : getLength();
        out.assignUnits(m_pBuffer + ulFrom, ulTo - ulFrom);
        return true;
    });
}

bool CQRVWCharString::deleteRange(unsigned long ulStartPos, unsigned long ulEndPos, bool bDeleteStart,
                                  bool bDeleteEnd)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        unsigned long n = getLength();
        if (ulStartPos >= n)
            throw CQRVBadArgException(L"ulStartPos", L"start position is past the end of the string", QRV_HERE);
        if (ulEndPos >= n)
            throw CQRVBadArgException(L"ulEndPos", L"end position is past the end of the string", QRV_HERE);
        if (ulStartPos == ulEndPos)
            throw CQRVBadArgException(L"ulEndPos & ulStartPos", L"start and end positions can't be equal", QRV_HERE);
        UnitRun run(n);
        if (ulStartPos < ulEndPos) {
            run.add(m_pBuffer, bDeleteStart ? ulStartPos : ulStartPos + 1);
            unsigned long ulFrom = bDeleteEnd ? ulEndPos + 1 : ulEndPos;
            run.add(m_pBuffer + ulFrom, n - ulFrom);
        } else {
            unsigned long ulFrom = bDeleteEnd ? ulEndPos + 1 : ulEndPos;
            unsigned long ulTo = bDeleteStart ? ulStartPos : ulStartPos + 1; // one past the last kept unit
            if (ulTo > ulFrom)
                run.add(m_pBuffer + ulFrom, ulTo - ulFrom);
        }
        assignUnits(run.units(), run.count());
        return true;
    });
}

bool CQRVWCharString::extractRange(CQRVWCharString& out, unsigned long ulStartPos, unsigned long ulEndPos,
                                   bool bIncludeStart, bool bIncludeEnd) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (ulEndPos < ulStartPos)
            throw CQRVBadArgException(
                L"ulStartPos",
                L"start position can't be greater than end position - use extractOutside( ) or deleteRange( ) instead",
                QRV_HERE);
        if (ulEndPos == ulStartPos) {
            if (bIncludeStart || bIncludeEnd)
                out = static_cast<wchar_t>((*this)[ulStartPos]);
            else
                out.release();
            return true;
        }
        // What deleteRange(ulEndPos, ulStartPos, !bIncludeEnd, !bIncludeStart) keeps of
        // a copy, with its checks, built at once.
        if (!isValid())
            return false;
        const unsigned long n = getLength();
        if (ulEndPos >= n)
            throw CQRVBadArgException(L"ulStartPos", L"start position is past the end of the string", QRV_HERE);
        if (ulStartPos >= n)
            throw CQRVBadArgException(L"ulEndPos", L"end position is past the end of the string", QRV_HERE);
        const unsigned long ulFrom = bIncludeStart ? ulStartPos : ulStartPos + 1;
        const unsigned long ulTo = bIncludeEnd ? ulEndPos + 1 : ulEndPos; // one past the last kept unit
        out.assignUnits(m_pBuffer + ulFrom, ulTo - ulFrom);
        return true;
    });
}

bool CQRVWCharString::extractBetween(CQRVWCharString& out, const CQRVWCharString& startString,
                                     unsigned long ulStartOccurrance, const CQRVWCharString& endString,
                                     unsigned long ulEndOccurrance, bool bIncludeStart, bool bIncludeEnd) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned long p1 = 0;
        unsigned long p2 = 0;
        if (!findOccurrance(startString, ulStartOccurrance, pmFromStart, p1) ||
            !findOccurrance(endString, ulEndOccurrance, pmFromEnd, p2))
            return false;
        const unsigned long L1 = startString.getLength();
        const unsigned long L2 = endString.getLength();
        unsigned long s = bIncludeStart ? p1 : p1 + L1 - 1;
        unsigned long e = bIncludeEnd ? p2 + L2 - 1 : p2;
        return extractRange(out, s, e, bIncludeStart, bIncludeEnd);
    });
}

// Field k lies between delimiter occurrences k - 1 and k (separated: before the first,
// after the last) or k and k + 1 (enclosed), occurrences counted overlapping. Where
// overlapping occurrences make the end come before the start, the range extraction
// refuses it and writes its record, as it would for a caller.
bool CQRVWCharString::getField(CQRVWCharString& out, const CQRVWCharString& subString, unsigned long ulOccurrance,
                               unsigned long fieldMode, const CQRVFlags& regions,
                               const CQRVFlags& whitespace) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid() || !subString.isValid())
            return false;
        const qrv_detail::TextScanner scanner(*this, subString);
        const unsigned long n = getLength();
        const unsigned long m = subString.getLength();
        // The occurrences around the field, and the count, in one walk.
        const unsigned long ulBefore = fieldMode == fmEnclosed ? ulOccurrance : ulOccurrance - 1;
        unsigned long c = 0;
        unsigned long pStart = 0, pEnd = 0;
        unsigned long p = 0;
        for (bool bFound = scanner.next(0, p); bFound && c < n; bFound = scanner.next(p + 1, p)) {
            ++c;
            if (c == ulBefore)
                pStart = p;
            if (c == ulBefore + 1)
                pEnd = p;
        }
        if (ulOccurrance == 0)
            throw CQRVBadArgException(L"ulOccurrance", L"ulOccurrance must be greater than 0", QRV_HERE);
        if (c == 0) {
            // A text without the delimiter is one separated field, but it encloses
            // nothing: "C:\\Temp" has no %NAME% reference to expand.
            if (ulOccurrance != 1 || fieldMode != fmSeparated)
                return false;
            if (regions.m_ulFlags == 0 || whitespace.m_ulFlags == 0 || n == 0)
                out = *this;
            else
                out.assignStripped(m_pBuffer, n, regions.m_ulFlags, whitespace.m_ulFlags);
            return true;
        }
        if (ulOccurrance - 1 > c)
            return false;
        if (fieldMode != fmSeparated && fieldMode != fmEnclosed)
            return false;
        if (fieldMode == fmEnclosed && ulOccurrance + 1 > c)
            return false;
        if (m == 0) {
            // An empty delimiter cannot be located: the occurrence conversion says so.
            unsigned long ulIgnored = 0;
            convertOccurrance(subString, 1, pmFromStart, ulIgnored);
            return false;
        }
        if (fieldMode == fmSeparated && (ulOccurrance == 1 || ulOccurrance == c + 1)) {
            const unsigned long ulFrom = ulOccurrance == 1 ? 0 : pStart + m;
            const unsigned long ulTo = ulOccurrance == 1 ? pEnd : n;
            out.assignStripped(m_pBuffer + ulFrom, ulTo - ulFrom, regions.m_ulFlags, whitespace.m_ulFlags);
            return true;
        }
        return assignBetween(out, pStart, pEnd, m, regions.m_ulFlags, whitespace.m_ulFlags);
    });
}

// The field between the occurrences at pStart and pEnd (delimiter length m >= 1): the
// units after the first up to the second. An end before the start is refused by the
// range extraction, which writes its record; an empty field is not valid.
bool CQRVWCharString::assignBetween(CQRVWCharString& out, unsigned long pStart, unsigned long pEnd, unsigned long m,
                                    unsigned long ulRegions, unsigned long ulSelection) const
{
    const unsigned long s = pStart + m - 1;
    if (pEnd < s)
        return extractRange(out, s, pEnd, false, false);
    out.assignStripped(m_pBuffer + s + 1, pEnd - s == 0 ? 0 : pEnd - s - 1, ulRegions, ulSelection);
    return true;
}

// One walk over the text: each field is built, at its exact size, straight into the
// node that holds it. The walk stops where getField would first fail.
bool CQRVWCharString::split(StringList& list, const CQRVWCharString& subString, unsigned long fieldMode,
                            const CQRVFlags& regions, const CQRVFlags& whitespace) const
{
    typedef CQRVObjNode<CQRVWCharString> Node;
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        list.clear();
        if (!isValid() || !subString.isValid())
            return false;
        if (fieldMode != fmSeparated && fieldMode != fmEnclosed)
            return false;
        const unsigned long n = getLength();
        const unsigned long m = subString.getLength();
        const unsigned long ulRegions = regions.m_ulFlags;
        const unsigned long ulSelection = whitespace.m_ulFlags;
        if (m == 0 || n == 0) {
            // Every field of an empty delimiter fails (with a record where getField
            // writes one); an empty text holds no delimiter, so it is one field.
            CQRVWCharString token;
            if (getField(token, subString, 1, fieldMode, regions, whitespace))
                list.add(token, 0);
            return list.m_ulCount > 0;
        }

        // Adds the field that fill() builds under lKey; false stops the walk (a field
        // that could not be made, or a node that could not be added: then the list is
        // cleared).
        auto addField = [&](long lKey, auto&& fill) {
            Node* pNode = new (std::nothrow) Node(lKey, CQRVWCharString());
            if (pNode == nullptr) {
                qrvNote<CQRVMemAllocException>(L"pNewNode", QRV_HERE);
                list.clear();
                return false;
            }
            if (!qrvAbsorbAll(false, QRV_HERE, [&] { return fill(*pNode->getItem()); })) {
                delete pNode;
                return false;
            }
            return list.addNode(pNode);
        };
        auto between = [&](unsigned long pStart, unsigned long pEnd) {
            return [=](CQRVWCharString& token) {
                return assignBetween(token, pStart, pEnd, m, ulRegions, ulSelection);
            };
        };
        auto units = [&](unsigned long ulFrom, unsigned long ulCount) {
            return [=](CQRVWCharString& token) {
                token.assignStripped(m_pBuffer + ulFrom, ulCount, ulRegions, ulSelection);
                return true;
            };
        };

        const qrv_detail::TextScanner scanner(*this, subString);
        unsigned long p = 0;
        if (!scanner.next(0, p)) {
            // No delimiter: the whole text is the one separated field.
            if (fieldMode == fmSeparated)
                addField(0, [&](CQRVWCharString& token) {
                    if (ulRegions == 0 || ulSelection == 0)
                        token = *this;
                    else
                        token.assignStripped(m_pBuffer, n, ulRegions, ulSelection);
                    return true;
                });
        } else if (fieldMode == fmSeparated) {
            // Before the first occurrence, between each two, after the last.
            long lKey = 0;
            if (!addField(lKey++, units(0, p)))
                return list.m_ulCount > 0;
            unsigned long pPrevious = p;
            while (scanner.next(pPrevious + 1, p)) {
                if (!addField(lKey++, between(pPrevious, p)))
                    return list.m_ulCount > 0;
                pPrevious = p;
            }
            addField(lKey, units(pPrevious + m, n - pPrevious - m));
        } else {
            // Between the first and second occurrence, the third and fourth, ...
            long lKey = 0;
            unsigned long pOpen = p;
            unsigned long pClose = 0;
            while (scanner.next(pOpen + 1, pClose) && addField(lKey++, between(pOpen, pClose)) &&
                   scanner.next(pClose + 1, pOpen)) {
            }
        }
        return list.m_ulCount > 0;
    });
}

// =====================================================================================
// Numbers
// =====================================================================================

bool CQRVWCharString::isNumeric(bool bAllowNegative, bool bAllowDecimal) const
{
    unsigned long ulLength = getLength();
    if (ulLength == 0)
        return false;
    bool bDecimalSeen = false;
    for (unsigned long i = 0; i < ulLength; ++i) {
        unsigned short u = m_pBuffer[i];
        if (isDigitUnit(u))
            continue;
        if (u == L'-' && i == 0 && bAllowNegative)
            continue;
        if (u == L'.' && bAllowDecimal && !bDecimalSeen && i != 0 && i != ulLength - 1) {
            bDecimalSeen = true;
            continue;
        }
        return false;
    }
    return true;
}

namespace {

template <typename Test>
bool everyUnit(const CQRVWCharString& text, Test test)
{
    if (!text.isValid())
        return false;
    unsigned long ulLength = text.getLength();
    for (unsigned long i = 0; i < ulLength; ++i) {
        if (!test(text.m_pBuffer[i]))
            return false;
    }
    return true;
}

// A binary or octal literal: exactly one marker (either case), at index 1 ('0b101')
// or last ('101b'), and at least one digit of the class besides it.
template <typename Test>
bool isMarkedLiteral(const CQRVWCharString& text, unsigned short usMarker, Test isDigitOfClass)
{
    if (!text.isValid())
        return false;
    unsigned long ulLength = text.getLength();
    unsigned long ulMarkers = 0;
    unsigned long ulMarkerPos = 0;
    for (unsigned long i = 0; i < ulLength; ++i) {
        unsigned short u = lowerUnit(text.m_pBuffer[i]);
        if (u == usMarker) {
            ++ulMarkers;
            ulMarkerPos = i;
        } else if (!isDigitOfClass(u)) {
            return false;
        }
    }
    if (ulMarkers != 1 || ulLength < 2)
        return false;
    return ulMarkerPos == 1 || ulMarkerPos == ulLength - 1;
}

unsigned long firstMarker(const CQRVWCharString& text, unsigned short usMarker)
{
    unsigned long ulLength = text.getLength();
    for (unsigned long i = 0; i < ulLength; ++i) {
        if (lowerUnit(text.m_pBuffer[i]) == usMarker)
            return i;
    }
    return ulLength;
}

} // namespace

bool CQRVWCharString::isBinary() const { return everyUnit(*this, isBinaryUnit); }
bool CQRVWCharString::isOctal() const { return everyUnit(*this, isOctalUnit); }
bool CQRVWCharString::isHex() const { return everyUnit(*this, isHexUnit); }

bool CQRVWCharString::isBinaryLiteral() const { return isMarkedLiteral(*this, L'b', isBinaryUnit); }
bool CQRVWCharString::isOctalLiteral() const { return isMarkedLiteral(*this, L'o', isOctalUnit); }

// '0x1F' (x at index 1 after a '0') or '1Fh' (h last); one marker, never both kinds.
bool CQRVWCharString::isHexLiteral() const
{
    if (!isValid())
        return false;
    unsigned long ulLength = getLength();
    unsigned long ulX = 0, ulH = 0, ulDigits = 0;
    for (unsigned long i = 0; i < ulLength; ++i) {
        unsigned short u = lowerUnit(m_pBuffer[i]);
        if (u == L'x')
            ++ulX;
        else if (u == L'h')
            ++ulH;
        else if (isHexUnit(u))
            ++ulDigits;
        else
            return false;
    }
    if (ulDigits == 0 || ulX + ulH != 1)
        return false;
    if (ulX == 1)
        return ulLength >= 2 && m_pBuffer[0] == L'0' && lowerUnit(m_pBuffer[1]) == L'x';
    return lowerUnit(m_pBuffer[ulLength - 1]) == L'h';
}

// A binary or octal marker at index 1 is a prefix, except in a two-unit text, where
// it is also the last unit: '1b' is the digit 1 with its suffix, not a prefix with no
// digits after it.
bool CQRVWCharString::removeNumberSystemMarker()
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        for (unsigned short usMarker : {static_cast<unsigned short>(L'b'), static_cast<unsigned short>(L'o')}) {
            if (usMarker == L'b' ? isBinaryLiteral() : isOctalLiteral()) {
                firstMarker(*this, usMarker) == 1 && getLength() != 2 ? removeFirst(2) : removeLast(1);
                return true;
            }
        }
        if (isHexLiteral()) {
            firstMarker(*this, L'x') == 1 ? removeFirst(2) : removeLast(1);
            return true;
        }
        return false;
    });
}

bool CQRVWCharString::toNumber(unsigned long& ulValue, unsigned long asNumberSystem) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        CQRVWCharString text(*this);
        text.trim(L' ', trLeading | trTrailing, kQRVAllWhitespace);

        unsigned long ulBase = 0;
        if (asNumberSystem == nsHex) {
            if (!text.isHex() && !text.isHexLiteral())
                return false;
            // Plain hex digits carry no marker. The marker tests start with binary,
            // and would cut '1B' or '0B' (hex digits that also read as a binary
            // literal) down to nothing.
            if (!text.isHex())
                text.removeNumberSystemMarker();
            if (text.getLength() > 8)
                throw CQRVBadArgException(L"this string", L"too many hex digits in string - will overflow unsigned long value",
                                          nullptr, 0);
            ulBase = 16;
        } else if (asNumberSystem == nsBin) {
            if (!text.isBinary() && !text.isBinaryLiteral())
                return false;
            text.removeNumberSystemMarker();
            if (text.getLength() > 32)
                throw CQRVBadArgException(L"this", L"too many binary digits in string - will overflow unsigned long value",
                                          nullptr, 0);
            ulBase = 2;
        } else if (asNumberSystem == nsOct) {
            if (!text.isOctal() && !text.isOctalLiteral())
                return false;
            text.removeNumberSystemMarker();
            if (text.getLength() > 12)
                throw CQRVBadArgException(L"this string",
                                          L"too many octal digits in string - will overflow unsigned long value", nullptr, 0);
            ulBase = 8;
        } else if (asNumberSystem == nsDec) {
            if (!text.isNumeric(true, false))
                return false;
            long lValue = std::wcstol(reinterpret_cast<const wchar_t*>(text.m_pBuffer), nullptr, 10);
            ulValue = static_cast<unsigned long>(lValue);
            return true;
        } else {
            return false;
        }

        // At most 8 hex, 32 binary or 12 octal digits: the sum fits in 64 bits.
        unsigned long long ullValue = 0;
        unsigned long ulLength = text.getLength();
        for (unsigned long i = 0; i < ulLength; ++i) {
            unsigned short u = text.m_pBuffer[i];
            unsigned long ulDigit = u >= L'a' ? u - 0x57u : (u < L'A' ? u - 0x30u : u - 0x37u);
            ullValue = ullValue * ulBase + ulDigit;
        }
        // Eleven or twelve octal digits can exceed 32 bits; such a text is refused
        // rather than wrapped into a different number.
        if (ullValue > 0xFFFFFFFFull)
            throw CQRVBadArgException(L"this string", L"too many octal digits in string - will overflow unsigned long value",
                                      nullptr, 0);
        ulValue = static_cast<unsigned long>(ullValue);
        return true;
    });
}

bool CQRVWCharString::fromNumber(unsigned long ulValue, unsigned long asNumberSystem, unsigned short usWidth,
                                 bool bPrefix)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned short digits[40]; // least significant first
        unsigned long ulDigits = 0;
        if (asNumberSystem == nsDec) {
            long lValue = static_cast<long>(ulValue);
            unsigned long ulMagnitude = lValue < 0 ? 0UL - ulValue : ulValue;
            do {
                digits[ulDigits++] = static_cast<unsigned short>(L'0' + ulMagnitude % 10);
                ulMagnitude /= 10;
            } while (ulMagnitude != 0);
            UnitRun run(ulDigits + 1);
            if (lValue < 0)
                run.add(L'-');
            for (unsigned long i = ulDigits; i-- > 0;)
                run.add(digits[i]);
            return assignUnits(run.units(), run.count());
        }

        unsigned long ulBits = 0;
        const wchar_t* pszPrefix = L"";
        if (asNumberSystem == nsHex) {
            ulBits = 4;
            pszPrefix = L"0x";
        } else if (asNumberSystem == nsBin) {
            ulBits = 1;
            pszPrefix = L"0b";
        } else if (asNumberSystem == nsOct) {
            ulBits = 3;
            pszPrefix = L"0o";
        } else {
            throw CQRVBadArgException(L"asNumberSystem", L"mode isn't supported, must be hex,bin,or oct", QRV_HERE);
        }
        const unsigned long ulMask = (1UL << ulBits) - 1;
        unsigned long ulRest = ulValue;
        do {
            unsigned long d = ulRest & ulMask;
            digits[ulDigits++] = static_cast<unsigned short>(d < 10 ? L'0' + d : L'A' + (d - 10));
            ulRest >>= ulBits;
        } while (ulRest != 0);

        unsigned long ulShown = usWidth != 0 ? usWidth : ulDigits;
        UnitRun run(ulShown + 2);
        if (bPrefix)
            run.add(reinterpret_cast<const unsigned short*>(pszPrefix), 2);
        for (unsigned long i = ulShown; i-- > 0;)
            run.add(i < ulDigits ? digits[i] : static_cast<unsigned short>(L'0'));
        return assignUnits(run.units(), run.count());
    });
}

// =====================================================================================
// Byte dumps
// =====================================================================================

CQRVWCharString CQRVWCharString::getAsciiCodeString() const
{
    QRV_TRACE(L"CQRVWCharString", L"getAsciiCodeString");
    CQRVWCharString result;
    bool bDone = qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        // Two digits per byte, one blank between bytes: 3 * bytes - 1 units.
        const unsigned long ulBytes = m_ulNumElems * 2;
        if (m_ulNumElems > (kMaxElems - 1) / 6)
            throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
        static const unsigned short kDigits[] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                 '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
        CQRVBuffer<unsigned short> fresh(3 * ulBytes);
        unsigned short* pOut = fresh.m_pBuffer;
        for (unsigned long i = 0; i < m_ulNumElems; ++i) {
            const unsigned short usUnit = m_pBuffer[i];
            const unsigned char bytes[2] = {static_cast<unsigned char>(usUnit & 0xFF),
                                            static_cast<unsigned char>(usUnit >> 8)};
            for (unsigned char byte : bytes) {
                if (pOut != fresh.m_pBuffer)
                    *pOut++ = L' ';
                *pOut++ = kDigits[byte >> 4];
                *pOut++ = kDigits[byte & 0x0F];
            }
        }
        result.takeOver(fresh);
        return true;
    }, QRVErrorSource::LastError);
    qrvTrace.passFail(bDone);
    return result;
}

namespace {

// What toNumber(nsHex) makes of a two-unit text, without building one: blanks and
// whitespace at either end are trimmed; plain hex digits ('4F', '4', nothing at all)
// are read as they are; "0x" reads 0 and a digit marked 'h' reads that digit; anything
// else is no number (false).
bool hexPairValue(unsigned short usFirst, unsigned short usSecond, unsigned long& ulValue)
{
    // Of two units, trimming both ends keeps exactly those that are not blank.
    const WhitespaceSet blank(kQRVAllWhitespace);
    unsigned short units[2];
    unsigned long n = 0;
    for (unsigned short usUnit : {usFirst, usSecond}) {
        if (!blank.has(usUnit))
            units[n++] = usUnit;
    }
    ulValue = 0;
    auto digit = [](unsigned short u) {
        return u >= L'a' ? u - 0x57u : (u < L'A' ? u - 0x30u : u - 0x37u);
    };
    bool bPlain = true;
    for (unsigned long i = 0; i < n; ++i)
        bPlain = bPlain && isHexUnit(units[i]);
    if (bPlain) {
        for (unsigned long i = 0; i < n; ++i)
            ulValue = ulValue * 16 + digit(units[i]);
        return true;
    }
    if (n == 2 && units[0] == L'0' && lowerUnit(units[1]) == L'x')
        return true;
    if (n == 2 && isHexUnit(units[0]) && lowerUnit(units[1]) == L'h') {
        ulValue = digit(units[0]);
        return true;
    }
    return false;
}

} // namespace

// Each pair of units is one byte; the unit after a pair is the separator and is not
// looked at. The dump stops when fewer than two units are left.
CQRVBuffer<unsigned char> CQRVWCharString::getBufferFromAsciiCodeString() const
{
    QRV_TRACE(L"CQRVWCharString", L"getBufferFromAsciiCodeString");
    CQRVBuffer<unsigned char> bytes;
    bool bDone = qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned long ulLength = getLength();
        if (ulLength < 2)
            return true;
        unsigned long ulPairs = (ulLength - 2) / 3 + 1;
        if (!bytes.allocate(ulPairs))
            return false;
        for (unsigned long i = 0; i < ulPairs; ++i) {
            unsigned long ulByte = 0;
            // A pair that is not hexadecimal still takes its place as a 0 byte, so
            // the bytes after it keep their offsets.
            if (!hexPairValue(m_pBuffer[3 * i], m_pBuffer[3 * i + 1], ulByte))
                ulByte = 0;
            bytes.m_pBuffer[i] = static_cast<unsigned char>(ulByte & 0xFF);
        }
        return true;
    }, QRVErrorSource::LastError);
    qrvTrace.passFail(bDone);
    return bytes;
}

// =====================================================================================
// Environment expansion
// =====================================================================================

// Each name enclosed between a pair of "%" is looked up; an existing variable replaces
// the first "%NAME%" in the text. The result is that of the last replacement made,
// false when no variable existed, true when there was no reference at all.
bool CQRVWCharString::expand()
{
    QRV_TRACE(L"CQRVWCharString", L"expand");
    return qrvTrace.passFail(qrvAbsorbAll(false, QRV_HERE, [&] {
        StringList tokens;
        const CQRVWCharString percent(L"%");
        if (!split(tokens, percent, fmEnclosed, 0, 0))
            return true;
        bool bResult = false;
        bool bMore = tokens.moveFirst();
        while (bMore) {
            CQRVWCharString name;
            if (tokens.getCurrent(name)) {
                CQRVEnvironmentVariable variable(name);
                CQRVWCharString value;
                if (variable.getValue(value))
                    bResult = replace(percent + name + percent, value, 1, ssmOccur);
            }
            bMore = tokens.moveNext();
        }
        tokens.clear();
        return bResult;
    }, QRVErrorSource::LastError));
}
