// CQRVWCharString: the library's text type. A CQRVBuffer<unsigned short> of UTF-16
// code units with a terminating 0; the length is the number of units before the first
// 0, and any slack after it is ignored by every text operation.
//
// A string with no storage is not valid: the default string, and any string assigned
// an empty text. A valid string may have length 0 (in-place edits such as trim do not
// compact). Comparisons and searches are exact on code units; occurrence and field
// numbers count from 1, positions from 0.
//
// Failures: every operation catches what is raised inside it, makes sure it is in the
// log and returns false (or an empty result). Only the constructors raise to their
// callers (CQRVBufferInitException).
#pragma once

#include <string>

#include "qrv_buffer.h"
#include "qrv_flags.h"

template <typename N>
class CQRVDblList;
template <typename T>
class CQRVObjNode;

// Directions: counting from the first unit forwards, or from the last backwards.
enum QRVParseMode : unsigned long { pmFromStart = 1, pmFromEnd = 2 };
// Which occurrences an edit touches: all, only number ulOccurrance, or the first ulOccurrance.
enum QRVSubStringMode : unsigned long { ssmAll = 1, ssmOccur = 2, ssmNum = 4 };
// Trim and strip regions (bits of a CQRVFlags).
enum QRVTrimRegion : unsigned long { trLeading = 1, trTrailing = 2 };
enum QRVNumberSystem : unsigned long { nsHex = 1, nsBin = 2, nsOct = 4, nsDec = 8 };
// Fields separated by a delimiter, or enclosed between pairs of it ("%NAME%").
enum QRVFieldMode : unsigned long { fmSeparated = 1, fmEnclosed = 2 };

// The whitespace table: entry i is selected by flag bit (1 << i); 0xFF selects all.
// It ends with the unit 0xFFFF.
extern const unsigned short g_qrvWhitespace[9];
const unsigned long kQRVAllWhitespace = 0xFF;

class CQRVWCharString : public CQRVBuffer<unsigned short> {
public:
    typedef CQRVDblList<CQRVObjNode<CQRVWCharString> > StringList;

    // ---- construction (a failure raises CQRVBufferInitException) -------------------
    CQRVWCharString();
    CQRVWCharString(const CQRVWCharString& other);
    CQRVWCharString(const wchar_t* pszText);
    // Narrow text converted with mbstowcs in the current C locale; null gives a
    // string that is not valid.
    CQRVWCharString(const char* pszText);
    CQRVWCharString(const CQRVBuffer<unsigned short>& units);
    CQRVWCharString(wchar_t ch);
    // Decimal text of a signed value.
    explicit CQRVWCharString(long lValue);
    // ulValue in hex, binary or octal (least significant digits kept when longer than
    // a non-zero usWidth, '0'-padded when shorter; prefix "0x", "0b", "0o" optional),
    // or signed decimal for nsDec (width and prefix ignored).
    CQRVWCharString(unsigned long ulValue, unsigned long asNumberSystem, unsigned short usWidth, bool bPrefix);

    // The text of a std::wstring up to its first NUL; an empty text gives a string
    // that is not valid, as an empty const wchar_t* does.
    CQRVWCharString(const std::wstring& strText);

    // ---- assignment ----------------------------------------------------------------
    CQRVWCharString& operator=(const CQRVWCharString& other);
    // As the std::wstring constructor.
    CQRVWCharString& operator=(const std::wstring& strText);
    // Null or empty text releases the string.
    CQRVWCharString& operator=(const wchar_t* pszText);
    // The character 0 gives a string that is not valid.
    CQRVWCharString& operator=(wchar_t ch);
    // All units, then a terminator, then compact().
    CQRVWCharString& operator=(const CQRVBuffer<unsigned short>& units);
    // n bytes of narrow text through mbstowcs; a failed conversion leaves the string as it was.
    CQRVWCharString& operator=(const CQRVBuffer<char>& narrow);

    // ---- length and storage --------------------------------------------------------
    bool isValid() const;
    unsigned long getLength() const;
    // The units, null when not valid. Always terminated for strings built by this class.
    unsigned short* getBuffer() const;
    // Drops the slack after the terminator; length 0 releases the string.
    bool compact();

    // ---- the text for Win32 calls and standard C++ (no casts) -----------------------
    // The units as wide text, up to the terminator; never null: L"" for a string that
    // is not valid. Valid until the string is next changed.
    const wchar_t* c_str() const;
    // A copy of the text (the units before the first 0); empty when not valid.
    std::wstring str() const;

    // ---- comparison (code-unit exact) ----------------------------------------------
    // For std::map, std::set and std::sort use CQRVWCharStringLess (below), which is an
    // order; these operators are kept as they always were.
    // Equal texts, or both not valid.
    bool operator==(const CQRVWCharString& other) const;
    bool operator!=(const CQRVWCharString& other) const;
    // Ordering is defined only between valid strings of equal length: otherwise <= and
    // >= are false and < and > (their negations) are true.
    bool operator<=(const CQRVWCharString& other) const;
    bool operator>=(const CQRVWCharString& other) const;
    bool operator<(const CQRVWCharString& other) const;
    bool operator>(const CQRVWCharString& other) const;

    // ---- concatenation and cutting -------------------------------------------------
    CQRVWCharString operator+(const CQRVWCharString& other) const;
    CQRVWCharString& operator+=(const CQRVWCharString& other);
    CQRVWCharString withoutLast(unsigned long n) const;
    CQRVWCharString withoutFirst(unsigned long n) const;
    bool removeLast(unsigned long n);
    bool removeFirst(unsigned long n);

