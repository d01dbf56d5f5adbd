// The text of a string as the Win32 calls take it. Not part of the public surface.
#pragma once

#include "qrv_wchar_string.h"

namespace qrv_detail {

// "" for a string with no storage (an empty text leaves a string in that state), so
// MessageBoxW, CreateFileW and the file-copy calls never see a null pointer.
inline const wchar_t* textOrEmpty(const CQRVWCharString& szText) noexcept
{
    return szText.isValid() ? reinterpret_cast<const wchar_t*>(szText.getBuffer()) : L"";
}

// The text, or null for a string with no storage: for the calls where null has a
// meaning of its own (the default registry value, a profile deletion), and for the
// failure classes, which print "Unknown" for a null text.
inline const wchar_t* textOrNull(const CQRVWCharString& szText) noexcept
{
    return szText.isValid() ? reinterpret_cast<const wchar_t*>(szText.getBuffer()) : nullptr;
}

} // namespace qrv_detail
