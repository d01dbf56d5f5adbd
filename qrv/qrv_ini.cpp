// CQRVIni: the private-profile functions behind one file path.
#include "qrv_ini.h"

#include "qrv_buffer.h"
#include "qrv_protocol.h"
#include "internal/qrv_profile_path.h"
#include "internal/qrv_text.h"
#include "internal/qrv_unique_handle.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

// Profile functions give a null name or value a meaning of its own (a null key
// deletes a whole section, a null value deletes the entry), so a string without
// storage goes to them as empty text (textOrEmpty), never as a null pointer.
using qrv_detail::textOrEmpty;
using qrv_detail::textOrNull;

namespace {

const DWORD kStringBufferChars = 1024;
const DWORD kListBufferChars = 0x7FFF;
// The list buffer grows no further than this many characters (2 GB of memory).
const DWORD kListBufferLimit = 0x40000000;
const wchar_t kNotFound[] = L"Not Found";
const wchar_t kPlaceholderKey[] = L"QRVPlaceholder";

// A section's lines for the writers below: the list's non-empty entries, each followed
// by ulEnd units of pEnd (a NUL is L"", 1). entriesUnits counts the units they take
// (0 when there is none); copyEntries lays them out from p on and returns the unit
// after the last.
unsigned long entriesUnits(const CQRVIni::StringList& lstEntries, unsigned long ulEnd)
{
    unsigned long ulUnits = 0;
    for (const CQRVObjNode<CQRVWCharString>* pNode = lstEntries.m_pHead; pNode; pNode = pNode->m_pNext)
        if (pNode->m_object.getLength() > 0)
            ulUnits += pNode->m_object.getLength() + ulEnd;
    return ulUnits;
}

unsigned short* copyEntries(unsigned short* p, const CQRVIni::StringList& lstEntries, const wchar_t* pEnd,
                            unsigned long ulEnd)
{
    for (const CQRVObjNode<CQRVWCharString>* pNode = lstEntries.m_pHead; pNode; pNode = pNode->m_pNext) {
        const unsigned long ulLength = pNode->m_object.getLength();
        if (ulLength == 0)
            continue;
        std::memcpy(p, pNode->m_object.getBuffer(), ulLength * 2);
        p += ulLength;
        std::memcpy(p, pEnd, ulEnd * 2);
        p += ulEnd;
    }
    return p;
}

// The code a profile read that found nothing leaves: the function's own when it set
// one (a file it could not open: ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED), else
// ERROR_FILE_NOT_FOUND. The caller clears the last error before the read.
DWORD notFoundCode()
{
    const DWORD dwError = ::GetLastError();
    return dwError != ERROR_SUCCESS ? dwError : ERROR_FILE_NOT_FOUND;
}

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// "X:\..." or "X:/...": a drive letter, a colon and a separator.
bool isDrivePath(const unsigned short* p, unsigned long n)
{
    return n >= 3 && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z')) && p[1] == L':' &&
           isSeparator(static_cast<wchar_t>(p[2]));
}

} // namespace

