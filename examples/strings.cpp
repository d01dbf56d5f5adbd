// docs/library.md, "Strings": CQRVWCharString with standard C++ and Win32 text, split
// and replace, the empty text, and the order to use for maps and sorting.
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "example_check.h"
#include "qrv_dbllist.h"
#include "qrv_wchar_string.h"

int main()
{
    // In from std::wstring or const wchar_t*, out as c_str() or str(): no casts.
    const std::wstring strPath = L"C:\\Data\\report.txt";
    CQRVWCharString szPath(strPath);
    CQRVWCharString szFile;
    szPath.getSubString(szFile, L"\\", 1, pmFromEnd, false); // the text after the last '\'
    check(szFile.str() == L"report.txt", "file name");
    check(::lstrlenW(szFile.c_str()) == 10, "c_str() for a Win32 call");

    // Split into a list (keys 0, 1, 2), trimming blanks around each field.
    CQRVWCharString::StringList lstColours;
    CQRVWCharString(L"red, green ,blue")
        .split(lstColours, L",", fmSeparated, CQRVFlags(trLeading | trTrailing), CQRVFlags(kQRVAllWhitespace));
    std::wstring strJoined;
    for (const CQRVWCharString& szColour : lstColours)
        strJoined += szColour.str() + L";";
    check(strJoined == L"red;green;blue;", "split");

    // Replace every occurrence.
    CQRVWCharString szText(L"a-b-c");
    szText.replace(L"-", L" + ", 1, ssmAll);
    check(szText.str() == L"a + b + c", "replace");

    // The empty text has no storage: the string is "not valid", its length 0, its
    // c_str() L"". Most operations on it return false.
    const CQRVWCharString szEmpty(L"");
    check(!szEmpty.isValid() && szEmpty.getLength() == 0 && *szEmpty.c_str() == L'\0', "empty text");

    // The operators < and > order only strings of equal length; between lengths both
    // are true. Maps and sorting take CQRVWCharStringLess: units, then shorter first.
    const CQRVWCharString szAb(L"ab");
    const CQRVWCharString szAbc(L"abc");
    check(szAb < szAbc && szAb > szAbc, "operators across lengths");
    std::map<CQRVWCharString, int, CQRVWCharStringLess> counts;
    counts[L"b"] = 1;
    counts[L"abc"] = 2;
    counts[L"ab"] = 3;
    std::vector<std::wstring> order;
    for (const auto& entry : counts)
        order.push_back(entry.first.str());
    check(order == std::vector<std::wstring>({L"ab", L"abc", L"b"}), "map order");
    return exampleFailures();
}
