// Quillfix: the patch run and the operations it is made of. One pass, one thread:
// decide the silent mode, check the system and the installed products, replace the
// registry-monitor service executable, record the patch, offer a restart. Every
// outcome is told in a message box (unless silent) and appended to the patch log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "internal/qrv_unique_handle.h"
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

// 1 with nOSKind set, or 0 when the OS information could not be built or queried.
int checkOperatingSystem(int& nOSKind);
// The suite at any version.
bool isSuiteInstalled();
int showMessageByCode(int nCode, UINT uStyle, int nSilentAnswer);

// The whole run for the parsed command line: the command line's own outcomes first
// ("/?" shows the switches, an unknown word refuses the run), then the gates, the
// replacement (or with "/uninstall" the removal), the record and the restart offer.
// Returns the run's result as Windows Installer's code: ERROR_SUCCESS_REBOOT_REQUIRED
// (3010) or ERROR_SUCCESS_REBOOT_INITIATED (1641) after an installation or removal,
// ERROR_INSTALL_PLATFORM_UNSUPPORTED (1633), ERROR_PATCH_TARGET_NOT_FOUND (1642: no
// suite, or nothing to restore), ERROR_INSTALL_ALREADY_RUNNING (1618),
// ERROR_INSTALL_FAILURE (1603), ERROR_INVALID_COMMAND_LINE (1639), ERROR_SUCCESS after
// "/?". The process exits with it only under "/exitcode".
struct QuillfixOptions;
int runPatch(const QuillfixOptions& options);
// The process exit code for the run's result: 0 unless the command line asks for
// "/exitcode", since deployment scripts rely on 0.
int exitCodeFor(const QuillfixOptions& options, int nResult);

// ---- the command line (quillfix_command_line.cpp) ------------------------------------

// What the command line asks for, parsed once; the run reads nothing else of it.
struct QuillfixOptions {
    bool bSilent = false;    // the silent rule (below), "/quiet", "/q" or "/passive"
    bool bRemove = false;    // "/uninstall"
    bool bExitCode = false;  // "/exitcode"
    bool bNoRestart = false; // "/norestart"
    bool bRestartService = false; // "/restartservice"
    bool bHelp = false;      // "/?" or "/help"
    bool bLog = false;       // "/log <file>", "/log:<file>" or "/l*v <file>"
    std::wstring strLogFile;
    // The first word that starts with "/" or "-" and is no switch (nor selects silent
    // mode by the old rule), or a "/log" without a name: the run is refused.
    std::wstring strRefusedWord;
};

// The old silent rule, kept exactly: "/s", "/S", "-s" or "-S" anywhere in the text, as
// a case-sensitive substring ("/silent" and a path such as "C:\data-sets" count).
bool selectsSilentMode(const wchar_t* pszCommandLine);
// Splits the text into words as the platform's command-line parsing takes arguments
// (blanks separate, double quotes group, backslashes before a quote escape it).
std::vector<std::wstring> splitCommandLine(const wchar_t* pszCommandLine);
// Walks the words through the switch table. Switches start with "/" or "-", in any case.
QuillfixOptions parseCommandLine(const wchar_t* pszCommandLine);
// The switch list built from the same table, for the usage and unknown-word messages.
std::wstring switchList();
// Shows (or, silent, only logs) the usage (IDS_USAGE) or the unknown-word message
// (IDS_UNKNOWN_SWITCH, naming strWord): one translated sentence, then the list.
void showSwitchMessage(UINT uStringId, const std::wstring& strWord);

// The machine-wide run mutex, held from construction (waiting at most dwTimeout) to
// release() or destruction. A run that cannot have it within the wait, or finds its name
// taken by an object it may not use, touches no file.
class QuillfixRunLock {
public:
    explicit QuillfixRunLock(DWORD dwTimeout);
    ~QuillfixRunLock();
    QuillfixRunLock(const QuillfixRunLock&) = delete;
    QuillfixRunLock& operator=(const QuillfixRunLock&) = delete;
    bool held() const { return m_bHeld; }
    // Lets the next run in; the files and the record must be final by then.
    void release();

private:
    qrv_detail::UniqueHandleObj m_mutex;
    bool m_bHeld;
};
// How long a second run waits for the first: ten minutes.
const DWORD kRunLockWait = 10 * 60 * 1000;
// The mutex's name: after the program it guards, so that any later patch of the same
// program waits for this one.
extern const wchar_t kRunMutexName[];

// ---- patch application (quillfix_apply.cpp) ------------------------------------------

