// The examples' one helper: a failed expectation is printed and counted, and each
// example's main returns the count, so ctest fails as soon as an example no longer does
// what docs/library.md says it does.
#pragma once

#include <windows.h>

#include <cstdio>

inline int& exampleFailures()
{
    static int s_nFailures = 0;
    return s_nFailures;
}

inline void check(bool bOk, const char* szWhat)
{
    if (!bOk) {
        std::printf("FAILED: %s (last error %lu)\n", szWhat, ::GetLastError());
        ++exampleFailures();
    }
}
