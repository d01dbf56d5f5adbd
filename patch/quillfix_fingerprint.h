// The fingerprint of a service program: a hash of the file's bytes, written as
// "<algorithm>:<lower-case hex>", so that the patch can tell the program it put in
// place from any other build. SHA-256 ("sha256:") through CryptoAPI's AES provider;
// where the system has no SHA-256 there (XP before SP3), SHA-1 ("sha1:") through the
// base RSA provider. A stored fingerprint is checked with the algorithm it names.
#pragma once

#include <string>

namespace quillfix_fingerprint {

// The file's fingerprint with the best algorithm the system has. False when the file
// cannot be read or no hash can be computed.
bool compute(const wchar_t* pszPath, std::wstring& fingerprint);

enum Match { fpSame, fpDifferent, fpUnknown };

// The file against a stored fingerprint, hashed with the stored one's algorithm.
// fpUnknown when the algorithm is not one of the two or the hash cannot be computed.
Match compare(const wchar_t* pszPath, const std::wstring& stored);

// Test hook: behave as a system without SHA-256 (the fallback cannot be reached
// otherwise where SHA-256 exists).
void simulateNoSha256(bool bSimulate);

} // namespace quillfix_fingerprint