// "%commonprogramfiles%\Zarvik\" expanded, then szName; a name holding ":\" is
// returned as it is.
CQRVWCharString makeCommonFilesPath(const CQRVWCharString& szName);
// szName inside the suite's install directory (a separator is added when the
// directory lacks one); a name holding ":\" as it is; szName alone when the install
// directory cannot be read.
CQRVWCharString resolveInInstallDirectory(const CQRVWCharString& szName);
// Copies szSource beside the target as "<target>.new", then swaps it in by renames,
// the old target going to "<target>.bak", or, when it is the patch's own program (see
// patchProgramAt), to a throwaway name, ".bak" keeping the original. A target that
// already holds the new file byte for byte is left as it is (and ".bak" with it):
// true. A program built with a pin (quillfix_service_pin) checks the staged copy against
// it before anything else, repeat runs included. On failure (the new file missing,
// unreadable, empty or not the pinned program, the disk full, the old file impossible
// to set aside) the target holds the program it held, or the one a killed run left at
// ".bak"; string 1200 is shown and the 1121 line logged; false.
bool replaceFile(const CQRVWCharString& szSource, const CQRVWCharString& szTarget);
// The copy-failure path for the target without touching a file: string 1200 shown and
// the 1121 line naming the target logged.
void reportReplaceFailure(const CQRVWCharString& szTarget);
// Puts "<target>.bak" back at the target by the same swap, the patched program renamed
// aside and deleted (at the next restart where it is running), then deletes the patch
// record as a tree: ERROR_SUCCESS, and the caller offers the restart with string 1161.
// Only the patch's own program is replaced, and only by a non-empty ".bak"; a target
// missing with ".bak" present (a run killed between its renames) gets ".bak" back; a
// record whose program is no longer at the target (a removal killed after its swap)
// is deleted alone. Another program at the target: string 1172, nothing changed,
// ERROR_PATCH_TARGET_NOT_FOUND. No ".bak": string 1171, the same. An empty ".bak", a
// program that cannot be hashed or a failed restore: string 1201 and the 1123 line,
// target and record kept; a record that cannot be deleted: 1201 and the 1124 line;
// ERROR_INSTALL_FAILURE. With pszKeepAside the patched program stays at its aside name,
// returned there, for the caller to delete (completeRun deletes it while the service is
// stopped).
int removePatch(const CQRVWCharString& szTarget, CQRVWCharString* pszKeepAside = nullptr);
// Whether the target is the program the patch put in place: the record exists and its
// "fingerprint" matches the target (a record without one, from an earlier build, counts
// as a match). ppUnknown when the target cannot be hashed with the stored algorithm.
enum PatchProgram { ppNoRecord, ppOwn, ppChanged, ppUnknown };
PatchProgram patchProgramAt(const CQRVWCharString& szTarget);
// The removal's failure path: string 1201 shown and the 1123 line naming the target.
void reportRestoreFailure(const CQRVWCharString& szTarget);
// Writes "description", "updated" and "fingerprint" (of szTarget, "sha256:<hex>" or
// "sha1:<hex>") under <suite key>\Patch\8103. Failures are logged by the library and
// otherwise ignored.
void recordPatch(const CQRVWCharString& szDescription, const CQRVWCharString& szFileName,
                 const CQRVWCharString& szTarget);
// Deletes the key <suite key>\Patch\8103 with whatever lies below it (SHDeleteKeyW).
// True when it is gone; otherwise the library log records why.
bool deletePatchRecord();
// Appends the text and its terminating zero unit to patchlog.txt (FF FE first on a
// new file). A log held by another run's writer is retried for up to 5 s; a log that
// cannot be opened loses the entry silently.
void appendPatchLog(const CQRVWCharString& szText);

// ---- messages (quillfix_messages.cpp) ------------------------------------------------

// promptAndLog logs the answer the box (or the silent default) gave.
const int kAnswerAsGiven = -1;

// The program's own string, at most 299 characters; empty (not valid) when missing.
CQRVWCharString loadPatchString(UINT uStringId);
// Caption 1140 and text uStringId, then promptAndLog.
int showPatchMessage(UINT uStringId, UINT uStyle, int nSilentAnswer, int nLoggedAnswer = kAnswerAsGiven);
// Shows the box (unless silent), logs "<text> User select: <answer>" CR LF and
// returns the answer (the silent answer in silent mode). nLoggedAnswer, when given,
// is logged instead of the box's answer.
int promptAndLog(const CQRVWCharString& szCaption, const CQRVWCharString& szText, UINT uStyle,
                 int nSilentAnswer, int nLoggedAnswer = kAnswerAsGiven);
// Appends "<text> User select: <answer>" CR LF to the patch log.
void logPatchExchange(const CQRVWCharString& szText, int nAnswer);
// A completion that needs no restart: uStringId with an OK button (only logged when
// silent), logged with the answer 7 in both modes, as the restart question it replaces.
void showPatchNotice(UINT uStringId);
// The string uLineId with its "%s" replaced by szArgument, appended to the patch log as
// a line of its own (the failure lines that name a path).
void appendPatchLogLine(UINT uLineId, const CQRVWCharString& szArgument);

// ---- restart (quillfix_restart.cpp) --------------------------------------------------

// Asks uQuestionId (1160 after an installation, 1161 after a removal) with Yes/No; Yes
// restarts the system. ERROR_SUCCESS_REBOOT_INITIATED when a restart was started, else
// ERROR_SUCCESS_REBOOT_REQUIRED. With bNoRestart ("/norestart") the text is shown with
// an OK button and logged with the answer 7 (No) in both modes: never a restart.
int offerRestart(UINT uQuestionId, bool bNoRestart = false);
// The end of a successful installation or removal: with "/restartservice", after a run
// that changed the service program, the services running szTarget are restarted (the
// program set aside at szAside, if any, deleted while they are stopped), the run lock is
// released and uNoticeId is shown: ERROR_SUCCESS. Otherwise, or when no service was
// restarted or one failed to stop or start, the aside program is deleted as without the
// switch, the lock released and offerRestart(uQuestionId, bNoRestart) ends the run.
int completeRun(QuillfixRunLock& runLock, bool bRestartService, bool bNoRestart,
                const CQRVWCharString& szTarget, const CQRVWCharString& szAside, UINT uNoticeId,
                UINT uQuestionId);
