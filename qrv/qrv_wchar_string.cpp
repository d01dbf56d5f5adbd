// CQRVWCharString: construction, assignment, comparison, searching and editing, then
// the parsing half (sub-strings, ranges, fields, numbers, byte dumps) and expand().
//
// Every edit builds its result in a fresh exact-size array and takes it over, so a
// string passed in that is this same string (s.insert(s, 0)) is read before it is
// replaced, and the old array is wiped by the buffer that carries it away.
#include "qrv_wchar_string.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "qrv_dbllist.h"
#include "qrv_environment_variable.h"

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

bool unitsMatch(const unsigned short* pText, const unsigned short* pPattern, unsigned long ulCount)
{
    for (unsigned long i = 0; i < ulCount; ++i) {
        if (pText[i] != pPattern[i])
            return false;
    }
    return true;
}

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

    unsigned long ulFound = 0;
    if (direction == pmFromStart) {
        for (unsigned long j = 0; j <= n - m; ++j) {
            if (unitsMatch(m_pBuffer + j, subString.m_pBuffer, m) && ++ulFound == ulOccurrance) {
                ulPos = j;
                return true;
            }
        }
    } else if (direction == pmFromEnd) {
        // e is the end (one past the last unit) of the candidate match: n down to m.
        for (unsigned long e = n + 1; e-- > m;) {
            if (unitsMatch(m_pBuffer + (e - m), subString.m_pBuffer, m) && ++ulFound == ulOccurrance) {
                ulPos = e - m;
                return true;
            }
        }
    }
    return false;
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
    unsigned long n = getLength();
    unsigned long m = subString.getLength();
    if (n < m)
        return 0;
    unsigned long ulCount = 0;
    for (unsigned long j = 0; j <= n - m && ulCount < n; ++j) {
        if (unitsMatch(m_pBuffer + j, subString.m_pBuffer, m))
            ++ulCount;
    }
    return ulCount;
}

bool CQRVWCharString::getOccurranceNumber(const CQRVWCharString& subString, unsigned long ulPos,
                                          unsigned long direction, unsigned long& ulOccurrance) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        unsigned long ulCount = countOccurrances(subString);
        for (unsigned long k = 1; k <= ulCount; ++k) {
            unsigned long ulFound = 0;
            if (findOccurrance(subString, k, direction, ulFound) && ulFound == ulPos) {
                ulOccurrance = k;
                return true;
            }
        }
        return false;
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

        unsigned long m = subString.getLength();
        for (unsigned long r = 0; r < ulRepeat; ++r) {
            unsigned long p = 0;
            if (!findOccurrance(subString, k, pmFromStart, p))
                continue;
            CQRVWCharString kept = withoutFirst(p + m);
            if (p < m_ulNumElems)
                m_pBuffer[p] = 0;
            *this += kept;
        }
        compact();
        return true;
    });
}

