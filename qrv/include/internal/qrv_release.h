// Freeing memory with the library's warning on failure. Not part of the public surface.
#pragma once

#include "qrv_failures.h"
#include "qrv_protocol.h"

namespace qrv_detail {

// Runs free(); if it throws, writes a CMemDestroyFailWarning naming variableName and
// reports false. The caller goes on either way: a failed free must not stop a wipe
// or a list walk half way.
template <typename Free>
bool freeNoting(const wchar_t* variableName, const wchar_t* sourceFile, int line, Free&& free) noexcept
{
    try {
        free();
        return true;
    } catch (...) {
        qrvNote<CMemDestroyFailWarning>(variableName, sourceFile, line);
        return false;
    }
}

} // namespace qrv_detail
