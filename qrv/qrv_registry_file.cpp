// CQRVRegistryFile: the registry text file (writer and reader), and the hive form of
// the key's export and import.
#include "qrv_registry_file.h"

#include "internal/qrv_profile_path.h"
#include "internal/qrv_registry_detail.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_dbllist.h"
#include "qrv_directory.h"
#include "qrv_ini.h"
#include "qrv_protocol.h"
#include "qrv_registry_binary.h"
#include "qrv_registry_dword.h"
#include "qrv_registry_expand.h"
#include "qrv_registry_key.h"
#include "qrv_registry_multi_string.h"
#include "qrv_registry_string.h"
#include "qrv_windowsprocess.h"

#include <set>
#include <string>
#include <vector>

namespace {

const REGSAM kReadAccess = KEY_READ;                 // 0x20019
const REGSAM kImportAccess = KEY_READ | KEY_WRITE;   // 0x2001F

using qrv_detail::KeyCloser;
using qrv_detail::LentKey;
using qrv_detail::UniqueRegKey;
using qrv_detail::textOrNull;
using qrv_detail::textOrEmpty;

// The five predefined roots the format names. Every other handle is written as
// HKEY_CURRENT_USER; every other name is read as HKEY_LOCAL_MACHINE.
struct RootName {
    HKEY hRoot;
    const wchar_t* pName;
};
const RootName kRoots[] = {
    { HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT" },
    { HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE" },
    { HKEY_USERS, L"HKEY_USERS" },
    { HKEY_CURRENT_CONFIG, L"HKEY_CURRENT_CONFIG" },
    { HKEY_CURRENT_USER, L"HKEY_CURRENT_USER" },
};
const size_t kRootCount = sizeof(kRoots) / sizeof(kRoots[0]);

const wchar_t* rootNameOf(HKEY hRoot)
{
    for (size_t i = 0; i < kRootCount; ++i)
        if (kRoots[i].hRoot == hRoot)
            return kRoots[i].pName;
    return L"HKEY_CURRENT_USER";
}

HKEY rootOfName(const CQRVWCharString& szName)
{
    for (size_t i = 0; i < kRootCount; ++i)
        if (szName == CQRVWCharString(kRoots[i].pName))
            return kRoots[i].hRoot;
    return HKEY_LOCAL_MACHINE;
}

// "HKEY_LOCAL_MACHINE\" + path, without doubling a backslash the path starts with.
CQRVWCharString sectionNameOf(HKEY hRoot, const CQRVWCharString& szKeyPath)
{
    CQRVWCharString szSection(rootNameOf(hRoot));
    if (!szKeyPath.beginsWith(CQRVWCharString(L"\\")))
        szSection += CQRVWCharString(L"\\");
    szSection += szKeyPath;
    return szSection;
}

// Every unit of the array (terminator included) as a dump: a string's dump.
CQRVWCharString dumpOf(const CQRVBuffer<unsigned short>& units)
{
    CQRVWCharString szUnits;
    // Assigned as a plain buffer: a string assignment would stop at the first 0 unit.
    static_cast<CQRVBuffer<unsigned short>&>(szUnits) = units;
    return szUnits.getAsciiCodeString();
}

bool isHexUnit(unsigned short u)
{
    return (u >= L'0' && u <= L'9') || (u >= L'A' && u <= L'F') || (u >= L'a' && u <= L'f');
}

// A dump as the writer makes it: pairs of hexadecimal digits, one separator unit
// between pairs, nothing at the ends. An empty dump is well-formed.
bool isWellFormedDump(const CQRVWCharString& szDump)
{
    const unsigned long n = szDump.getLength();
    if (n == 0)
        return true;
    if (n % 3 != 2)
        return false;
    const unsigned short* p = szDump.getBuffer();
    for (unsigned long i = 0; i < n; i += 3)
        if (!isHexUnit(p[i]) || !isHexUnit(p[i + 1]))
            return false;
    return true;
}

// Bytes of a well-formed dump, exactly as many as it holds pairs (a padded dump from
// an older file keeps its padding byte); false for any other text.
bool decodeDump(const CQRVWCharString& szDump, CQRVBuffer<unsigned char>& bytes)
{
    if (!isWellFormedDump(szDump))
        return false;
    if (szDump.getLength() == 0) {
        bytes.allocate(0);
        return true;
    }
    bytes = szDump.getBufferFromAsciiCodeString();
    return bytes.m_ulNumElems == (szDump.getLength() + 1) / 3;
}

// One "name=KEYWORD:data" line taken apart; false when the line has no '=', no ':'
// after the first '=', an empty name or an empty keyword.
bool splitEntry(const CQRVWCharString& szLine, CQRVWCharString& szName, CQRVWCharString& szKeyword,
                CQRVWCharString& szData)
{
    unsigned long ulEquals = 0;
    unsigned long ulColon = 0;
    if (!szLine.findOccurrance(CQRVWCharString(L"="), 1, pmFromStart, ulEquals)
        || !szLine.findOccurrance(CQRVWCharString(L":"), 1, pmFromStart, ulColon))
        return false;
    // A nameless entry would land in the key's default value, which the writer never
    // exports; a keyword needs at least one unit between '=' and ':'.
    if (ulEquals == 0 || ulColon <= ulEquals + 1)
        return false;
    szName = szLine.withoutLast(szLine.getLength() - ulEquals);
    if (!szLine.extractRange(szKeyword, ulEquals + 1, ulColon - 1, true, true))
        return false;
    szData = szLine.withoutFirst(ulColon + 1);
    return szName.isValid() && szKeyword.isValid();
}

// Data of a quoted string entry without its quotes; false when it is not quoted.
bool unquote(const CQRVWCharString& szData, CQRVWCharString& szText)
{
    const unsigned long n = szData.getLength();
    if (n < 2 || szData.getBuffer()[0] != L'"' || szData.getBuffer()[n - 1] != L'"')
        return false;
    szText = szData;
    szText.removeFirst(1);
    szText.removeLast(1);
    return true;
}

// Units the profile functions trim from either end of a key name (Windows and Wine
// differ a little; every blank either may trim is counted).
bool isBlank(unsigned short u)
{
    return u <= 0x20 || u == 0x7F || u == 0x85 || u == 0xA0 || u == 0x1680 || (u >= 0x2000 && u <= 0x200B)
           || u == 0x2028 || u == 0x2029 || u == 0x202F || u == 0x205F || u == 0x3000 || u == 0xFEFF;
}

bool hasLineBreak(const CQRVWCharString& szText)
{
    const unsigned short* p = szText.getBuffer();
    const unsigned long n = szText.getLength();
    for (unsigned long i = 0; i < n; ++i)
        if (p[i] == L'\r' || p[i] == L'\n')
            return true;
    return false;
}

// A value name that reads back as itself from a "name=..." line: no line break, no
// '=' (the line's split) or ':' (the keyword's end), no '[' or ';' first (a section
// header or a comment), no blanks at either end (trimmed).
bool isCarriedName(const CQRVWCharString& szName)
{
    const unsigned long n = szName.getLength();
    if (n == 0)
        return false;
    const unsigned short* p = szName.getBuffer();
    if (p[0] == L'[' || p[0] == L';' || isBlank(p[0]) || isBlank(p[n - 1]))
        return false;
    for (unsigned long i = 0; i < n; ++i)
        if (p[i] == L'=' || p[i] == L':' || p[i] == L'\r' || p[i] == L'\n')
            return false;
    return true;
}

// A section name that reads back as itself from its "[...]" line: no line break (the
// rest would be a line of its own, even another section's header), no blanks at the
// end (trimmed). It always begins with a root name.
bool isCarriedSection(const CQRVWCharString& szSection)
{
    const unsigned long n = szSection.getLength();
    return n > 0 && !hasLineBreak(szSection) && !isBlank(szSection.getBuffer()[n - 1]);
}

// The bytes' dump, exactly as many pairs as bytes: the units' dump of an odd count
// ends with the padding byte's " 00", which is cut off.
CQRVWCharString bytesDumpOf(const CQRVBuffer<unsigned char>& bytes)
{
    CQRVWCharString szDump = dumpOf(bytes.toWideBuffer());
    if (bytes.m_ulNumElems % 2 != 0)
        szDump.removeLast(3);
    return szDump;
}

// One key as the export reads it, through one handle: its named values as the key's
// bulk query gives them (enumeration order, the unnamed default value left out, each
// with its type and exact data) and its sub-key names in enumeration order. Per key
// that is one open, one info query (counts, longest names and data), one call per
// value and per sub-key, and one close, where the key's public operations open and
// close it for each step and query every value twice. A key that cannot be opened
// has neither (and no record, as for those operations). A failed enumeration is
// recorded as the key's own enumerations record it: a value enumeration's failure
// leaves the key without values, a sub-key enumeration's ends the list where it failed.
void readKey(HKEY hRoot, const CQRVWCharString& szKeyPath, CQRVRegistryValentList& lstValents,
             CQRVRegStringList& lstSubKeys)
{
    UniqueRegKey hKey;
    if (::RegOpenKeyExW(hRoot, textOrEmpty(szKeyPath), 0, kReadAccess, hKey.put()) != ERROR_SUCCESS)
        return;
    DWORD dwSubKeys = 0;
    DWORD dwMaxSubKey = 0;
    DWORD dwValues = 0;
    DWORD dwMaxName = 0;
    DWORD dwMaxData = 0;
    const bool bInfo = qrvAbsorb(false, QRV_HERE, [&] {
        const LONG lResult = ::RegQueryInfoKeyW(hKey.get(), nullptr, nullptr, nullptr, &dwSubKeys, &dwMaxSubKey,
                                                nullptr, &dwValues, &dwMaxName, &dwMaxData, nullptr, nullptr);
        if (lResult != ERROR_SUCCESS)
            throw CQRVRegQueryInfoKeyException(textOrNull(szKeyPath), static_cast<int>(lResult), QRV_HERE);
        return true;
    });
    if (!bInfo)
        return;

    const bool bValues = qrvAbsorb(false, QRV_HERE, [&] {
        CQRVBuffer<unsigned short> bufName(dwMaxName + 1);
        CQRVBuffer<unsigned char> bufData(dwMaxData + 1);
        long lTag = 0;
        for (DWORD dwIndex = 0; dwIndex < dwValues; ++dwIndex) {
            DWORD dwNameChars = dwMaxName + 1;
            DWORD dwDataBytes = dwMaxData + 1;
            DWORD dwType = 0;
            const LONG lResult = ::RegEnumValueW(hKey.get(), dwIndex, reinterpret_cast<wchar_t*>(bufName.m_pBuffer),
                                                 &dwNameChars, nullptr, &dwType, bufData.m_pBuffer, &dwDataBytes);
            if (lResult == ERROR_NO_MORE_ITEMS)
                break;
            if (lResult != ERROR_SUCCESS)
                throw CQRVRegEnumValueException(textOrNull(szKeyPath), static_cast<int>(lResult), L"CQRVRegistrykey",
                                                L"enumValueNames", QRV_HERE);
            if (bufName.m_pBuffer[0] == 0)
                continue;
            VALENTW entry;
            entry.ve_valuename = reinterpret_cast<wchar_t*>(bufName.m_pBuffer);
            entry.ve_valuelen = dwDataBytes;
            entry.ve_valueptr = reinterpret_cast<DWORD_PTR>(bufData.m_pBuffer);
            entry.ve_type = dwType;
            lstValents.add(CQRVRegistryValent(&entry), lTag++);
        }
        return true;
    });
    if (!bValues)
        lstValents.clear();

    qrvAbsorb(false, QRV_HERE, [&] {
        CQRVBuffer<unsigned short> bufName(dwMaxSubKey + 1);
        for (DWORD dwIndex = 0; dwIndex < dwSubKeys; ++dwIndex) {
            DWORD dwNameChars = dwMaxSubKey + 1;
            const LONG lResult = ::RegEnumKeyExW(hKey.get(), dwIndex, reinterpret_cast<wchar_t*>(bufName.m_pBuffer),
                                                 &dwNameChars, nullptr, nullptr, nullptr, nullptr);
            if (lResult == ERROR_NO_MORE_ITEMS)
                break;
            if (lResult != ERROR_SUCCESS)
                throw CQRVRegEnumKeyException(textOrNull(szKeyPath), static_cast<int>(lResult), L"CQRVRegistrykey",
                                              L"enumSubKeys", QRV_HERE);
            const CQRVWCharString szName(reinterpret_cast<const wchar_t*>(bufName.m_pBuffer));
            if (szName.getLength() == 0)
                break;
            lstSubKeys.add(szName, static_cast<long>(dwIndex + 1));
        }
        return true;
    });
}

// ---- files read in one go -------------------------------------------------------------

// A section of a plain file: its name and its "name=text" lines in file order.
struct PlainSection {
    CQRVWCharString szName;
    CQRVIni::StringList lstEntries;
};

// Files above this size go through the profile functions.
const LONGLONG kPlainFileLimit = 64LL * 1024 * 1024;

// A name whose case-insensitive equality with another is plain: printable ASCII only,
// no blank at either end. (Beyond ASCII the profile functions' case rules differ
// between systems, so such a name sends the file to them.)
bool isPlainName(const unsigned short* p, size_t n)
{
    if (n == 0 || p[0] == L' ' || p[n - 1] == L' ')
        return false;
    for (size_t i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E)
            return false;
    return true;
}

// The name folded for a case-insensitive comparison of plain names.
std::wstring foldedName(const unsigned short* p, size_t n)
{
    std::wstring out(n, L' ');
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<wchar_t>(p[i] >= L'A' && p[i] <= L'Z' ? p[i] + (L'a' - L'A') : p[i]);
    return out;
}

// Reads a file in the plain form the export writes (UTF-16LE with its byte-order
// mark; "[name]" lines, each followed by at least one "name=text" line; every line
// ended by CR LF) in one read, giving the sections and lines that the profile
// functions give for it, one call per section. Only files where that is plain are
// read here: section and entry names of printable ASCII without blanks at their ends
// and unique (case-insensitively) in their scope; entry texts without blanks at their
// ends and not opening with a quote; no control character, comment, blank, '='-less
// or stray bracket line. For any other file (an older ANSI file, one merged by the
// profile functions, a malformed or missing one) false: the caller goes through the
// profile functions, which decide.
bool readPlainFile(const CQRVWCharString& szFileName, std::vector<PlainSection>& sections)
{
    qrv_detail::UniqueFile hFile(::CreateFileW(textOrEmpty(szFileName), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!hFile.valid() || !::GetFileSizeEx(hFile.get(), &size) || size.QuadPart < 2 || size.QuadPart % 2 != 0
        || size.QuadPart > kPlainFileLimit)
        return false;
    std::vector<unsigned short> units(static_cast<size_t>(size.QuadPart / 2));
    const DWORD dwBytes = static_cast<DWORD>(size.QuadPart);
    DWORD dwRead = 0;
    if (!::ReadFile(hFile.get(), units.data(), dwBytes, &dwRead, nullptr) || dwRead != dwBytes || units[0] != 0xFEFF)
        return false;

    std::set<std::wstring> sectionNames;
    std::set<std::wstring> entryNames;
    const size_t n = units.size();
    for (size_t i = 1; i < n;) {
        size_t end = i;
        while (end < n && units[end] >= 0x20)
            ++end;
        if (end + 1 >= n || units[end] != L'\r' || units[end + 1] != L'\n' || end == i)
            return false;
        const unsigned short* p = &units[i];
        const size_t len = end - i;
        i = end + 2;
        if (p[0] == L'[') {
            // A header: "[" name "]", the name without brackets of its own.
            if (len < 3 || p[len - 1] != L']' || !isPlainName(p + 1, len - 2))
                return false;
            for (size_t k = 1; k + 1 < len; ++k)
                if (p[k] == L'[' || p[k] == L']')
                    return false;
            if ((!sections.empty() && sections.back().lstEntries.m_ulCount == 0)
                || !sectionNames.insert(foldedName(p + 1, len - 2)).second)
                return false;
            sections.emplace_back();
            sections.back().szName = CQRVWCharString(std::wstring(p + 1, p + len - 1).c_str());
            entryNames.clear();
            continue;
        }
        // An entry: name "=" text.
        size_t eq = 0;
        while (eq < len && p[eq] != L'=')
            ++eq;
        if (sections.empty() || p[0] == L';' || eq == len || !isPlainName(p, eq) || eq + 1 == len
            || isBlank(p[eq + 1]) || isBlank(p[len - 1]) || p[eq + 1] == L'"' || p[eq + 1] == L'\''
            || !entryNames.insert(foldedName(p, eq)).second)
            return false;
        sections.back().lstEntries.add(CQRVWCharString(std::wstring(p, p + len).c_str()), 0);
    }
    return !sections.empty() && sections.back().lstEntries.m_ulCount > 0;
}

// The frame of the hive forms: enable szPrivilege for this process (it stays enabled),
// then run call() on the key, opened for it and closed afterwards. False when the
// privilege or the key cannot be had.
template <typename Call>
bool onPrivilegedKey(CQRVRegistryKey& key, const wchar_t* szPrivilege, Call call)
{
    HANDLE hToken = nullptr;
    if (!CQRVWindowsProcess().setPrivilege(CQRVWCharString(szPrivilege), true, &hToken))
        return false;
    return qrv_detail::withOpenKey(key, call);
}

} // namespace

// A key's entries in file order, each "name=KEYWORD:data", as its section holds them.
// add(name, entry text, whether the text can be carried) takes one value: its entry
// is kept only when the file can carry both name and text; every other value is left
// out with a warning that names key and value, and the walk goes on.
class CQRVRegistryFile::SectionEntries {
public:
    explicit SectionEntries(const CQRVWCharString& szSection) : m_szSection(szSection), m_lTag(0) {}

    void add(const CQRVWCharString& szName, const CQRVWCharString& szEntryText, bool bTextCarried)
    {
        if (!bTextCarried || !isCarriedName(szName)) {
            qrvNote<CQRVRegValueNotExportedWarning>(textOrNull(m_szSection), textOrNull(szName),
                                                    L"CQRVRegistryFile", L"save", QRV_HERE);
            return;
        }
        m_lstLines.add(szName + CQRVWCharString(L"=") + szEntryText, m_lTag);
        m_lstNames.add(szName, m_lTag);
        m_lstTexts.add(szEntryText, m_lTag);
        ++m_lTag;
    }

    const CQRVWCharString& section() const { return m_szSection; }
    const CQRVIni::StringList& lines() const { return m_lstLines; }
    const CQRVIni::StringList& names() const { return m_lstNames; }
    const CQRVIni::StringList& texts() const { return m_lstTexts; }
    bool empty() const { return m_lTag == 0; }

private:
    CQRVWCharString m_szSection;
    CQRVIni::StringList m_lstLines;
    CQRVIni::StringList m_lstNames;
    CQRVIni::StringList m_lstTexts;
    long m_lTag;
};

// One value's entry text in the file's form, handed to the section with whether its
// text can be carried (string data must not hold a line break).
void CQRVRegistryFile::addEntry(SectionEntries& entries, const CQRVRegistryValent& valent)
{
    const CQRVWCharString szQuote(L"\"");
    switch (valent.m_dwType) {
    case REG_DWORD: {
        const CQRVRegistryDwordValue record = qrv_detail::dwordRecord(valent);
        entries.add(record.m_szName, CQRVWCharString(L"REG_DWORD:") + CQRVWCharString(record.m_dwValue, nsHex, 8, true),
                    true);
        break;
    }
    case REG_SZ:
    case REG_EXPAND_SZ: {
        // String data is written unescaped between quotes: only a line break would
        // change what is read back.
        const CQRVRegistryStringValue record = qrv_detail::stringRecord(valent);
        const CQRVWCharString szKeyword(valent.m_dwType == REG_SZ ? L"REG_SZ:" : L"REG_SZ_EXPAND:");
        entries.add(record.m_szName, szKeyword + szQuote + record.m_szValue + szQuote, !hasLineBreak(record.m_szValue));
        break;
    }
    case REG_MULTI_SZ: {
        CQRVRegStringList lstStrings;
        CQRVRegistryMultiString::decode(valent.m_bufData, lstStrings);
        const CQRVWCharString szPrefix(L"REG_SZ_MULTI:");
        CQRVWCharString szText(szPrefix);
        for (const CQRVObjNode<CQRVWCharString>* pNode = lstStrings.m_pHead; pNode; pNode = pNode->m_pNext) {
            // No ',' while nothing follows the prefix, so a leading empty string (an
            // empty dump) does not start the data with a ','.
            if (!szText.endsWith(szPrefix))
                szText += CQRVWCharString(L",");
            szText += dumpOf(pNode->m_object);
        }
        entries.add(valent.m_szValueName, szText, true);
        break;
    }
    case REG_BINARY:
        entries.add(valent.m_szValueName, CQRVWCharString(L"REG_BINARY:") + bytesDumpOf(valent.m_bufData), true);
        break;
    default:
        break; // other types are not part of the format
    }
}

// The name is resolved once, as CQRVIni resolves it: the fast reader, the writer of
// new files and the profile functions all reach the same file.
CQRVRegistryFile::CQRVRegistryFile(const CQRVWCharString& szFileName)
    : m_szFileName(qrv_detail::profileFilePath(szFileName))
{
}

CQRVRegistryFile::~CQRVRegistryFile()
{
}

// ---- the writer --------------------------------------------------------------------

bool CQRVRegistryFile::save(HKEY hRoot, const CQRVWCharString& szKeyPath, bool bOverwrite)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (bOverwrite)
            ::DeleteFileW(textOrEmpty(m_szFileName));

        // The profile functions do not make folders; a missing one is created here,
        // and whether that worked shows in the entries' own write failures.
        CQRVWCharString szFolder(m_szFileName);
        if (szFolder.contains(CQRVWCharString(L"\\"))
            && szFolder.truncateAt(CQRVWCharString(L"\\"), 1, pmFromEnd, true)) {
            CQRVDirectory folder(szFolder);
            if (!folder.isValidDirectory())
                folder.createDirectory();
        }

        // A file this export makes is its own: it is created as UTF-16 (with the
        // byte-order mark) before its first section, and each key's section is
        // appended with one write, so the export takes time in proportion to the tree
        // (a profile function rewrites the whole file for each call). Into a file that
        // was there already the entries are merged one by one through the profile
        // functions, each replacing an entry of the same name; its encoding is kept.
        // Both ways give the same bytes.
        const DWORD dwAttributes = ::GetFileAttributesW(textOrEmpty(m_szFileName));
        ExportTarget target;
        target.bOwnFile = dwAttributes == INVALID_FILE_ATTRIBUTES;
        target.bCreated = false;
        return saveKey(hRoot, szKeyPath, target);
    });
}

