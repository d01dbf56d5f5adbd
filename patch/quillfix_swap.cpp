// Renames that swap a complete program in at the service executable's name; see the
// invariant in quillfix_swap.h.
#include "quillfix_swap.h"

#include <cstring>
#include <vector>

#include "internal/qrv_unique_handle.h"
#include "qrv_failures.h"
#include "qrv_protocol.h"
#include "quillfix_detail_log.h"

namespace quillfix_swap {

namespace {

// Opened for reading only, sharing everything: the file may be a running program or
// one a scanner is reading.
qrv_detail::UniqueFile openForReading(const wchar_t* pszPath)
{
    return qrv_detail::UniqueFile(::CreateFileW(pszPath, GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool readWhole(HANDLE hFile, unsigned char* pBuffer, DWORD dwWanted)
{
    DWORD dwDone = 0;
    while (dwDone < dwWanted) {
        DWORD dwRead = 0;
        if (!::ReadFile(hFile, pBuffer + dwDone, dwWanted - dwDone, &dwRead, nullptr) || dwRead == 0)
            return false;
        dwDone += dwRead;
    }
    return true;
}

} // namespace

bool fileExists(const wchar_t* pszPath)
{
    return ::GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES;
}

void clearReadOnly(const wchar_t* pszPath)
{
    DWORD dwAttributes = ::GetFileAttributesW(pszPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(pszPath, dwAttributes & ~FILE_ATTRIBUTE_READONLY);
}

bool sameContents(const wchar_t* pszFirst, const wchar_t* pszSecond)
{
    qrv_detail::UniqueFile first = openForReading(pszFirst);
    qrv_detail::UniqueFile second = openForReading(pszSecond);
    LARGE_INTEGER firstSize = {}, secondSize = {};
    if (!first.valid() || !second.valid() || !::GetFileSizeEx(first.get(), &firstSize) ||
        !::GetFileSizeEx(second.get(), &secondSize) || firstSize.QuadPart != secondSize.QuadPart ||
        firstSize.QuadPart == 0)
        return false;

    const DWORD kChunk = 64 * 1024;
    std::vector<unsigned char> firstChunk(kChunk), secondChunk(kChunk);
    for (LONGLONG left = firstSize.QuadPart; left > 0;) {
        DWORD dwWanted = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        if (!readWhole(first.get(), firstChunk.data(), dwWanted) ||
            !readWhole(second.get(), secondChunk.data(), dwWanted) ||
            memcmp(firstChunk.data(), secondChunk.data(), dwWanted) != 0)
            return false;
        left -= dwWanted;
    }
    return true;
}

bool swapIn(const wchar_t* pszTarget, const wchar_t* pszIncoming, const wchar_t* pszAside)
{
    // No program to keep (a first install, or a run killed between the two renames
    // below): the incoming file takes the free name, never over a file that appeared
    // meanwhile.
    if (!fileExists(pszTarget))
        return detailCall(::MoveFileExW(pszIncoming, pszTarget, MOVEFILE_WRITE_THROUGH), L"MoveFileExW", pszIncoming, pszTarget);

    // What is at the aside name is meant to be replaced, read-only or not.
    clearReadOnly(pszAside);
    // One call: the target to the aside name, the incoming file to the target, which
    // keeps the old file's attributes and security.
    if (detailCall(::ReplaceFileW(pszTarget, pszIncoming, pszAside, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr),
                   L"ReplaceFileW", pszTarget, pszIncoming, pszAside))
        return true;

    // ReplaceFileW refused (a file in use, a file system that lacks it): the same two
    // renames one by one. If the target cannot be set aside (the aside name held open),
    // nothing has changed. A target already gone means the call set it aside and then
    // stopped (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2).
    if (fileExists(pszTarget) &&
        !detailCall(::MoveFileExW(pszTarget, pszAside, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), L"MoveFileExW", pszTarget, pszAside))
        return false;
    // Between these two renames the target name is free for an instant (MoveFileExW will
    // not replace a running program, so its name cannot be taken over in one step): the
    // old program is whole at the aside name and the incoming one whole at its own. A run
    // killed here is completed by the next run, which finds no target.
    if (detailCall(::MoveFileExW(pszIncoming, pszTarget, MOVEFILE_WRITE_THROUGH), L"MoveFileExW", pszIncoming, pszTarget))
        return true;
    // The incoming file cannot take the name: the old one goes back. Should that fail
    // too, the complete incoming file gets one more try: either program at the target
    // beats none.
    if (restoreMissingTarget(pszTarget, pszAside))
        return false;
    return ::MoveFileExW(pszIncoming, pszTarget, MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool restoreMissingTarget(const wchar_t* pszTarget, const wchar_t* pszBackup)
{
    if (fileExists(pszTarget))
        return true;
    if (!fileExists(pszBackup))
        return false;
    if (detailCall(::MoveFileExW(pszBackup, pszTarget, MOVEFILE_WRITE_THROUGH), L"MoveFileExW", pszBackup, pszTarget))
        return true;
    // Written when made; nothing is thrown, the caller keeps every other file in place.
    CQRVMoveFileException(pszBackup, pszTarget, static_cast<int>(::GetLastError()), QRV_HERE);
    return false;
}

bool deleteAside(const wchar_t* pszPath)
{
    clearReadOnly(pszPath);
    if (!fileExists(pszPath) || detailCall(::DeleteFileW(pszPath), L"DeleteFileW", pszPath) || !fileExists(pszPath))
        return true;
    // A running program's file: gone at the next restart (needs administrator rights;
    // without them it stays, renamed aside, and harms nothing).
    detailCall(::MoveFileExW(pszPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT), L"MoveFileExW (delete at restart)", pszPath);
    return false;
}

} // namespace quillfix_swap
