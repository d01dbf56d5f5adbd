// Helpers of CQRVSystemInfo, visible to its tests.
#pragma once

#include <windows.h>

namespace qrv_detail {

// Vendor name for an index of the vendor-name table; null outside the table.
const wchar_t* qrvVendorName(int nVendor);

// The reason sentence of a failed shell-folder lookup, chosen by its HRESULT,
// written into pBuffer (cchBuffer characters); returns pBuffer.
const wchar_t* qrvShellFolderReason(HRESULT hr, wchar_t* pBuffer, size_t cchBuffer);

} // namespace qrv_detail