void CQRVRegistryFile::writeSection(const SectionEntries& entries, ExportTarget& target)
{
    CQRVIni ini(m_szFileName);
    if (target.bOwnFile) {
        if (!target.bCreated) {
            // Someone else's file appearing meanwhile is merged into, not replaced.
            target.bCreated = ini.createUnicodeFile();
            target.bOwnFile = target.bCreated;
        }
        if (target.bOwnFile) {
            ini.appendProfileSection(entries.section(), entries.lines());
            return;
        }
    }
    const CQRVObjNode<CQRVWCharString>* pText = entries.texts().m_pHead;
    for (const CQRVObjNode<CQRVWCharString>* pName = entries.names().m_pHead; pName && pText;
         pName = pName->m_pNext, pText = pText->m_pNext)
        ini.setProfileString(entries.section(), pName->m_object, pText->m_object);
}

// Invariant: no entry is written that would import as something else. Values whose
// name or text the file cannot carry, and keys whose section name it cannot carry,
// are left out with a warning each, and the walk goes on.
bool CQRVRegistryFile::saveKey(HKEY hRoot, const CQRVWCharString& szKeyPath, ExportTarget& target)
{
    CQRVRegistryValentList lstValents;
    CQRVRegStringList lstSubKeys;
    const bool bThisKey = qrvAbsorb(false, QRV_HERE, [&] {
        SectionEntries entries(sectionNameOf(hRoot, szKeyPath));
        // The entries go out by type (DWORD, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ,
        // REG_BINARY), each group in the bulk query's order: what the five bulk
        // collectors give, from one read of the key.
        readKey(hRoot, szKeyPath, lstValents, lstSubKeys);
        static const DWORD kTypeOrder[] = { REG_DWORD, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY };
        for (DWORD dwType : kTypeOrder)
            for (const CQRVObjNode<CQRVRegistryValent>* pNode = lstValents.m_pHead; pNode; pNode = pNode->m_pNext)
                if (pNode->m_object.m_dwType == dwType)
                    addEntry(entries, pNode->m_object);

        if (entries.empty())
            return true;
        if (!isCarriedSection(entries.section())) {
            qrvNote<CQRVRegKeyNotExportedWarning>(textOrNull(entries.section()), L"CQRVRegistryFile", L"save",
                                                  QRV_HERE);
            return true;
        }
        writeSection(entries, target);
        return true;
    });

    // The sub-keys are walked even when this key's own values failed.
    bool bResult = bThisKey;
    for (bool bMore = lstSubKeys.moveFirst(); bMore; bMore = lstSubKeys.moveNext()) {
        CQRVWCharString szName;
        if (!lstSubKeys.getCurrent(szName))
            continue;
        const CQRVWCharString szSubPath = szKeyPath + CQRVWCharString(L"\\") + szName;
        bResult = saveKey(hRoot, szSubPath, target) && bResult;
    }
    return bResult;
}