    // ---- searching -----------------------------------------------------------------
    // Start of occurrence ulOccurrance (overlapping matches count) in the direction.
    bool findOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance, unsigned long direction,
                        unsigned long& ulPos) const;
    unsigned long countOccurrances(const CQRVWCharString& subString) const;
    // Which occurrence, counted in the direction, starts at ulPos.
    bool getOccurranceNumber(const CQRVWCharString& subString, unsigned long ulPos, unsigned long direction,
                             unsigned long& ulOccurrance) const;
    bool contains(const CQRVWCharString& subString) const;
    bool beginsWith(const CQRVWCharString& subString) const;
    bool endsWith(const CQRVWCharString& subString) const;

    // ---- editing -------------------------------------------------------------------
    bool insert(const CQRVWCharString& string, unsigned long ulPos);
    bool replace(const CQRVWCharString& oldString, const CQRVWCharString& newString, unsigned long ulOccurrance,
                 unsigned long subStringMode);
    bool remove(const CQRVWCharString& subString, unsigned long ulOccurrance, unsigned long subStringMode);
    bool toLower();
    bool reverse();
    // Overwrites chTrim and selected whitespace at the ends; the element count stays.
    bool trim(wchar_t chTrim, const CQRVFlags& trimEnds, const CQRVFlags& whitespace);
    bool findNonWhitespace(const CQRVFlags& whitespace, unsigned long direction, unsigned long& ulPos) const;
    // Strips selected whitespace from the leading and/or trailing run; inside the text
    // only when both region bits are given.
    bool removeWhitespace(const CQRVFlags& regions, const CQRVFlags& whitespace);
    // Replaces %NAME% references by the values of those environment variables.
    bool expand();

    // ---- sub-strings, ranges and fields --------------------------------------------
    bool convertOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance, unsigned long parseMode,
                           unsigned long& ulConverted) const;
    bool truncateAt(const CQRVWCharString& subString, unsigned long ulOccurrance, unsigned long direction,
                    bool bDropDelimiter);
    // pmFromStart: the text before occurrence ulOccurrance; pmFromEnd: the text after
    // occurrence ulOccurrance counted from the end. bInclude keeps the delimiter.
    bool getSubString(CQRVWCharString& out, const CQRVWCharString& subString, unsigned long ulOccurrance,
                      unsigned long parseMode, bool bInclude) const;
    // The units strictly between the two positions always go; wraps when ulEndPos < ulStartPos.
    bool deleteRange(unsigned long ulStartPos, unsigned long ulEndPos, bool bDeleteStart, bool bDeleteEnd);
    bool extractRange(CQRVWCharString& out, unsigned long ulStartPos, unsigned long ulEndPos, bool bIncludeStart,
                      bool bIncludeEnd) const;
    bool extractBetween(CQRVWCharString& out, const CQRVWCharString& startString, unsigned long ulStartOccurrance,
                        const CQRVWCharString& endString, unsigned long ulEndOccurrance, bool bIncludeStart,
                        bool bIncludeEnd) const;
    // Field ulOccurrance (from 1); an empty field comes out not valid, with true.
    bool getField(CQRVWCharString& out, const CQRVWCharString& subString, unsigned long ulOccurrance,
                  unsigned long fieldMode, const CQRVFlags& regions, const CQRVFlags& whitespace) const;
    // All fields, keyed by their 0-based index; true when at least one was found.
    bool split(StringList& list, const CQRVWCharString& subString, unsigned long fieldMode,
               const CQRVFlags& regions, const CQRVFlags& whitespace) const;

    // ---- numbers -------------------------------------------------------------------
    bool isNumeric(bool bAllowNegative, bool bAllowDecimal) const;
    bool isBinary() const;
    bool isOctal() const;
    bool isHex() const;
    bool isBinaryLiteral() const;
    bool isOctalLiteral() const;
    bool isHexLiteral() const;
    bool removeNumberSystemMarker();
    // ulValue is written only on success.
    bool toNumber(unsigned long& ulValue, unsigned long asNumberSystem) const;

    // ---- byte dumps ('41 00 42 00') ------------------------------------------------
    // Every byte of the unit array, slack included; not valid for a string that is not.
    CQRVWCharString getAsciiCodeString() const;
    CQRVBuffer<unsigned char> getBufferFromAsciiCodeString() const;

private:
    bool assignUnits(const unsigned short* pUnits, unsigned long ulCount);
    void takeOver(CQRVBuffer<unsigned short>& other);
    bool fromNumber(unsigned long ulValue, unsigned long asNumberSystem, unsigned short usWidth, bool bPrefix);
    bool findOccurranceImpl(const CQRVWCharString& subString, unsigned long ulOccurrance, unsigned long direction,
                            unsigned long& ulPos) const;
    bool replaceImpl(const CQRVWCharString& oldString, const CQRVWCharString& newString,
                     unsigned long ulOccurrance, unsigned long subStringMode);
    bool locateOccurrance(const CQRVWCharString& subString, unsigned long ulOccurrance, unsigned long parseMode,
                          unsigned long& ulPos) const;
    bool assignStripped(const unsigned short* pUnits, unsigned long ulCount, unsigned long ulRegions,
                        unsigned long ulSelection);
    bool assignBetween(CQRVWCharString& out, unsigned long pStart, unsigned long pEnd, unsigned long m,
                       unsigned long ulRegions, unsigned long ulSelection) const;
};

// A strict weak order of strings, for std::map, std::set and std::sort: code units
// compared one by one as unsigned numbers, and a text that is the start of the other
// comes first ("ab" < "abc" < "b"). A string that is not valid orders as the empty text.
struct CQRVWCharStringLess {
    bool operator()(const CQRVWCharString& a, const CQRVWCharString& b) const;
};