CQRVWCharString qrv_detail::profileFilePath(const CQRVWCharString& szFileName)
{
    const unsigned long n = szFileName.getLength();
    const unsigned short* p = szFileName.getBuffer();
    if (n == 0 || !p || isDrivePath(p, n) || (p[0] == L'\\' && n >= 2 && p[1] == L'\\'))
        return szFileName;
    bool bBare = true;
    for (unsigned long i = 0; i < n && bBare; ++i)
        bBare = !isSeparator(static_cast<wchar_t>(p[i])) && p[i] != L':';
    if (bBare) {
        wchar_t szWindows[MAX_PATH + 1] = {0};
        const UINT cchWindows = ::GetWindowsDirectoryW(szWindows, MAX_PATH + 1);
        if (cchWindows == 0 || cchWindows > MAX_PATH)
            return szFileName;
        std::wstring strPath(szWindows, cchWindows);
        if (!isSeparator(strPath.back()))
            strPath += L'\\';
        strPath.append(reinterpret_cast<const wchar_t*>(p), n);
        return CQRVWCharString(strPath.c_str());
    }
    // Relative to the current folder (".\x.ini", "sub\x.ini"), to the current drive's
    // root ("\x.ini") or to a drive's current folder ("C:x.ini"), as of now.
    const wchar_t* pName = reinterpret_cast<const wchar_t*>(p);
    std::vector<wchar_t> full(n + MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD cchFull = ::GetFullPathNameW(pName, static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (cchFull == 0)
            return szFileName;
        if (cchFull < full.size())
            return CQRVWCharString(full.data());
        full.resize(cchFull + 1); // the current folder grew meanwhile: once more, with its size
    }
    return szFileName;
}

// The name is resolved here, once: the profile functions and this class's own file
// access (createUnicodeFile, appendProfileSection) then reach the same file.
CQRVIni::CQRVIni(const CQRVWCharString& szFileName)
    : m_szFileName(qrv_detail::profileFilePath(szFileName))
{
}

CQRVIni::~CQRVIni()
{
}

void CQRVIni::writeEntry(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                         const CQRVWCharString& szValue) const
{
    // An empty section or key name would reach the function as a null pointer or
    // write a nameless line; neither is an entry, so both are refused.
    if (szSection.getLength() == 0)
        throw CQRVBadArgException(L"szSection", L"section name must not be empty", QRV_HERE);
    if (szKeyName.getLength() == 0)
        throw CQRVBadArgException(L"szKeyName", L"key name must not be empty", QRV_HERE);
    if (!::WritePrivateProfileStringW(textOrEmpty(szSection), textOrEmpty(szKeyName), textOrEmpty(szValue),
                                      textOrEmpty(m_szFileName)))
        throw CQRVWritePrivateProfileStringException(textOrNull(szSection), textOrNull(szKeyName),
                                                     static_cast<int>(::GetLastError()), QRV_HERE);
}

bool CQRVIni::createProfileSection(const CQRVWCharString& szSection)
{
    QRV_TRACE(L"CQRVIni", L"createProfileSection");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        if (szSection.getLength() == 0)
            throw CQRVBadArgException(L"szSection", L"section name must not be empty", QRV_HERE);
        // WritePrivateProfileSectionW without data deletes the section with all its
        // entries instead of creating it. An existing section is therefore left as it
        // is, and a missing one is made by writing a placeholder entry and removing it
        // again, which leaves the empty section behind.
        if (hasSection(szSection))
            return true;
        const wchar_t* pSection = textOrEmpty(szSection);
        if (!::WritePrivateProfileStringW(pSection, kPlaceholderKey, L"", textOrEmpty(m_szFileName))
            || !::WritePrivateProfileStringW(pSection, kPlaceholderKey, nullptr, textOrEmpty(m_szFileName)))
            throw CQRVWritePrivateProfileSectionException(pSection, static_cast<int>(::GetLastError()), QRV_HERE);
        return true;
    }));
}

bool CQRVIni::hasSection(const CQRVWCharString& szSection) const
{
    StringList lstNames;
    if (!readList(nullptr, lstNames))
        return false;
    // Section names are matched without regard to case, as the profile functions do
    // (CompareStringW with the invariant locale: XP lacks CompareStringOrdinal).
    const wchar_t* pWanted = textOrEmpty(szSection);
    bool bMore = lstNames.moveFirst();
    while (bMore) {
        CQRVWCharString szName;
        if (lstNames.getCurrent(szName)
            && ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, textOrEmpty(szName), -1, pWanted, -1)
                   == CSTR_EQUAL)
            return true;
        bMore = lstNames.moveNext();
    }
    return false;
}

bool CQRVIni::getProfileInt(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                            int& nValue)
{
    QRV_TRACE(L"CQRVIni", L"getProfileInt");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        ::SetLastError(ERROR_SUCCESS);
        const UINT uResult = ::GetPrivateProfileIntW(textOrEmpty(szSection), textOrEmpty(szKeyName), -1,
                                                     textOrEmpty(m_szFileName));
        // -1 is the default, so a stored -1 cannot be told from a missing key.
        if (static_cast<int>(uResult) == -1)
            throw CQRVLogException1(L"GetPrivateProfileInt( ) failed.", qrvCode(notFoundCode()),
                                    RESULT_ERROR_CODE, nullptr, nullptr, QRV_HERE);
        nValue = static_cast<int>(uResult);
        return true;
    }));
}

