// The detailed log of a run ("/log <file>"): one line per step, each with its time and
// the process id. It is the library's per-process log destination, so the library's
// own failure and warning records of the run land in the same file between the steps:
// one sink, whatever the registry's logging settings say. Without "/log" every call
// here does nothing, and nothing new is written anywhere.
#pragma once

#include <windows.h>

#include <string>

// Makes strPath (a relative name taken against the current folder) the run's detailed
// log and writes the first line to it. False when that line could not be written: the
// log is then off again, and the run goes on without it.
bool openDetailLog(const std::wstring& strPath);
bool detailLogOn();

// A step of the run.
void detailLog(const std::wstring& strLine);
// A step that failed with a Win32 error: the line carries the code and the system's text.
void detailLogFailure(const std::wstring& strLine, DWORD dwError);

// Wraps a Win32 call that returns BOOL: logs the call with the paths it was given (and
// each file's size, or "absent", after it), then "done" or its error with the system's
// text, and returns whether it succeeded with the call's last error kept, so a caller
// writes `if (!detailCall(::CopyFileW(a, b, FALSE), L"CopyFileW", a, b))`.
bool detailCall(BOOL bResult, const wchar_t* pszCall, const wchar_t* pszFirst = nullptr,
                const wchar_t* pszSecond = nullptr, const wchar_t* pszThird = nullptr);
// The same for a registry call, which returns its error instead of setting the last one.
bool detailRegistryCall(LONG lResult, const wchar_t* pszCall, const std::wstring& strKey);

// The system as the run reads it: Windows version, the account, the process's word size.
void detailLogSystem();
// Where the suite was found (its registry key, read in this process's registry view)
// and where the patch log goes.
void detailLogSuite();
