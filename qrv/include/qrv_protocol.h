// The library's failure protocol in one place. Every operation uses these helpers
// rather than its own catch blocks:
//
//   bool CQRVThing::doIt()
//   {
//       QRV_TRACE(L"CQRVThing", L"doIt");
//       return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
//           if (bad) throw CQRVBadArgException(L"arg", L"what is wrong", QRV_HERE);
//           return true;
//       }));
//   }
//
// qrvAbsorb: a failure object is logged unless it already was, anything else is
//            logged as CQRVUnhandledExceptionException; the caller gets failValue.
// qrvAbsorbAll: every failure is logged as unhandled (operations without a handler by
//            class); the caller gets failValue.
// qrvAbsorbFailuresOnly: library failures give failValue, anything else is raised to
//            the caller as CQRVUnhandledExceptionException (-1).
// qrvPass:   the same logging, but the failure goes on to the caller (a failure
//            object unchanged, anything else replaced by the helper's own class).
#pragma once

#include <windows.h>
#include <cerrno>
#include <utility>

#include "qrv_failures.h"
#include "qrv_method_trace.h"

namespace qrv_detail {

// The file part of a source path, so records name "qrv_buffer.cpp" and not the
// build machine's folders.
constexpr const wchar_t* sourceBaseName(const wchar_t* path, const wchar_t* last = nullptr)
{
    return *path == L'\0' ? (last ? last : path)
                          : sourceBaseName(path + 1, (*path == L'/' || *path == L'\\') ? path + 1 : last);
}

} // namespace qrv_detail

#define QRV_WIDEN2(x) L##x
#define QRV_WIDEN(x) QRV_WIDEN2(x)
// Source file and line of the call site, as the failure constructors take them.
#define QRV_HERE ::qrv_detail::sourceBaseName(QRV_WIDEN(__FILE__)), __LINE__

// Where the code of an unexpected (non-library) failure comes from; NoCode records -1.
enum class QRVErrorSource { LastError, Errno, NoCode };

// Writes a failure object that has not been written yet.
// Logs a caught failure unless it already was, and leaves the failed call's code as the
// thread's last error for the operation's caller.
inline void qrvEnsureLogged(CQRVLogging& failure) noexcept
{
    if (!failure.logged)
        failure.log();
    ::SetLastError(failure.lastError);
}

// Writes (and drops) a CQRVUnhandledExceptionException for a non-library failure.
void qrvLogUnhandled(const wchar_t* sourceFile, int line, QRVErrorSource source) noexcept;

// The absorbing catch.
template <typename R, typename Body>
R qrvAbsorb(R failValue, const wchar_t* sourceFile, int line, Body&& body,
            QRVErrorSource source = QRVErrorSource::LastError) noexcept
{
    try {
        return body();
    } catch (CQRVLogging& failure) {
        qrvEnsureLogged(failure);
    } catch (...) {
        qrvLogUnhandled(sourceFile, line, source);
    }
    return failValue;
}

// The catch of operations that have no handler by class (some string operations):
// whatever escapes the body is written as CQRVUnhandledExceptionException. A failure
// object has already written itself when it was raised, so the log shows it followed
// by the unhandled record. Those operations fail on C runtime calls: errno by default.
template <typename R, typename Body>
R qrvAbsorbAll(R failValue, const wchar_t* sourceFile, int line, Body&& body,
               QRVErrorSource source = QRVErrorSource::Errno) noexcept
{
    try {
        return body();
    } catch (...) {
        qrvLogUnhandled(sourceFile, line, source);
    }
    return failValue;
}

// Absorbs library failures (logged unless they were) but does not hide anything else:
// a foreign exception goes on to the caller as CQRVUnhandledExceptionException with
// code -1, written when it is made.
template <typename R, typename Body>
R qrvAbsorbFailuresOnly(R failValue, const wchar_t* sourceFile, int line, Body&& body)
{
    try {
        return body();
    } catch (CQRVLogging& failure) {
        qrvEnsureLogged(failure);
        return failValue;
    } catch (...) {
    }
    throw CQRVUnhandledExceptionException(-1, sourceFile, line);
}

// The passing catch: makeFallback() builds the failure thrown in place of a
// non-library exception.
template <typename Body, typename MakeFallback>
auto qrvPass(const wchar_t* sourceFile, int line, MakeFallback&& makeFallback, Body&& body,
             QRVErrorSource source = QRVErrorSource::LastError) -> decltype(body())
{
    try {
        return body();
    } catch (CQRVLogging& failure) {
        qrvEnsureLogged(failure);
        throw;
    } catch (...) {
        qrvLogUnhandled(sourceFile, line, source);
    }
    throw makeFallback();
}

// The last error an operation leaves. An operation that returns false because a Win32
// call failed leaves that call's code in GetLastError(); one that fails for a reason of
// its own leaves the code its header names (ERROR_FILE_NOT_FOUND for something missing,
// ERROR_INSUFFICIENT_BUFFER or ERROR_MORE_DATA for something too long, ERROR_INVALID_DATA
// for a value the operation refuses). The registry functions return their code and never
// set the thread's value, so the code is set here, at the point of failure; everything
// that runs after it until the operation returns keeps it (records and traces restore
// it, closing the key keeps it). Kernel32 calls set it themselves.
//
//   return qrvFail(lResult);                                   // a silent failure
//   throw CQRVRegValueSetException(path, name, qrvCode(lResult), ...); // a recorded one
inline bool qrvFail(DWORD dwCode) noexcept
{
    ::SetLastError(dwCode);
    return false;
}

inline int qrvCode(DWORD dwCode) noexcept
{
    ::SetLastError(dwCode);
    return static_cast<int>(dwCode);
}

// Writes a warning or debug note at once and drops it: construct, done.
template <typename Note, typename... Args>
void qrvNote(Args&&... args) noexcept
{
    Note note(std::forward<Args>(args)...);
    (void)note;
}