// ---- the reader --------------------------------------------------------------------

bool CQRVRegistryFile::load()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        // A file in the export's plain form is read in one go; any other through the
        // profile functions, one call per section. Both give the same sections and
        // lines for a plain file.
        std::vector<PlainSection> plain;
        if (readPlainFile(m_szFileName, plain)) {
            for (const PlainSection& section : plain)
                loadSection(section.szName, &section.lstEntries);
            return true;
        }
        CQRVIni::StringList lstSections;
        CQRVIni ini(m_szFileName);
        // A missing or unreadable file reads as one without sections.
        if (!ini.getProfileSectionNames(lstSections))
            return true;
        for (bool bMore = lstSections.moveFirst(); bMore; bMore = lstSections.moveNext()) {
            CQRVWCharString szSection;
            if (lstSections.getCurrent(szSection))
                loadSection(szSection, nullptr);
        }
        return true;
    });
}

void CQRVRegistryFile::loadSection(const CQRVWCharString& szSection, const CQRVIni::StringList* pEntries)
{
    // The root is the text before the first backslash; a section without one is a
    // key of that name right below HKEY_LOCAL_MACHINE.
    HKEY hRoot = HKEY_LOCAL_MACHINE;
    CQRVWCharString szKeyPath(szSection);
    CQRVWCharString szRootName;
    if (szSection.getSubString(szRootName, CQRVWCharString(L"\\"), 1, pmFromStart, false)) {
        hRoot = rootOfName(szRootName);
        szKeyPath = szSection.withoutFirst(szRootName.getLength() + 1);
    }

    // The key is opened (created when missing) once for the section, and each value
    // object writes through its handle: one registry call per value. The values are
    // still written by their own classes, which check and record exactly as before.
    CQRVRegistryKey key(hRoot, szKeyPath, kImportAccess, true, 0);
    qrv_detail::openCreating(key);
    KeyCloser closer(key);

    CQRVIni::StringList lstEntries;
    if (pEntries)
        lstEntries = *pEntries;
    else if (!CQRVIni(m_szFileName).getProfileSection(szSection, lstEntries))
        return;

    for (bool bMore = lstEntries.moveFirst(); bMore; bMore = lstEntries.moveNext()) {
        CQRVWCharString szLine;
        CQRVWCharString szName;
        CQRVWCharString szKeyword;
        CQRVWCharString szData;
        if (!lstEntries.getCurrent(szLine) || !splitEntry(szLine, szName, szKeyword, szData))
            continue;

        if (szKeyword == CQRVWCharString(L"REG_DWORD")) {
            unsigned long ulValue = 0;
            CQRVWCharString szNumber(szData);
            szNumber.trim(L' ', CQRVFlags(trLeading | trTrailing), CQRVFlags(kQRVAllWhitespace));
            // Blank data would convert to 0; only digits make a value.
            if (szNumber.getLength() == 0 || !szData.toNumber(ulValue, nsHex))
                continue;
            CQRVRegistryDword value(hRoot, szKeyPath, szName, kImportAccess, true, 0);
            LentKey loan(value, key);
            value.setValue(static_cast<DWORD>(ulValue), false);
        } else if (szKeyword == CQRVWCharString(L"REG_SZ")) {
            CQRVWCharString szText;
            if (!unquote(szData, szText))
                continue;
            CQRVRegistryString value(hRoot, szKeyPath, szName, kImportAccess, true, 0);
            LentKey loan(value, key);
            value.setValue(szText, false);
        } else if (szKeyword == CQRVWCharString(L"REG_SZ_EXPAND")) {
            CQRVWCharString szText;
            if (!unquote(szData, szText))
                continue;
            // Refused (and logged) by the value unless it holds an even, non-zero
            // number of '%'.
            CQRVRegistryStringExpand value(hRoot, szKeyPath, szName, kImportAccess, true, 0);
            LentKey loan(value, key);
            value.setValue(szText, false);
        } else if (szKeyword == CQRVWCharString(L"REG_BINARY")) {
            CQRVBuffer<unsigned char> bytes;
            if (!decodeDump(szData, bytes))
                continue;
            CQRVRegistryBinary value(hRoot, szKeyPath, szName, kImportAccess, true, 0);
            LentKey loan(value, key);
            value.setValue(bytes, false);
        } else if (szKeyword == CQRVWCharString(L"REG_SZ_MULTI")) {
            CQRVRegStringList lstStrings;
            bool bWellFormed = true;
            if (szData.isValid()) {
                CQRVRegStringList lstDumps;
                szData.split(lstDumps, CQRVWCharString(L","), fmSeparated, CQRVFlags(0), CQRVFlags(0));
                long lTag = 0;
                for (bool bDump = lstDumps.moveFirst(); bDump && bWellFormed; bDump = lstDumps.moveNext()) {
                    CQRVWCharString szDump;
                    CQRVBuffer<unsigned char> bytes;
                    lstDumps.getCurrent(szDump);
                    bWellFormed = decodeDump(szDump, bytes);
                    // Read as UTF-16LE units; the string adds a terminator when missing.
                    const CQRVWCharString szString(bytes.toWideBuffer());
                    lstStrings.add(szString, lTag++);
                }
            }
            if (!bWellFormed)
                continue;
            CQRVRegistryMultiString value(hRoot, szKeyPath, szName, kImportAccess, true, 0);
            LentKey loan(value, key);
            value.setValue(lstStrings, false);
        }
        // Any other keyword is not part of the format and is passed over.
    }
}