// Replacement works left to right through the text and never searches the text it has
// just put in, so a new text that contains the old one, or that forms it together
// with its neighbours, is not replaced again ("\\\\" -> "\\" collapses each pair once).
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

    const unsigned long m = oldString.getLength();
    const unsigned long ulNewLength = newString.getLength();
    unsigned long ulFrom = 0;
    unsigned long ulDone = 0;
    while (ulDone < ulRepeat) {
        unsigned long ulLength = getLength();
        unsigned long p = 0;
        if (subStringMode == ssmOccur) {
            if (!findOccurrance(oldString, k, pmFromStart, p))
                break;
        } else {
            bool bFound = false;
            for (p = ulFrom; m <= ulLength && p <= ulLength - m; ++p) {
                if (unitsMatch(m_pBuffer + p, oldString.m_pBuffer, m)) {
                    bFound = true;
                    break;
                }
            }
            if (!bFound)
                break;
        }
        UnitRun run(roomFor(ulLength - m, ulNewLength));
        run.add(m_pBuffer, p);
        run.add(newString.m_pBuffer, ulNewLength);
        run.add(m_pBuffer + p + m, ulLength - p - m);
        assignUnits(run.units(), run.count());
        ulFrom = p + ulNewLength;
        ++ulDone;
        if (m == 0 && ulNewLength == 0)
            break; // nothing found and nothing put in: every further round is the same
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

// Leading run [0, f), middle [f, h], trailing run (h, end). A text made only of
// selected whitespace has no h: its first unit is the middle, so it survives unless
// both region bits are given.
bool CQRVWCharString::removeWhitespace(const CQRVFlags& regions, const CQRVFlags& whitespace)
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        const unsigned long ulSelection = whitespace.m_ulFlags;
        if (!isValid() || regions.m_ulFlags == 0 || ulSelection == 0)
            return true;
        unsigned long ulLength = getLength();
        if (ulLength == 0)
            return true;
        unsigned long f = 0;
        if (!findNonWhitespace(whitespace, pmFromStart, f))
            f = 0;
        unsigned long h = f;
        bool bHaveLast = findNonWhitespace(whitespace, pmFromEnd, h);
        if (!bHaveLast)
            h = f;
        const bool bLeading = (regions.m_ulFlags & trLeading) != 0;
        const bool bTrailing = (regions.m_ulFlags & trTrailing) != 0;
        const bool bMiddle = bLeading && bTrailing;

        UnitRun run(ulLength);
        for (unsigned long i = 0; i < ulLength; ++i) {
            bool bStrip = false;
            if (i < f)
                bStrip = bLeading;
            else if (i <= h)
                bStrip = bMiddle;
            else if (bHaveLast)
                bStrip = bTrailing;
            else
                continue; // past the middle with no trailing run: not part of any piece
            if (!(bStrip && isSelectedWhitespace(m_pBuffer[i], ulSelection)))
                run.add(m_pBuffer[i]);
        }
        return assignUnits(run.units(), run.count());
    });
}

// =====================================================================================
// Sub-strings, ranges and fields
// =====================================================================================

bool CQRVWCharString::convertOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance,
                                        unsigned long parseMode, unsigned long& ulConverted) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        if (!subString.isValid() || subString.getLength() == 0)
            throw CQRVBadArgException(L"subString", L"must contain a string", QRV_HERE);
        unsigned long p = 0;
        if (parseMode == pmFromStart)
            return findOccurrance(subString, ulOccurrance, pmFromStart, p) &&
                   getOccurranceNumber(subString, p, pmFromEnd, ulConverted);
        if (parseMode == pmFromEnd)
            return findOccurrance(subString, ulOccurrance, pmFromEnd, p) &&
                   getOccurranceNumber(subString, p, pmFromStart, ulConverted);
        throw CQRVBadArgException(L"parseMode", L"invalid parse mode", QRV_HERE);
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

bool CQRVWCharString::getSubString(CQRVWCharString& out, const CQRVWCharString& subString,
                                   unsigned long ulOccurrance, unsigned long parseMode, bool bInclude) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid())
            return false;
        CQRVWCharString copy(*this);
        unsigned long ulConverted = 0;
        if (!copy.convertOccurrance(subString, ulOccurrance, parseMode, ulConverted))
            return false;
        bool bCut = parseMode == pmFromStart ? copy.truncateAt(subString, ulConverted, pmFromEnd, !bInclude)
                                             : copy.truncateAt(subString, ulConverted, pmFromStart, !bInclude);
        if (!bCut)
            return false;
        out = copy;
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
        CQRVWCharString copy(*this);
        if (!copy.deleteRange(ulEndPos, ulStartPos, !bIncludeEnd, !bIncludeStart))
            return false;
        out = copy;
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

