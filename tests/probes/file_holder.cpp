// Holds a file open the way another program would, for the fault tests of the patch
// run: `file_holder <path>` opens it for reading with read sharing only (no write, no
// delete sharing), prints "held" and sleeps; `file_holder <path> write` shares writing
// too, as another program that writes the library's log holds it (others may still
// append, but nobody may rename or delete it); `file_holder <path> none` shares nothing,
// so even reading it fails with a sharing violation; `file_holder` alone prints "running"
// and sleeps, a stand-in for the running service program; `file_holder --event <name>`
// creates an event of that name instead (an object of another type squatting a
// mutex's name). It exits by itself after two minutes, in case the test that started
// it is gone.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (argc > 2 && ::lstrcmpW(argv[1], L"--event") == 0) {
        HANDLE hEvent = ::CreateEventW(nullptr, TRUE, FALSE, argv[2]);
        std::printf(hEvent != nullptr ? "held\n" : "event failed\n");
        std::fflush(stdout);
        ::Sleep(120000);
        return 0;
    } else if (argc > 1) {
        const bool bShareWrite = argc > 2 && ::lstrcmpiW(argv[2], L"write") == 0;
        const bool bShareNone = argc > 2 && ::lstrcmpiW(argv[2], L"none") == 0;
        const DWORD dwShare = bShareNone ? 0 : FILE_SHARE_READ | (bShareWrite ? FILE_SHARE_WRITE : 0);
        hFile = ::CreateFileW(argv[1], GENERIC_READ, dwShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            std::printf("open failed: %lu\n", ::GetLastError());
            return 1;
        }
    }
    std::printf(argc > 1 ? "held\n" : "running\n");
    std::fflush(stdout);
    ::Sleep(120000);
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    return 0;
}