bool CQRVIni::getProfileString(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                               CQRVWCharString& szValue)
{
    QRV_TRACE(L"CQRVIni", L"getProfileString");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        CQRVBuffer<unsigned short> buffer(kStringBufferChars);
        wchar_t* pText = reinterpret_cast<wchar_t*>(buffer.m_pBuffer);
        ::SetLastError(ERROR_SUCCESS);
        const DWORD dwCount = ::GetPrivateProfileStringW(textOrEmpty(szSection), textOrEmpty(szKeyName), kNotFound,
                                                         pText, kStringBufferChars, textOrEmpty(m_szFileName));
        // nSize - 1 is what the function returns for a value it had to cut; nSize - 2
        // is its answer for a cut list. Both are read as "cut". An empty value is refused:
        // the string has no empty form.
        if (dwCount == kStringBufferChars - 1 || dwCount == kStringBufferChars - 2)
            return qrvFail(ERROR_MORE_DATA);
        if (std::wcscmp(pText, kNotFound) == 0)
            return qrvFail(notFoundCode());
        if (dwCount == 0)
            return qrvFail(ERROR_INVALID_DATA);
        szValue = pText;
        return true;
    }));
}

bool CQRVIni::setProfileString(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                               const CQRVWCharString& szValue)
{
    QRV_TRACE(L"CQRVIni", L"setProfileString");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        writeEntry(szSection, szKeyName, szValue);
        return true;
    }));
}

bool CQRVIni::setProfileInt(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                            int nValue)
{
    QRV_TRACE(L"CQRVIni", L"setProfileInt");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        const CQRVWCharString szValue(static_cast<long>(nValue));
        // This operation has no catch of its own for library failures: a failed write
        // is recorded by its failure class and then once more as unhandled.
        const bool bWritten = qrvAbsorb(false, QRV_HERE, [&] {
            writeEntry(szSection, szKeyName, szValue);
            return true;
        });
        if (!bWritten)
            qrvLogUnhandled(QRV_HERE, QRVErrorSource::LastError);
        return bWritten;
    }));
}

bool CQRVIni::setProfileSection(const CQRVWCharString& szSection, const StringList& lstEntries)
{
    QRV_TRACE(L"CQRVIni", L"setProfileSection");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        if (szSection.getLength() == 0)
            throw CQRVBadArgException(L"szSection", L"section name must not be empty", QRV_HERE);
        // WritePrivateProfileSectionW takes the lines as one block: each "key=value"
        // with its NUL, and one more NUL at the end. An empty list would delete the
        // section, so it writes nothing.
        const unsigned long ulEntries = entriesUnits(lstEntries, 1);
        if (ulEntries == 0)
            return true;
        CQRVBuffer<unsigned short> block(ulEntries + 1);
        copyEntries(block.m_pBuffer, lstEntries, L"", 1);
        if (!::WritePrivateProfileSectionW(textOrEmpty(szSection), reinterpret_cast<const wchar_t*>(block.m_pBuffer),
                                           textOrEmpty(m_szFileName)))
            throw CQRVWritePrivateProfileSectionException(textOrNull(szSection), static_cast<int>(::GetLastError()),
                                                          QRV_HERE);
        return true;
    }));
}

bool CQRVIni::appendProfileSection(const CQRVWCharString& szSection, const StringList& lstEntries)
{
    QRV_TRACE(L"CQRVIni", L"appendProfileSection");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        if (szSection.getLength() == 0)
            throw CQRVBadArgException(L"szSection", L"section name must not be empty", QRV_HERE);
        // The lines as the profile functions lay out a new section at the end of a
        // file: "[section]", then each "key=value", each line ended by CR LF.
        const unsigned long ulSection = szSection.getLength();
        const unsigned long ulUnits = ulSection + 4 + entriesUnits(lstEntries, 2);
        CQRVBuffer<unsigned short> block(ulUnits);
        unsigned short* p = block.m_pBuffer;
        *p++ = L'[';
        std::memcpy(p, szSection.getBuffer(), ulSection * 2);
        p += ulSection;
        *p++ = L']';
        *p++ = L'\r';
        *p++ = L'\n';
        copyEntries(p, lstEntries, L"\r\n", 2);

        qrv_detail::UniqueFile file(::CreateFileW(textOrEmpty(m_szFileName), FILE_APPEND_DATA, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            throw CQRVWritePrivateProfileSectionException(textOrNull(szSection), static_cast<int>(::GetLastError()),
                                                          QRV_HERE);
        const DWORD dwBytes = static_cast<DWORD>(ulUnits * 2);
        DWORD dwWritten = 0;
        const bool bWritten =
            ::WriteFile(file.get(), block.m_pBuffer, dwBytes, &dwWritten, nullptr) && dwWritten == dwBytes;
        const DWORD dwError = ::GetLastError();
        file.reset();
        if (!bWritten)
            throw CQRVWritePrivateProfileSectionException(textOrNull(szSection), static_cast<int>(dwError), QRV_HERE);
        return true;
    }));
}

