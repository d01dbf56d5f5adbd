// CQRVWindowsResource: loads texts from the string table of a module. The default
// object reads the program's own module, which it does not own; an object that owns
// its module (a resource library it loaded) frees it in the destructor.
//
// loadString absorbs its failures (a missing string is logged as
// CQRVLoadStringException) and answers false.
#pragma once

#include <windows.h>

#include "qrv_wchar_string.h"

class CQRVWindowsResource {
public:
    // The module the program was started from (GetModuleFileNameW, then GetModuleHandleW).
    CQRVWindowsResource();
    ~CQRVWindowsResource();
    CQRVWindowsResource(const CQRVWindowsResource&) = delete;
    CQRVWindowsResource& operator=(const CQRVWindowsResource&) = delete;

    // LoadStringW into 1024 units; szText changes only on success. An ID the table
    // does not hold (or an empty text) gives false.
    bool loadString(unsigned int uiStringId, CQRVWCharString& szText);

    HMODULE getModule() const { return m_hModule; }

private:
    HMODULE m_hModule;
    CQRVWCharString m_szLibraryName;
    bool m_bOwnsModule;
};
