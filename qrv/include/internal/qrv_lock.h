// A process-wide lock for state that several threads share, and the scope guard that
// holds it: every way out of the guarded block (return or exception) releases it.
// Not part of the library's public surface.
#pragma once

#include <windows.h>

namespace qrv_detail {

// A critical section that lives as long as its owner. The library's owners of shared
// state are never destroyed (records may be written while statics go away), so neither
// is the section.
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&m_section); }
    ~CriticalSection() { ::DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() noexcept { ::EnterCriticalSection(&m_section); }
    void leave() noexcept { ::LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Holds the lock from construction to the end of the scope.
class LockGuard {
public:
    explicit LockGuard(CriticalSection& lock) noexcept : m_lock(lock) { m_lock.enter(); }
    ~LockGuard() { m_lock.leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CriticalSection& m_lock;
};

} // namespace qrv_detail
