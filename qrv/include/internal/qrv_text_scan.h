// The one scanner behind every delimiter search of CQRVWCharString. Not part of the
// public surface.
//
// A match is any position where the pattern's units occur; matches may overlap
// ('aa' occurs at 0 and 1 in 'aaa'). An empty pattern matches at every position
// 0 .. length. Each call walks the text once from where it is asked to start, so an
// operation that steps from match to match does work proportional to the text's
// length times the pattern's.
#pragma once

#include <cstring>
#include <cwchar>

#include "qrv_wchar_string.h"

namespace qrv_detail {

class TextScanner {
public:
    TextScanner(const unsigned short* pText, unsigned long ulLength, const unsigned short* pPattern,
                unsigned long ulPatternLength) noexcept
        : m_pText(pText), m_n(ulLength), m_pPattern(pPattern), m_m(ulPatternLength)
    {
    }

    // The text and pattern of two strings, as far as their lengths go (nothing for a
    // string that is not valid).
    TextScanner(const CQRVWCharString& text, const CQRVWCharString& pattern) noexcept
        : TextScanner(text.getBuffer(), text.getLength(), pattern.getBuffer(), pattern.getLength())
    {
    }

    unsigned long textLength() const noexcept { return m_n; }
    unsigned long patternLength() const noexcept { return m_m; }

    bool matchesAt(unsigned long ulPos) const noexcept
    {
        return m_m <= m_n && ulPos <= m_n - m_m && std::memcmp(m_pText + ulPos, m_pPattern, m_m * 2u) == 0;
    }

    // The first match starting at or after ulFrom.
    bool next(unsigned long ulFrom, unsigned long& ulPos) const noexcept
    {
        if (m_m > m_n || ulFrom > m_n - m_m)
            return false;
        if (m_m == 0) {
            ulPos = ulFrom;
            return true;
        }
        const unsigned long ulLast = m_n - m_m; // last possible start
        const wchar_t first = static_cast<wchar_t>(m_pPattern[0]);
        const wchar_t* pText = reinterpret_cast<const wchar_t*>(m_pText);
        unsigned long j = ulFrom;
        while (j <= ulLast) {
            const wchar_t* pHit = std::wmemchr(pText + j, first, ulLast - j + 1);
            if (pHit == nullptr)
                return false;
            j = static_cast<unsigned long>(pHit - pText);
            if (std::memcmp(m_pText + j + 1, m_pPattern + 1, (m_m - 1) * 2u) == 0) {
                ulPos = j;
                return true;
            }
            ++j;
        }
        return false;
    }

    // The last match starting at or before ulFrom.
    bool previous(unsigned long ulFrom, unsigned long& ulPos) const noexcept
    {
        if (m_m > m_n)
            return false;
        unsigned long j = ulFrom < m_n - m_m ? ulFrom : m_n - m_m;
        if (m_m == 0) {
            ulPos = j;
            return true;
        }
        for (;;) {
            if (m_pText[j] == m_pPattern[0] && matchesAt(j)) {
                ulPos = j;
                return true;
            }
            if (j == 0)
                return false;
            --j;
        }
    }

    // Match number ulNumber (from 1) counted from the first unit forwards or from the
    // last backwards; ulNumber 0 or any other direction finds nothing.
    bool nth(unsigned long ulNumber, unsigned long direction, unsigned long& ulPos) const noexcept
    {
        if (ulNumber == 0)
            return false;
        unsigned long p = 0;
        if (direction == pmFromStart) {
            for (unsigned long k = 0; k < ulNumber; ++k) {
                if (!(k == 0 ? next(0, p) : next(p + 1, p)))
                    return false;
            }
        } else if (direction == pmFromEnd) {
            if (m_m > m_n)
                return false;
            for (unsigned long k = 0; k < ulNumber; ++k) {
                if (k != 0 && p == 0)
                    return false;
                if (!(k == 0 ? previous(m_n - m_m, p) : previous(p - 1, p)))
                    return false;
            }
        } else {
            return false;
        }
        ulPos = p;
        return true;
    }

    // How many matches there are, counting no further than ulCap.
    unsigned long count(unsigned long ulCap) const noexcept
    {
        unsigned long ulCount = 0;
        unsigned long p = 0;
        for (bool bFound = next(0, p); bFound && ulCount < ulCap; bFound = next(p + 1, p))
            ++ulCount;
        return ulCount;
    }

private:
    const unsigned short* m_pText;
    unsigned long m_n;
    const unsigned short* m_pPattern;
    unsigned long m_m;
};

} // namespace qrv_detail
