// restrictDllSearch: the two loader settings that keep DLLs out of the search but for
// the system folder's.
#include "quillfix_dll_search.h"

#include <windows.h>

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

} // namespace

void restrictDllSearch()
{
    // SetDefaultDllDirectories came with a loader update that XP and Vista may lack,
    // so it is looked up rather than imported (an import would stop the program from
    // starting there). Where it exists, every load by bare name searches the system
    // folder only.
    const HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    const FARPROC pProc = hKernel != nullptr ? ::GetProcAddress(hKernel, "SetDefaultDllDirectories") : nullptr;
    if (pProc != nullptr) {
        const SetDefaultDllDirectoriesFunction pSetDefault =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(pProc));
        pSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Everywhere (XP SP1 on): an empty string takes the current folder out of the
    // search. The program's folder stays in it where the call above is missing; the
    // library loads its DLLs by full system path there.
    ::SetDllDirectoryW(L"");
}
