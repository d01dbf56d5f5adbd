// CQRVRegistryKey and the valent record of its bulk query.
#include "qrv_registry_key.h"

#include <cstring>
#include <new>

#include "internal/qrv_registry_detail.h"
#include "internal/qrv_thread_slot.h"
#include "internal/qrv_unique_handle.h"
#include "qrv_protocol.h"
#include "qrv_registry_file.h"

using qrv_detail::textOrNull;
using qrv_detail::textOrEmpty;

namespace {

const wchar_t* const kKeyClass = L"CQRVRegistryKey";
// The enumerations record their failures under this spelling.
const wchar_t* const kKeyClassEnum = L"CQRVRegistrykey";

// The value object that holds a lent handle (LentKey), if any: its operations leave the
// handle open for the lender.
qrv_detail::ThreadValue<const CQRVRegistryKey*> t_pBorrower;

} // namespace

qrv_detail::KeyCloser::~KeyCloser()
{
    // It runs as a failure unwinds too: the failed call's code stays the last error.
    qrv_detail::LastErrorKeeper keep;
    if (&m_key == t_pBorrower.get())
        return;
    m_key.close();
}

bool qrv_detail::openCreating(CQRVRegistryKey& key)
{
    if (!key.isOpen()) {
        HKEY hKey = nullptr;
        LONG lResult = ::RegOpenKeyExW(key.m_hRootKey, textOrEmpty(key.m_szKeyPath), 0, key.m_samDesired, &hKey);
        if ((lResult == ERROR_FILE_NOT_FOUND || lResult == ERROR_INVALID_HANDLE) && key.m_bCreate)
            lResult = ::RegCreateKeyExW(key.m_hRootKey, textOrEmpty(key.m_szKeyPath), 0, nullptr, key.m_dwOptions,
                                        key.m_samDesired, nullptr, &hKey, nullptr);
        if (lResult == ERROR_SUCCESS) {
            key.m_hKey = hKey;
            key.m_bOpen = true;
            return true;
        }
    }
    return key.open();
}

qrv_detail::LentKey::LentKey(CQRVRegistryKey& borrower, const CQRVRegistryKey& lender) noexcept
    : m_borrower(borrower),
      m_bLent(lender.isOpen() && !borrower.isOpen() && !t_pBorrower.get() && t_pBorrower.set(&borrower))
{
    if (!m_bLent)
        return;
    m_borrower.m_hKey = lender.m_hKey;
    m_borrower.m_bOpen = true;
}

qrv_detail::LentKey::~LentKey()
{
    if (!m_bLent)
        return;
    // Handed back, not closed: the lender closes it.
    m_borrower.m_hKey = nullptr;
    m_borrower.m_bOpen = false;
    t_pBorrower.set(nullptr);
}

// ---- CQRVRegistryValent --------------------------------------------------------------

CQRVRegistryValent::CQRVRegistryValent() : m_dwType(0) {}

CQRVRegistryValent::CQRVRegistryValent(const VALENTW* pValent) : m_dwType(0)
{
    if (!pValent)
        return;
    m_szValueName = pValent->ve_valuename;
    if (pValent->ve_valuelen > 0 && pValent->ve_valueptr) {
        CQRVBuffer<unsigned char> data(reinterpret_cast<unsigned char*>(pValent->ve_valueptr),
                                       pValent->ve_valuelen, 0);
        m_bufData = data;
    }
    m_dwType = pValent->ve_type;
}

bool CQRVRegistryValent::operator==(const CQRVRegistryValent& other) const
{
    return m_dwType == other.m_dwType && m_szValueName == other.m_szValueName &&
           qrvSameBytes(m_bufData, other.m_bufData);
}

bool qrvSameBytes(const CQRVBuffer<unsigned char>& a, const CQRVBuffer<unsigned char>& b)
{
    if (a.m_ulNumElems != b.m_ulNumElems)
        return false;
    if (a.m_ulNumElems == 0)
        return true;
    if (!a.m_pBuffer || !b.m_pBuffer)
        return a.m_pBuffer == b.m_pBuffer;
    return std::memcmp(a.m_pBuffer, b.m_pBuffer, a.m_ulNumElems) == 0;
}

bool CQRVRegistryBinaryValue::operator==(const CQRVRegistryBinaryValue& o) const
{
    return m_szName == o.m_szName && qrvSameBytes(m_bufData, o.m_bufData);
}

// ---- construction ----------------------------------------------------------------------

