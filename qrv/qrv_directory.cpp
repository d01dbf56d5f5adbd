// CQRVDirectory: FindFirstFileW, GetFileAttributesW and CreateDirectoryW on one path.
#include "qrv_directory.h"

#include "internal/qrv_unique_handle.h"
#include "qrv_protocol.h"
#include "internal/qrv_text.h"

using qrv_detail::textOrEmpty;
using qrv_detail::textOrNull;

CQRVDirectory::CQRVDirectory(const CQRVWCharString& szPath)
{
    QRV_TRACE(L"CQRVDirectory", L"Constructor");
    const bool bResult = qrvAbsorb(
        false, QRV_HERE,
        [&] {
            if (!setDirectoryName(szPath))
                throw CQRVDirectoryInitException(QRV_HERE);
            return true;
        },
        QRVErrorSource::NoCode);
    qrvTrace.passFail(bResult);
}

CQRVDirectory::~CQRVDirectory()
{
    QRV_TRACE(L"CQRVDirectory", L"Destructor");
    qrvTrace.passFail(true);
}

bool CQRVDirectory::setDirectoryName(const CQRVWCharString& szPath)
{
    QRV_TRACE(L"CQRVDirectory", L"setDirectoryName");
    return qrvTrace.passFail(qrvAbsorb(
        false, QRV_HERE,
        [&] {
            m_name = szPath;
            // A string assignment that could not copy leaves the target without storage.
            return m_name.isValid() == szPath.isValid();
        },
        QRVErrorSource::NoCode));
}

bool CQRVDirectory::isValidDirectory()
{
    QRV_TRACE(L"CQRVDirectory", L"isValidDirectory");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] { return isValidWindowsDirectory(m_name); }));
}

bool CQRVDirectory::isValidWindowsDirectory(const CQRVWCharString& szPath)
{
    QRV_TRACE(L"CQRVDirectory", L"isValidWindowsDirectory");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        const unsigned long ulLength = szPath.getLength();
        if (ulLength < 2)
            throw CQRVIndexOutOfBoundsException(QRV_HERE);

        // FindFirstFileW needs a pattern: a drive ('C:', 'C:\') or a path ending in
        // a separator only finds something with a wildcard behind it.
        const wchar_t* pPath = textOrEmpty(szPath);
        const wchar_t chBefore = pPath[ulLength - 2];
        const wchar_t chLast = pPath[ulLength - 1];
        CQRVWCharString szPattern(szPath);
        if (chBefore == L':' && chLast == L'\\')
            szPattern += CQRVWCharString(L"*");
        else if (chLast == L':')
            szPattern += CQRVWCharString(L"\\*");
        else if (chLast == L'\\')
            szPattern += CQRVWCharString(L"*");

        WIN32_FIND_DATAW findData;
        qrv_detail::UniqueFind search(::FindFirstFileW(textOrEmpty(szPattern), &findData));
        if (!search.valid())
            return false;
        const DWORD dwAttributes = ::GetFileAttributesW(pPath);
        return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }));
}

bool CQRVDirectory::createDirectory()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (isValidDirectory())
            return false;

        CQRVWCharString szPath(m_name);
        const CQRVWCharString szSeparator(L"\\");
        if (!szPath.endsWith(szSeparator))
            szPath += szSeparator;

        // 'C:\a\b\' is walked as 'C:\', 'C:\a\', 'C:\a\b\'; existing levels are passed over.
        bool bResult = false;
        const unsigned long ulLevels = szPath.countOccurrances(szSeparator);
        for (unsigned long d = 1; d <= ulLevels; ++d) {
            CQRVWCharString szPrefix;
            if (!szPath.getSubString(szPrefix, szSeparator, d, pmFromStart, true))
                break;
            CQRVDirectory level(szPrefix);
            if (level.isValidDirectory())
                continue;
            if (!::CreateDirectoryW(textOrEmpty(szPrefix), nullptr))
                return false;
            bResult = true;
        }
        return bResult;
    });
}
