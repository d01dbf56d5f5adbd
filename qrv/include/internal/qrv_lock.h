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

// The process's one object kept in pShared (a namespace-scope pointer, null at start),
// made by the first caller of any thread with make(); a thread that loses the race to
// publish deletes its own and takes the winner's. Used instead of a function-local
// static, whose thread-safe initialisation MSVC builds on implicit thread storage.
template <typename T, typename Make>
T& sharedObject(T*& pShared, Make make)
{
    if (T* pKnown = *static_cast<T* volatile*>(&pShared))
        return *pKnown;
    T* pFresh = make();
    void* pBefore =
        ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&pShared), pFresh, nullptr);
    if (!pBefore)
        return *pFresh;
    delete pFresh;
    return *static_cast<T*>(pBefore);
}

} // namespace qrv_detail
