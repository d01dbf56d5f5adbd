// Small owners for Win32 handles, used inside single operations so every exit path
// releases what the operation acquired. Not part of the library's public surface.
#pragma once

#include <windows.h>
#include <cerrno>

namespace qrv_detail {

// Owns one handle described by Traits (type, invalid value, close function) and
// closes it when it goes out of scope.
template <typename Traits>
class UniqueHandle {
public:
    using H = typename Traits::type;
    UniqueHandle() noexcept : m_h(Traits::invalid()) {}
    explicit UniqueHandle(H h) noexcept : m_h(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    H get() const noexcept { return m_h; }
    H* put() noexcept { reset(); return &m_h; }
    bool valid() const noexcept { return m_h != Traits::invalid(); }
    H release() noexcept { H h = m_h; m_h = Traits::invalid(); return h; }
    void reset(H h = Traits::invalid()) noexcept
    {
        if (m_h != Traits::invalid())
            Traits::close(m_h);
        m_h = h;
    }

private:
    H m_h;
};

#define QRV_HANDLE_TRAITS(name, htype, invalidValue, closeCall)            \
    struct name {                                                          \
        using type = htype;                                                \
        static type invalid() noexcept { return invalidValue; }            \
        static void close(type h) noexcept { closeCall(h); }               \
    }

QRV_HANDLE_TRAITS(RegKeyTraits, HKEY, nullptr, ::RegCloseKey);
QRV_HANDLE_TRAITS(HandleTraits, HANDLE, nullptr, ::CloseHandle);
QRV_HANDLE_TRAITS(FileTraits, HANDLE, INVALID_HANDLE_VALUE, ::CloseHandle);
QRV_HANDLE_TRAITS(FindTraits, HANDLE, INVALID_HANDLE_VALUE, ::FindClose);
QRV_HANDLE_TRAITS(LibraryTraits, HMODULE, nullptr, ::FreeLibrary);
#undef QRV_HANDLE_TRAITS

using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueHandleObj = UniqueHandle<HandleTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;

// Keeps the thread's last-error value (and errno) across a block that may change them.
class LastErrorKeeper {
public:
    LastErrorKeeper() noexcept : m_dwError(::GetLastError()), m_nErrno(errno) {}
    ~LastErrorKeeper()
    {
        errno = m_nErrno;
        ::SetLastError(m_dwError);
    }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD m_dwError;
    int m_nErrno;
};

} // namespace qrv_detail
