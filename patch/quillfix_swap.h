// The file mechanism under both directions of the patch: a complete program is swapped
// in at the service executable's name by renames, the one it replaces kept aside, and
// a target a killed run left absent is put back from its ".bak".
//
// Invariant: at every instant the target, or (in the one gap of the fallback renames)
// the aside name, holds the whole program that was in place; the incoming file takes
// the target's name whole or not at all.
#pragma once

#include <windows.h>

namespace quillfix_swap {

bool fileExists(const wchar_t* pszPath);

// Windows neither replaces nor deletes a read-only file (MoveFileExW, ReplaceFileW and
// DeleteFileW answer access denied); the files this clears are ours to replace.
void clearReadOnly(const wchar_t* pszPath);

// True when both files can be read and hold the same bytes, and neither is empty.
bool sameContents(const wchar_t* pszFirst, const wchar_t* pszSecond);

// The incoming file takes the target's name, the file that held it goes to pszAside
// (replacing what was there). Renames only, inside the target's folder: the target is
// normally the running service's program, which Windows lets be renamed but neither
// overwritten nor deleted. With no target the incoming file takes the free name. False
// when nothing moved, or when everything was moved back. Where neither file can take
// the target's name, the incoming one is tried once more (true if it then does).
bool swapIn(const wchar_t* pszTarget, const wchar_t* pszIncoming, const wchar_t* pszAside);

// When the target is absent and pszBackup is present, renames the backup back to the
// target. True when the target exists afterwards. A rename that fails is written to the
// library log (CQRVMoveFileException) and leaves every file where it was.
bool restoreMissingTarget(const wchar_t* pszTarget, const wchar_t* pszBackup);

// Deletes a file this run set aside; a file Windows will not delete now (a running
// program) is scheduled for deletion at the next restart where the run has the right.
// True when it is gone now.
bool deleteAside(const wchar_t* pszPath);

} // namespace quillfix_swap
