// One value per thread, kept in a TlsAlloc slot of its own. Not part of the library's
// public surface. Implicit thread storage (the compiler's per-thread variables) is not
// set up on XP and Server 2003 for a DLL loaded with LoadLibrary, and its first use
// there faults; a TLS slot works wherever the library is loaded. The value lives in
// the slot itself (an integer, a bool or a pointer, at most pointer-sized), so a
// thread has nothing to free when it ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

namespace qrv_detail {

template <typename T>
class ThreadValue {
    static_assert(std::is_integral<T>::value || std::is_pointer<T>::value, "a slot holds an integer or a pointer");
    static_assert(sizeof(T) <= sizeof(void*), "a slot holds at most a pointer's width");

public:
    // Constant initialisation: a namespace-scope ThreadValue needs no constructor to
    // run, so it may be used before any static initialiser has. Every thread's value
    // starts as 0 (false, null).
    constexpr ThreadValue() noexcept : m_index(kNoSlot) {}
    ThreadValue(const ThreadValue&) = delete;
    ThreadValue& operator=(const ThreadValue&) = delete;

    // This thread's value. The last error is kept (TlsGetValue resets it).
    T get() noexcept
    {
        const DWORD dwError = ::GetLastError();
        const DWORD dwIndex = index();
        if (dwIndex == TLS_OUT_OF_INDEXES) {
            ::SetLastError(dwError);
            return T();
        }
        const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(::TlsGetValue(dwIndex));
        ::SetLastError(dwError);
        return fromSlot(value);
    }

    // False, and nothing kept, when the process has no TLS slot left. The last error is
    // kept here too: a failure's code must survive the bookkeeping of its record.
    bool set(T value) noexcept
    {
        const DWORD dwError = ::GetLastError();
        const DWORD dwIndex = index();
        const bool bSet =
            dwIndex != TLS_OUT_OF_INDEXES && ::TlsSetValue(dwIndex, reinterpret_cast<void*>(toSlot(value)));
        ::SetLastError(dwError);
        return bSet;
    }

private:
    static const LONG kNoSlot = -1; // TLS_OUT_OF_INDEXES as a LONG

    // The slot, allocated by the first caller of any thread; a thread that loses the
    // race frees its own and takes the winner's. The slot is never freed.
    DWORD index() noexcept
    {
        const LONG lIndex = *static_cast<volatile LONG*>(&m_index);
        if (lIndex != kNoSlot)
            return static_cast<DWORD>(lIndex);
        const DWORD dwFresh = ::TlsAlloc();
        if (dwFresh == TLS_OUT_OF_INDEXES)
            return TLS_OUT_OF_INDEXES;
        const LONG lBefore = ::InterlockedCompareExchange(&m_index, static_cast<LONG>(dwFresh), kNoSlot);
        if (lBefore == kNoSlot)
            return dwFresh;
        ::TlsFree(dwFresh);
        return static_cast<DWORD>(lBefore);
    }

    static std::uintptr_t toSlot(T value) noexcept
    {
        if constexpr (std::is_pointer<T>::value)
            return reinterpret_cast<std::uintptr_t>(value);
        else
            return static_cast<std::uintptr_t>(value);
    }
    static T fromSlot(std::uintptr_t value) noexcept
    {
        if constexpr (std::is_pointer<T>::value)
            return reinterpret_cast<T>(value);
        else if constexpr (std::is_same<T, bool>::value)
            return value != 0;
        else
            return static_cast<T>(value);
    }

    LONG m_index;
};

} // namespace qrv_detail
