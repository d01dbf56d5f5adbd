// Quillfix: the patch run and the operations it is made of. One pass, one thread:
// decide the silent mode, check the system and the installed products, replace the
// registry-monitor service executable, record the patch, offer a restart. Every
// outcome is told in a message box (unless silent) and appended to the patch log.
#pragma once

#include <windows.h>

#include "qrv_wchar_string.h"

// ---- the run (quillfix_run.cpp) ------------------------------------------------------

// 1 when the command line asked for a silent run; set once, first thing in the run.
extern int g_bSilent;

// Operating-system kinds of checkOperatingSystem.
enum { osUnsupported = 0, osVista = 1, osXPFamily = 2 };

// Message codes of showMessageByCode.
enum {
    mcOSNotSupported = 1,   // 1120
    mcWrongVersion = 2,     // 1130
    mcAlreadyInstalled = 3, // 1170
    mcNotInstalled = 4,     // 1180
    mcRestartNeeded = 5,    // 1160
    mcInstallFailed = 6     // 1200
};

extern const wchar_t kServiceFileName[];   // "qrv_reg_monitor_svc.exe"
extern const wchar_t kPatchDescription[];

// Sets g_bSilent: "/s", "/S", "-s" or "-S" anywhere in the text, case-sensitive.
void setSilentMode(const wchar_t* pszCommandLine);

// 1 with nOSKind set, or 0 when the OS information could not be built or queried.
int checkOperatingSystem(int& nOSKind);
// The suite at any version.
bool isSuiteInstalled();
int showMessageByCode(int nCode, UINT uStyle, int nSilentAnswer);

// The whole run for the command-line tail; always returns 0, the process exit code.
int runPatch(const wchar_t* pszCommandLine);

// ---- patch application (quillfix_apply.cpp) ------------------------------------------

// "%commonprogramfiles%\Zarvik\" expanded, then szName; a name holding ":\" is
// returned as it is.
CQRVWCharString makeCommonFilesPath(const CQRVWCharString& szName);
// szName inside the suite's install directory (a separator is added when the
// directory lacks one); a name holding ":\" as it is; szName alone when the install
// directory cannot be read.
CQRVWCharString resolveInInstallDirectory(const CQRVWCharString& szName);
// Copies szSource beside the target as "<target>.new", then swaps it in by renames,
// the old target going to "<target>.bak". On failure (the new file missing, unreadable
// or empty, the disk full, the old file impossible to set aside) the target is left
// as it was, string 1200 is shown and the 1121 line logged; false.
bool replaceFile(const CQRVWCharString& szSource, const CQRVWCharString& szTarget);
// Writes "description" and "updated" under <suite key>\Patch\8103. Failures are
// logged by the library and otherwise ignored.
void recordPatch(const CQRVWCharString& szDescription, const CQRVWCharString& szFileName);
// Appends the text and its terminating zero unit to patchlog.txt (FF FE first on a
// new file). A log that cannot be opened loses the entry silently.
void appendPatchLog(const CQRVWCharString& szText);

// ---- messages (quillfix_messages.cpp) ------------------------------------------------

// The program's own string, at most 299 characters; empty (not valid) when missing.
CQRVWCharString loadPatchString(UINT uStringId);
// Caption 1140 and text uStringId, then promptAndLog.
int showPatchMessage(UINT uStringId, UINT uStyle, int nSilentAnswer);
// Shows the box (unless silent), logs "<text> User select: <answer>" CR LF and
// returns the answer (the silent answer in silent mode).
int promptAndLog(const CQRVWCharString& szCaption, const CQRVWCharString& szText, UINT uStyle,
                 int nSilentAnswer);

// ---- restart (quillfix_restart.cpp) --------------------------------------------------

// Asks string 1160 with Yes/No; Yes restarts the system. True when no restart was
// asked for, otherwise whether the restart was started.
bool offerRestart();
