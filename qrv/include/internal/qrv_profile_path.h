// Where a profile (INI) file named by a caller lives. Not part of the library's public
// surface: CQRVIni and CQRVRegistryFile resolve the name once, when they are made, and
// every access to the file (the profile functions, and the library's own reads and
// writes of the whole file) uses that one full path.
#pragma once

#include "qrv_wchar_string.h"

namespace qrv_detail {

// A full path (a drive letter and a colon, or a UNC path "\\server\share\..." or
// "\\?\...") as it is; any other name relative to the Windows folder
// (GetWindowsDirectoryW), where the profile functions look for a file named without a
// full path. "x.ini" and "sub\x.ini" thus become "C:\WINDOWS\x.ini" and
// "C:\WINDOWS\sub\x.ini". An empty or invalid name, or one that cannot be resolved,
// is returned as it is.
CQRVWCharString profileFilePath(const CQRVWCharString& szFileName);

} // namespace qrv_detail