// ---- CQRVRegistryKey::exportKey and importKey ----------------------------------------

bool CQRVRegistryFile::exportRegistryKey(CQRVRegistryKey& key, const CQRVWCharString& szExportFileName,
                                         DWORD dwFormat, bool bOverwrite)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!szExportFileName.isValid())
            throw CQRVBadArgException(L"szExportFileName", L"filename must be non-null", QRV_HERE);
        if (dwFormat == kTextFormat) {
            // A key that cannot be read (missing, or no access) is a failure with the
            // registry's code, and no file is touched.
            UniqueRegKey hKey;
            const LONG lOpen = ::RegOpenKeyExW(key.m_hRootKey, textOrEmpty(key.m_szKeyPath), 0, kReadAccess,
                                               hKey.put());
            if (lOpen != ERROR_SUCCESS)
                throw CQRVRegSaveKeyException(textOrNull(key.m_szKeyPath), qrvCode(lOpen), L"CQRVRegistryKey",
                                              L"exportKey", QRV_HERE);
            hKey.reset();
            CQRVRegistryFile file(szExportFileName);
            return file.save(key.m_hRootKey, key.m_szKeyPath, bOverwrite);
        }

        // The hive form. RegSaveKeyW refuses an existing file, so overwriting means
        // deleting it first. The privilege stays enabled afterwards.
        if (bOverwrite)
            ::DeleteFileW(textOrEmpty(szExportFileName));
        return onPrivilegedKey(key, L"SeBackupPrivilege", [&] {
            const LONG lResult = ::RegSaveKeyW(key.m_hKey, textOrEmpty(szExportFileName), nullptr);
            if (lResult != ERROR_SUCCESS)
                throw CQRVRegSaveKeyException(textOrNull(key.m_szKeyPath), qrvCode(lResult),
                                              L"CQRVRegistryKey", L"exportKey", QRV_HERE);
            return true;
        });
    });
}

bool CQRVRegistryFile::importRegistryKey(CQRVRegistryKey& key, const CQRVWCharString& szImportFileName,
                                         DWORD dwFlags)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!szImportFileName.isValid())
            throw CQRVBadArgException(L"szImportFileName", L"filename must be non-null", QRV_HERE);
        // The text file names its own keys; this key's root and path play no part.
        if (dwFlags == kTextFlags) {
            CQRVRegistryFile file(szImportFileName);
            return file.load();
        }

        return onPrivilegedKey(key, L"SeRestorePrivilege", [&] {
            const LONG lResult = ::RegRestoreKeyW(key.m_hKey, textOrEmpty(szImportFileName), dwFlags);
            if (lResult != ERROR_SUCCESS)
                throw CQRVRegRestoreKeyException(textOrNull(key.m_szKeyPath), qrvCode(lResult),
                                                 L"CQRVRegistryKey", L"importKey", QRV_HERE);
            return true;
        });
    });
}
