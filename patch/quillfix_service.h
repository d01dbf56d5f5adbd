// The restart of the services that run the patched program, asked for by
// "/restartservice": without it the new program is used only from the next restart of
// the system. Every installed Win32 service whose program is the target file and that
// is running is stopped (its running dependents first), the caller's hook runs while
// they are all stopped, and each is started again (the service, then its dependents).
//
// Invariant: every service this stops is started again, whatever fails; a stopped or
// disabled service is never touched. A failure ends the restart early, never the run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace quillfix_service {

// A state change that makes progress (the checkpoint advancing) resets the wait; the
// wait gives up when the service makes none within its wait hint, taken as at least
// kMinWaitHint, and after kMaxWaitPerService in any case.
const DWORD kMinWaitHint = 5 * 1000;
const DWORD kMaxWaitPerService = 60 * 1000;

enum class RestartOutcome {
    Restarted,  // at least one service restarted, every one that was running runs again
    NoService,  // no running service (that may be stopped) runs the program
    Failed      // a stop or start failed or timed out; what was stopped was started again
};

// Restarts the services whose program is pszProgram; whileStopped runs once every one
// of them (and their dependents) is stopped, and not at all when a stop fails.
RestartOutcome restartServicesOf(const wchar_t* pszProgram, const std::function<void()>& whileStopped);

// The program file of a service's binary path as the service control manager finds it:
// environment references expanded, then the quoted path, or for an unquoted path the
// shortest run of words that names an existing file (".exe" added to a name without an
// extension), the rest being arguments.
std::wstring programOfBinaryPath(const wchar_t* pszBinaryPath);

// True when both names open the same file (volume serial number and file index), so
// short names, other spellings and links compare as the file they name.
bool isSameFile(const wchar_t* pszFirst, const wchar_t* pszSecond);

// Every step and every reason of the restart goes through here: the service, the
// operation, and the Win32 error (0 when none) or the state reached. Failures are
// written as warnings, steps as notifications, to the library's log.
void reportServiceStep(const wchar_t* pszService, const wchar_t* pszOperation, DWORD dwError, DWORD dwState,
                       bool bFailure);

} // namespace quillfix_service
