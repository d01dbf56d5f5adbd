// CQRVDirectory: a directory path that can say whether it names an existing
// directory and can create itself with every missing parent. The object holds only
// the path; it never opens or locks the directory. Nothing is raised to callers.
#pragma once

#include "qrv_wchar_string.h"

class CQRVDirectory {
public:
    // Takes the path; a path that cannot be copied is logged and leaves the object
    // empty, but the object is still built.
    explicit CQRVDirectory(const CQRVWCharString& szPath);
    ~CQRVDirectory();

    bool setDirectoryName(const CQRVWCharString& szPath);
    // isValidWindowsDirectory of the held path.
    bool isValidDirectory();
    // True when szPath names an existing directory (FindFirstFileW on a search
    // pattern made from the path, then GetFileAttributesW). A path shorter than two
    // units cannot be examined: it is logged as out of bounds and gives false.
    bool isValidWindowsDirectory(const CQRVWCharString& szPath);
    // Creates the held path one component at a time (CreateDirectoryW). True only
    // when something was created and no creation failed; an existing directory
    // gives false. Directories made before a failure are left in place.
    bool createDirectory();

private:
    CQRVWCharString m_name;
};
