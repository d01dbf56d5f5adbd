// The pinned service program; see quillfix_service_pin.h.
#include "quillfix_service_pin.h"

#include <windows.h>

#include "qrv_logging.h"
#include "qrv_protocol.h"
#include "quillfix_detail_log.h"
#include "quillfix_fingerprint.h"

namespace quillfix_service_pin {

namespace {

struct Pin {
    std::wstring strSha256;
    std::wstring strSha1;
    unsigned long long ullSize = 0;
};

// Written by set() before the run starts; read by the run's one thread.
Pin g_pin;

const unsigned long long kNoSize = ~0ULL;

unsigned long long fileSize(const wchar_t* pszPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(pszPath, GetFileExInfoStandard, &data))
        return kNoSize;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring sizeText(unsigned long long ullSize)
{
    return ullSize == kNoSize ? std::wstring(L"size unknown") : std::to_wstring(ullSize) + L" bytes";
}

} // namespace

void set(const wchar_t* pszSha256, const wchar_t* pszSha1, unsigned long long ullSize)
{
    g_pin.strSha256 = pszSha256 != nullptr ? pszSha256 : L"";
    g_pin.strSha1 = pszSha1 != nullptr ? pszSha1 : L"";
    g_pin.ullSize = ullSize;
}

bool pinned()
{
    return !g_pin.strSha256.empty();
}

std::wstring describe()
{
    if (!pinned())
        return L"none";
    return std::wstring(L"qrv_reg_monitor_svc.exe ") + g_pin.strSha256 + L", " + g_pin.strSha1 + L", " +
           sizeText(g_pin.ullSize);
}

bool matches(const wchar_t* pszPath)
{
    // compute() takes the best algorithm the system has; its prefix says which one, and
    // the pin's fingerprint of that algorithm is the one to meet.
    std::wstring strFound;
    if (!quillfix_fingerprint::compute(pszPath, strFound))
        strFound.clear();
    const bool bSha1 = strFound.compare(0, 5, L"sha1:") == 0;
    const std::wstring& strExpected = bSha1 ? g_pin.strSha1 : g_pin.strSha256;
    const unsigned long long ullFound = fileSize(pszPath);
    const bool bSame = !strFound.empty() && strFound == strExpected && ullFound == g_pin.ullSize;

    std::wstring strLine = std::wstring(L"Service program check (") + (bSha1 ? L"sha1" : L"sha256") + L") of \"" +
                           pszPath + L"\": expected " + strExpected + L", " + sizeText(g_pin.ullSize) +
                           L"; found " + (strFound.empty() ? std::wstring(L"no fingerprint") : strFound) + L", " +
                           sizeText(ullFound) + (bSame ? L": the pinned program" : L": not the pinned program");
    if (bSame) {
        detailLog(strLine);
    } else {
        // Written when made, to the library log and the detailed log alike.
        CQRVLogException1(strLine.c_str(), qrvCode(ERROR_INVALID_DATA), RESULT_ERROR_CODE, L"quillfix_service_pin",
                          L"matches", QRV_HERE);
    }
    return bSame;
}

} // namespace quillfix_service_pin