CQRVRegistryKey::CQRVRegistryKey(HKEY hRootKey, const CQRVWCharString& szKeyPath, REGSAM samDesired,
                                 bool bCreate, DWORD dwOptions)
    : m_samDesired(samDesired), m_dwOptions(dwOptions), m_hKey(nullptr), m_bCreate(bCreate),
      m_bOpen(false), m_hRootKey(hRootKey)
{
    m_szKeyPath = szKeyPath;
    if (szKeyPath.isValid() && !m_szKeyPath.isValid())
        throw CQRVRegKeyInitException(QRV_HERE);
}

CQRVRegistryKey::CQRVRegistryKey(const CQRVRegistryKey& other)
    : m_samDesired(other.m_samDesired), m_dwOptions(other.m_dwOptions), m_hKey(nullptr),
      m_bCreate(other.m_bCreate), m_bOpen(false), m_hRootKey(other.m_hRootKey)
{
    m_szKeyPath = other.m_szKeyPath;
    if (other.m_szKeyPath.isValid() && !m_szKeyPath.isValid())
        throw CQRVRegKeyInitException(QRV_HERE);
}

CQRVRegistryKey::~CQRVRegistryKey()
{
    close();
}

CQRVRegistryKey& CQRVRegistryKey::operator=(const CQRVRegistryKey& other)
{
    if (this == &other)
        return *this;
    close();
    m_hRootKey = other.m_hRootKey;
    m_samDesired = other.m_samDesired;
    m_dwOptions = other.m_dwOptions;
    m_bCreate = other.m_bCreate;
    m_szKeyPath = other.m_szKeyPath;
    // An open handle is never shared; should the close above have failed, the old
    // handle is dropped here rather than attributed to the new path.
    m_hKey = nullptr;
    m_bOpen = false;
    return *this;
}

// ---- open, create, close ---------------------------------------------------------------

LONG CQRVRegistryKey::openHandle()
{
    HKEY hKey = nullptr;
    LONG lResult = ::RegOpenKeyExW(m_hRootKey, textOrEmpty(m_szKeyPath), 0, m_samDesired, &hKey);
    if (lResult == ERROR_SUCCESS) {
        m_hKey = hKey;
        m_bOpen = true;
    }
    return lResult;
}

bool CQRVRegistryKey::open()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (m_bOpen) {
            qrvNote<CQRVRegKeyAlreadyOpenWarning>(textOrNull(m_szKeyPath), kKeyClass, L"open", QRV_HERE);
            close();
        }
        LONG lResult = openHandle();
        if (lResult == ERROR_SUCCESS)
            return true;
        if ((lResult == ERROR_FILE_NOT_FOUND || lResult == ERROR_INVALID_HANDLE) && m_bCreate) {
            if (!create())
                return false; // create left its own code
            lResult = openHandle();
        }
        return lResult == ERROR_SUCCESS || qrvFail(lResult);
    });
}

bool CQRVRegistryKey::create()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        close();
        qrv_detail::UniqueRegKey hKey;
        LONG lResult = ::RegCreateKeyExW(m_hRootKey, textOrEmpty(m_szKeyPath), 0, nullptr,
                                         m_dwOptions, m_samDesired, nullptr, hKey.put(), nullptr);
        if (lResult != ERROR_SUCCESS)
            throw CQRVRegKeyCreateException(textOrNull(m_szKeyPath), qrvCode(lResult),
                                            kKeyClass, L"create", QRV_HERE);
        return true; // the new handle is closed as it leaves
    });
}

bool CQRVRegistryKey::close()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!m_bOpen)
            return true;
        LONG lResult = ::RegCloseKey(m_hKey);
        if (lResult != ERROR_SUCCESS)
            throw CQRVRegCloseKeyWarning(textOrNull(m_szKeyPath), qrvCode(lResult), kKeyClass,
                                         L"close", QRV_HERE);
        m_hKey = nullptr;
        m_bOpen = false;
        return true;
    });
}

bool CQRVRegistryKey::canOpen()
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        qrv_detail::KeyCloser closer(*this);
        return open();
    });
}

// Both forms, the registry text file and the hive file, live with the registry file.
bool CQRVRegistryKey::exportKey(const CQRVWCharString& szExportFileName, DWORD dwFormat, bool bOverwrite)
{
    return CQRVRegistryFile::exportRegistryKey(*this, szExportFileName, dwFormat, bOverwrite);
}

bool CQRVRegistryKey::importKey(const CQRVWCharString& szImportFileName, DWORD dwFlags)
{
    return CQRVRegistryFile::importRegistryKey(*this, szImportFileName, dwFlags);
}

// ---- key information -------------------------------------------------------------------

