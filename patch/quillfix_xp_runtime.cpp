// quillfix.exe starts on XP, whose kernel32 lacks GetTickCount64 (Vista on). The
// mingw-w64 thread library, which the C++ runtime links in statically, imports it; the
// loader would refuse the program on XP for that one name. This file defines the import's
// slot itself, so no import of the name is made: the slot points to a function that asks
// the system for GetTickCount64 where it has one and extends GetTickCount's 32-bit count
// elsewhere. Only the mingw build needs it; other toolchains never see it.
#if defined(__MINGW32__)
#include <windows.h>

namespace {

typedef ULONGLONG(WINAPI* TickCount64Function)();

// Written and read with interlocked calls by whatever thread asks; the count is only
// ever used for time-outs, so two threads that meet at the 49.7-day wrap cost at most
// one miscounted wrap.
volatile LONG g_lLastTicks = 0;
volatile LONG g_lWraps = 0;

ULONGLONG WINAPI tickCount64()
{
    // Looked up on each call: a function-local static would be guarded by the very
    // thread library that calls this.
    const HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    const FARPROC pProc = hKernel != nullptr ? ::GetProcAddress(hKernel, "GetTickCount64") : nullptr;
    if (pProc != nullptr)
        return reinterpret_cast<TickCount64Function>(reinterpret_cast<void*>(pProc))();
    const DWORD dwNow = ::GetTickCount();
    const DWORD dwLast = static_cast<DWORD>(::InterlockedExchange(&g_lLastTicks, static_cast<LONG>(dwNow)));
    if (dwNow < dwLast)
        ::InterlockedIncrement(&g_lWraps);
    return (static_cast<ULONGLONG>(static_cast<DWORD>(g_lWraps)) << 32) | dwNow;
}

} // namespace

// The import slot by its linker name (i686 decorates stdcall names).
#if defined(_WIN64)
extern "C" TickCount64Function quillfixTickCount64Slot __asm__("__imp_GetTickCount64");
#else
extern "C" TickCount64Function quillfixTickCount64Slot __asm__("__imp__GetTickCount64@0");
#endif
TickCount64Function quillfixTickCount64Slot = tickCount64;

#endif
