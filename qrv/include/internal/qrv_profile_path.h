// Where a profile (INI) file named by a caller lives. Not part of the library's public
// surface: CQRVIni and CQRVRegistryFile resolve the name once, when they are made, and
// every access to the file (the profile functions, and the library's own reads and
// writes of the whole file) uses that one full path.
#pragma once

#include "qrv_wchar_string.h"

namespace qrv_detail {

// The file the profile functions would reach under this name now: "X:\..." or
// "X:/..." and "\\server\share\..." (or "\\?\...") as they are; a name without any
// "\", "/" or ":" in the Windows folder (GetWindowsDirectoryW), "x.ini" becoming
// "C:\WINDOWS\x.ini"; every other name (".\x.ini", "sub\x.ini", "\x.ini", "C:x.ini")
// made full by GetFullPathNameW against the current folder and drive. An empty name,
// or one that cannot be resolved, is returned as it is.
CQRVWCharString profileFilePath(const CQRVWCharString& szFileName);

} // namespace qrv_detail