bool CQRVRegistryKey::queryInfo(QueryInfoItem item, DWORD& dwValue)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        return qrv_detail::withOpenKey(*this, [&] {
            DWORD dwCount = 0;
            LONG lResult = ::RegQueryInfoKeyW(m_hKey, nullptr, nullptr, nullptr, nullptr,
                                              item == qiMaxSubKeyLen ? &dwCount : nullptr, nullptr,
                                              nullptr, item == qiMaxValueNameLen ? &dwCount : nullptr,
                                              item == qiMaxValueLen ? &dwCount : nullptr, nullptr, nullptr);
            if (lResult != ERROR_SUCCESS)
                throw CQRVRegQueryInfoKeyException(textOrNull(m_szKeyPath), qrvCode(lResult),
                                                   QRV_HERE);
            dwValue = dwCount;
            return true;
        });
    });
}

bool CQRVRegistryKey::getMaxSubKeyLength(DWORD& dwLength)
{
    return queryInfo(qiMaxSubKeyLen, dwLength);
}

bool CQRVRegistryKey::getMaxValueNameLength(DWORD& dwLength)
{
    return queryInfo(qiMaxValueNameLen, dwLength);
}

bool CQRVRegistryKey::getMaxValueDataLength(DWORD& dwLength)
{
    return queryInfo(qiMaxValueLen, dwLength);
}

// ---- enumeration -----------------------------------------------------------------------

bool CQRVRegistryKey::enumSubKeys(CQRVRegistryKey& outKey, DWORD dwIndex)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        DWORD dwMax = 0;
        if (!getMaxSubKeyLength(dwMax))
            return false;
        if (!m_bOpen && !open())
            return false;
        CQRVBuffer<unsigned short> bufName(dwMax + 1);
        DWORD dwCount = dwMax + 1;
        LONG lResult = ::RegEnumKeyExW(m_hKey, dwIndex, reinterpret_cast<wchar_t*>(bufName.m_pBuffer),
                                       &dwCount, nullptr, nullptr, nullptr, nullptr);
        if (lResult == ERROR_NO_MORE_ITEMS)
            return qrvFail(ERROR_NO_MORE_ITEMS);
        if (lResult != ERROR_SUCCESS)
            throw CQRVRegEnumKeyException(textOrNull(m_szKeyPath), qrvCode(lResult), kKeyClassEnum,
                                          L"enumSubKeys", QRV_HERE);
        CQRVWCharString szName(reinterpret_cast<const wchar_t*>(bufName.m_pBuffer));
        // A key on the root itself has no path: its sub-keys are named without a
        // leading backslash, which the registry would refuse.
        CQRVWCharString szSubPath;
        if (m_szKeyPath.getLength() > 0)
            szSubPath = m_szKeyPath + CQRVWCharString(L"\\") + szName;
        else
            szSubPath = szName;
        CQRVRegistryKey subKey(m_hRootKey, szSubPath, m_samDesired, false, m_dwOptions);
        outKey = subKey;
        return true;
    });
}

bool CQRVRegistryKey::getSubKeyNames(CQRVRegStringList& lstNames)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        lstNames.clear();
        CQRVRegistryKey scratch(m_hRootKey, m_szKeyPath, m_samDesired, false, m_dwOptions);
        for (DWORD i = 0;; ++i) {
            if (!enumSubKeys(scratch, i))
                break;
            CQRVWCharString szName;
            if (!scratch.getKeyName(szName, false) || szName.getLength() == 0)
                break;
            if (!lstNames.add(szName, static_cast<long>(i + 1)))
                break;
        }
        return true;
    });
}

bool CQRVRegistryKey::enumValueNames(CQRVRegStringList& lstNames)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        lstNames.clear();
        DWORD dwMax = 0;
        if (!getMaxValueNameLength(dwMax))
            return false;
        if (!m_bOpen && !open())
            return false;
        qrv_detail::KeyCloser closer(*this);
        for (DWORD dwIndex = 0;; ++dwIndex) {
            CQRVBuffer<unsigned short> bufName(dwMax + 1);
            DWORD dwCount = dwMax + 1;
            LONG lResult = ::RegEnumValueW(m_hKey, dwIndex, reinterpret_cast<wchar_t*>(bufName.m_pBuffer),
                                           &dwCount, nullptr, nullptr, nullptr, nullptr);
            if (lResult == ERROR_NO_MORE_ITEMS)
                break;
            if (lResult != ERROR_SUCCESS) {
                // The enumeration's failure is followed by the general handler's record,
                // as for every failure this method meets.
                CQRVRegEnumValueException failure(textOrNull(m_szKeyPath), qrvCode(lResult),
                                                  kKeyClassEnum, L"enumValueNames", QRV_HERE);
                qrvEnsureLogged(failure);
                qrvLogUnhandled(QRV_HERE, QRVErrorSource::LastError);
                throw failure;
            }
            if (bufName.m_pBuffer[0] != 0) {
                CQRVWCharString szName(reinterpret_cast<const wchar_t*>(bufName.m_pBuffer));
                lstNames.add(szName, 0);
            }
        }
        // No named value: nothing was found.
        return lstNames.m_ulCount > 0 || qrvFail(ERROR_FILE_NOT_FOUND);
    });
}

