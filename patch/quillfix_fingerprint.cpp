// Fingerprints of the service program through CryptoAPI; see quillfix_fingerprint.h.
#include "quillfix_fingerprint.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "internal/qrv_unique_handle.h"

namespace quillfix_fingerprint {

namespace {

struct Algorithm {
    const wchar_t* pszName;  // as the stored value names it, before the colon
    DWORD dwProviderType;
    ALG_ID algId;
};

// Best first. The AES provider has SHA-256 from XP SP3 (Server 2003 SP2) on; the base
// RSA provider has SHA-1 everywhere.
const Algorithm kAlgorithms[] = {
    {L"sha256", PROV_RSA_AES, CALG_SHA_256},
    {L"sha1", PROV_RSA_FULL, CALG_SHA1},
};

// Only the test hook writes it, before the run's one thread uses it.
bool g_bSimulateNoSha256 = false;

struct ProviderTraits {
    using type = HCRYPTPROV;
    static type invalid() noexcept { return 0; }
    static void close(type h) noexcept { ::CryptReleaseContext(h, 0); }
};
struct HashTraits {
    using type = HCRYPTHASH;
    static type invalid() noexcept { return 0; }
    static void close(type h) noexcept { ::CryptDestroyHash(h); }
};

// A hash object of this algorithm, or false where the system lacks it.
bool createHash(const Algorithm& algorithm, qrv_detail::UniqueHandle<ProviderTraits>& provider,
                qrv_detail::UniqueHandle<HashTraits>& hash)
{
    if (g_bSimulateNoSha256 && algorithm.algId == CALG_SHA_256)
        return false;
    return ::CryptAcquireContextW(provider.put(), nullptr, nullptr, algorithm.dwProviderType,
                                  CRYPT_VERIFYCONTEXT) &&
           ::CryptCreateHash(provider.get(), algorithm.algId, 0, 0, hash.put());
}

// The file's bytes through the hash, then "<name>:<hex>". The file is opened sharing
// everything: it may be the running service's program.
bool hashFile(const wchar_t* pszPath, const Algorithm& algorithm, HCRYPTHASH hHash, std::wstring& fingerprint)
{
    qrv_detail::UniqueFile file(::CreateFileW(pszPath, GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    std::vector<BYTE> chunk(64 * 1024);
    for (;;) {
        DWORD dwRead = 0;
        if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &dwRead, nullptr))
            return false;
        if (dwRead == 0)
            break;
        if (!::CryptHashData(hHash, chunk.data(), dwRead, 0))
            return false;
    }
    BYTE digest[64];
    DWORD dwDigest = sizeof(digest);
    if (!::CryptGetHashParam(hHash, HP_HASHVAL, digest, &dwDigest, 0))
        return false;
    static const wchar_t kHex[] = L"0123456789abcdef";
    fingerprint = algorithm.pszName;
    fingerprint += L':';
    for (DWORD i = 0; i < dwDigest; ++i) {
        fingerprint += kHex[digest[i] >> 4];
        fingerprint += kHex[digest[i] & 0x0F];
    }
    return true;
}

bool computeWith(const wchar_t* pszPath, const Algorithm& algorithm, std::wstring& fingerprint)
{
    qrv_detail::UniqueHandle<ProviderTraits> provider;
    qrv_detail::UniqueHandle<HashTraits> hash;
    return createHash(algorithm, provider, hash) && hashFile(pszPath, algorithm, hash.get(), fingerprint);
}

} // namespace

bool compute(const wchar_t* pszPath, std::wstring& fingerprint)
{
    for (const Algorithm& algorithm : kAlgorithms) {
        qrv_detail::UniqueHandle<ProviderTraits> provider;
        qrv_detail::UniqueHandle<HashTraits> hash;
        // The first algorithm the system has decides; a file that cannot be read with
        // it cannot be read with the next either.
        if (createHash(algorithm, provider, hash))
            return hashFile(pszPath, algorithm, hash.get(), fingerprint);
    }
    return false;
}

Match compare(const wchar_t* pszPath, const std::wstring& stored)
{
    const size_t colon = stored.find(L':');
    for (const Algorithm& algorithm : kAlgorithms) {
        if (colon == std::wstring::npos || stored.compare(0, colon, algorithm.pszName) != 0)
            continue;
        std::wstring actual;
        if (!computeWith(pszPath, algorithm, actual))
            return fpUnknown;
        return actual == stored ? fpSame : fpDifferent;
    }
    return fpUnknown;
}

void simulateNoSha256(bool bSimulate)
{
    g_bSimulateNoSha256 = bSimulate;
}

} // namespace quillfix_fingerprint