bool CQRVIni::createUnicodeFile()
{
    QRV_TRACE(L"CQRVIni", L"createUnicodeFile");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        // CREATE_NEW: an existing file, whatever its encoding, is never touched.
        qrv_detail::UniqueFile file(::CreateFileW(textOrEmpty(m_szFileName), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        static const unsigned char kByteOrderMark[] = { 0xFF, 0xFE };
        DWORD dwWritten = 0;
        const bool bWritten = ::WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &dwWritten, nullptr)
                              && dwWritten == sizeof(kByteOrderMark);
        const DWORD dwError = ::GetLastError();
        file.reset(); // closed before the delete below
        if (!bWritten) {
            // A file without its mark would be read as ANSI: none is better.
            ::DeleteFileW(textOrEmpty(m_szFileName));
            throw CQRVLogException1(L"Unable to write the byte-order mark of a new profile file.",
                                    static_cast<int>(dwError), RESULT_ERROR_CODE, L"CQRVIni", L"createUnicodeFile",
                                    QRV_HERE);
        }
        return true;
    }));
}

bool CQRVIni::readList(const CQRVWCharString* pSection, StringList& lstOut) const
{
    // The functions answer a list that does not fit with size - 2 and a cut copy, so
    // the buffer doubles until the whole list fits: a section or a file of any size
    // is read whole.
    DWORD dwSize = kListBufferChars;
    CQRVBuffer<unsigned short> buffer(dwSize);
    DWORD dwCount = 0;
    for (;;) {
        wchar_t* pText = reinterpret_cast<wchar_t*>(buffer.m_pBuffer);
        ::SetLastError(ERROR_SUCCESS);
        dwCount = pSection
            ? ::GetPrivateProfileSectionW(textOrEmpty(*pSection), pText, dwSize, textOrEmpty(m_szFileName))
            : ::GetPrivateProfileSectionNamesW(pText, dwSize, textOrEmpty(m_szFileName));
        if (dwCount != dwSize - 2 || dwSize > kListBufferLimit / 2)
            break;
        dwSize *= 2;
        if (!buffer.allocate(dwSize))
            throw CQRVBufferInitException(QRV_HERE);
    }
    if (dwCount == 0)
        return qrvFail(notFoundCode());
    if (dwCount == dwSize - 2)
        return qrvFail(ERROR_MORE_DATA);

    lstOut.clear();
    // The list is NUL-separated; the count stops before the final terminator. The
    // buffer was zero-filled, so the last entry is terminated even at the limit.
    const wchar_t* pText = reinterpret_cast<const wchar_t*>(buffer.m_pBuffer);
    DWORD dwStart = 0;
    for (DWORD i = 0; i <= dwCount && i < dwSize; ++i) {
        if (pText[i] != L'\0')
            continue;
        if (i > dwStart) {
            const CQRVWCharString szEntry(pText + dwStart);
            lstOut.add(szEntry, 0);
        }
        dwStart = i + 1;
    }
    return lstOut.m_ulCount > 0;
}

bool CQRVIni::getProfileSection(const CQRVWCharString& szSection, StringList& lstEntries)
{
    QRV_TRACE(L"CQRVIni", L"getProfileSection");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] { return readList(&szSection, lstEntries); }));
}

bool CQRVIni::getProfileSectionNames(StringList& lstSectionNames)
{
    QRV_TRACE(L"CQRVIni", L"getProfileSectionNames");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] { return readList(nullptr, lstSectionNames); }));
}