bool CQRVWCharString::getField(CQRVWCharString& out, const CQRVWCharString& subString, unsigned long ulOccurrance,
                               unsigned long fieldMode, const CQRVFlags& regions,
                               const CQRVFlags& whitespace) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (!isValid() || !subString.isValid())
            return false;
        unsigned long c = countOccurrances(subString);
        if (ulOccurrance == 0)
            throw CQRVBadArgException(L"ulOccurrance", L"ulOccurrance must be greater than 0", QRV_HERE);
        bool bExtracted = false;
        if (c == 0) {
            // A text without the delimiter is one separated field, but it encloses
            // nothing: "C:\\Temp" has no %NAME% reference to expand.
            if (ulOccurrance != 1 || fieldMode != fmSeparated)
                return false;
            out = *this;
            bExtracted = true;
        } else {
            if (ulOccurrance - 1 > c)
                return false;
            unsigned long m = 0;
            if (fieldMode == fmSeparated) {
                if (ulOccurrance == 1) {
                    bExtracted = getSubString(out, subString, 1, pmFromStart, false);
                } else if (ulOccurrance == c + 1) {
                    bExtracted = getSubString(out, subString, 1, pmFromEnd, false);
                } else {
                    if (!convertOccurrance(subString, ulOccurrance, pmFromStart, m))
                        return false;
                    bExtracted = extractBetween(out, subString, ulOccurrance - 1, subString, m, false, false);
                }
            } else if (fieldMode == fmEnclosed) {
                // No closing delimiter: checked here rather than by a search that would
                // log a bad argument on short texts.
                if (ulOccurrance + 1 > c)
                    return false;
                if (!convertOccurrance(subString, ulOccurrance + 1, pmFromStart, m))
                    return false;
                bExtracted = extractBetween(out, subString, ulOccurrance, subString, m, false, false);
            } else {
                return false;
            }
        }
        if (bExtracted)
            out.removeWhitespace(regions, whitespace);
        return bExtracted;
    });
}

bool CQRVWCharString::split(StringList& list, const CQRVWCharString& subString, unsigned long fieldMode,
                            const CQRVFlags& regions, const CQRVFlags& whitespace) const
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        list.clear();
        if (!isValid() || !subString.isValid())
            return false;
        if (fieldMode != fmSeparated && fieldMode != fmEnclosed)
            return false;
        const unsigned long ulStep = fieldMode == fmSeparated ? 1 : 2;
        for (unsigned long k = 1;; k += ulStep) {
            CQRVWCharString token;
            if (!getField(token, subString, k, fieldMode, regions, whitespace))
                break;
            long lKey = static_cast<long>(fieldMode == fmSeparated ? k - 1 : (k - 1) / 2);
            if (!list.add(token, lKey)) {
                list.clear();
                break;
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

bool CQRVWCharString::removeNumberSystemMarker()
{
    return qrvAbsorbAll(false, QRV_HERE, [&] {
        if (isBinaryLiteral()) {
            firstMarker(*this, L'b') == 1 ? removeFirst(2) : removeLast(1);
            return true;
        }
        if (isOctalLiteral()) {
            firstMarker(*this, L'o') == 1 ? removeFirst(2) : removeLast(1);
            return true;
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
        CQRVBuffer<unsigned char> bytes = toByteBuffer();
        if (!bytes.isValid())
            return false;
        static const wchar_t kDigits[] = L"0123456789ABCDEF";
        UnitRun run(roomFor(bytes.m_ulNumElems, bytes.m_ulNumElems * 2));
        for (unsigned long i = 0; i < bytes.m_ulNumElems; ++i) {
            if (i != 0)
                run.add(L' ');
            run.add(static_cast<unsigned short>(kDigits[bytes.m_pBuffer[i] >> 4]));
            run.add(static_cast<unsigned short>(kDigits[bytes.m_pBuffer[i] & 0x0F]));
        }
        return result.assignUnits(run.units(), run.count());
    }, QRVErrorSource::LastError);
    qrvTrace.passFail(bDone);
    return result;
}

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
            CQRVWCharString pair;
            if (!pair.assignUnits(m_pBuffer + 3 * i, 2))
                return false;
            unsigned long ulByte = 0;
            // A pair that is not hexadecimal still takes its place as a 0 byte, so
            // the bytes after it keep their offsets.
            if (!pair.toNumber(ulByte, nsHex))
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