bool CQRVRegistryKey::queryMultipleValues(CQRVRegistryValentList& lstValues)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVRegStringList lstNames;
        if (!enumValueNames(lstNames))
            return false;
        DWORD dwMaxData = 0;
        if (!getMaxValueDataLength(dwMaxData))
            return false;
        qrv_detail::KeyCloser closer(*this);

        const DWORD dwCount = lstNames.m_ulCount;
        // The value array and the private copies of the names it points to; freed on
        // every way out.
        struct ValentArray {
            VALENTW* pValent = nullptr;
            DWORD dwCount = 0;
            ~ValentArray()
            {
                if (!pValent)
                    return;
                try {
                    for (DWORD i = 0; i < dwCount; ++i)
                        delete[] pValent[i].ve_valuename;
                    delete[] pValent;
                } catch (...) {
                    qrvNote<CMemDestroyFailWarning>(L"pValent", QRV_HERE);
                }
            }
        } valents;
        valents.pValent = new (std::nothrow) VALENTW[dwCount];
        if (!valents.pValent)
            throw CQRVMemAllocException(L"pValent", QRV_HERE);
        std::memset(valents.pValent, 0, sizeof(VALENTW) * dwCount);
        valents.dwCount = dwCount;

        DWORD i = 0;
        for (bool bMore = lstNames.moveFirst(); bMore && i < dwCount; bMore = lstNames.moveNext(), ++i) {
            CQRVWCharString szName;
            lstNames.getCurrent(szName);
            const unsigned long ulElems = szName.m_ulNumElems;
            wchar_t* pCopy = ulElems ? new (std::nothrow) wchar_t[ulElems] : nullptr;
            if (!pCopy) {
                qrvNote<CQRVLogDebug>(L"pValent.ve_valuename = NULL", 0, RESULT_PASS_FAIL, kKeyClass,
                                      L"queryMultipleValues", QRV_HERE);
                continue;
            }
            std::memcpy(pCopy, szName.m_pBuffer, ulElems * sizeof(wchar_t));
            valents.pValent[i].ve_valuename = pCopy;
        }

        const unsigned long ulDataElems = dwCount * (dwMaxData + 1);
        CQRVBuffer<unsigned short> bufData(ulDataElems);
        DWORD dwSize = ulDataElems * 2;
        if (!m_bOpen && !open())
            return false;
        LONG lResult = ::RegQueryMultipleValuesW(m_hKey, valents.pValent, dwCount,
                                                 reinterpret_cast<wchar_t*>(bufData.m_pBuffer), &dwSize);
        if (lResult != ERROR_SUCCESS)
            throw CQRVRegQueryMultipleValuesException(textOrNull(m_szKeyPath), qrvCode(lResult),
                                                      QRV_HERE);

        lstValues.clear();
        for (DWORD j = 0; j < dwCount; ++j) {
            CQRVRegistryValent valent(&valents.pValent[j]);
            lstValues.add(valent, static_cast<long>(j));
        }
        return true;
    });
}

// ---- plain members -------------------------------------------------------------------

bool CQRVRegistryKey::setAccess(REGSAM samDesired)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        bool bClosed = close();
        m_samDesired = samDesired;
        return bClosed;
    });
}

bool CQRVRegistryKey::getKeyName(CQRVWCharString& szOut, bool bFullPath) const
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (bFullPath) {
            szOut = m_szKeyPath;
            return szOut.isValid();
        }
        // The text after the last backslash; a path without one is its own last component.
        const unsigned long ulLength = m_szKeyPath.getLength();
        unsigned long ulStart = 0;
        for (unsigned long i = 0; i < ulLength; ++i)
            if (m_szKeyPath.m_pBuffer[i] == L'\\')
                ulStart = i + 1;
        szOut = reinterpret_cast<const wchar_t*>(m_szKeyPath.m_pBuffer) + ulStart;
        return szOut.isValid();
    });
}
