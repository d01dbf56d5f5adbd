// docs/library.md, "Lists": CQRVDblList walked by range-for (the cursor stays where
// it is) and by its cursor, with the key each node carries.
#include <string>

#include "example_check.h"
#include "qrv_dbllist.h"
#include "qrv_wchar_string.h"

int main()
{
    CQRVDblList<CQRVObjNode<CQRVWCharString>> lstNames; // each node holds a copy
    lstNames.add(L"alpha", 10);
    lstNames.add(L"beta", 20);
    lstNames.add(L"gamma", 30);
    lstNames.moveFirst();
    lstNames.moveNext(); // the cursor is on "beta"

    // Range-for reads the payloads head to tail and leaves the cursor alone.
    std::wstring strAll;
    for (const CQRVWCharString& szName : lstNames)
        strAll += szName.str() + L" ";
    check(strAll == L"alpha beta gamma ", "range-for");

    // An iterator also gives the node's key; the payload can be changed in place.
    long lKeys = 0;
    for (auto it = lstNames.begin(); it != lstNames.end(); ++it) {
        lKeys += it.key();
        it->toLower();
    }
    check(lKeys == 60, "keys");

    // The cursor: getCurrent copies the payload under it; findKey moves it.
    CQRVWCharString szCurrent;
    check(lstNames.getCurrent(szCurrent) && szCurrent.str() == L"beta", "cursor unmoved");
    check(lstNames.findKey(30) && lstNames.getCurrent(szCurrent) && szCurrent.str() == L"gamma", "findKey");
    check(lstNames.m_ulCount == 3, "count");

    // A pointer list owns the objects it is given and deletes them with itself.
    CQRVDblList<CQRVPtrNode<CQRVWCharString>> lstOwned;
    lstOwned.add(new CQRVWCharString(L"owned"));
    for (CQRVWCharString& szOwned : lstOwned)
        check(szOwned.str() == L"owned", "pointer list");
    return exampleFailures();
}
