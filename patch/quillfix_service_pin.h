// The service program a packaged quillfix.exe was built with ("pinned"): its SHA-256
// and SHA-1 fingerprints ("sha256:<hex>", "sha1:<hex>", as quillfix_fingerprint writes
// them) and its size, compiled into the program (QUILLFIX_SERVICE_PIN at build time),
// so the program's signature covers them. With a pin, the run installs that program
// and no other file; without one, whatever file sits beside it, as before.
//
// The pin is process-wide state, set once by the entry point before the run's one
// thread reads it (and by tests, which run on one thread too).
#pragma once

#include <string>

namespace quillfix_service_pin {

// Sets the pin; empty fingerprints (the build named no program) clear it.
void set(const wchar_t* pszSha256, const wchar_t* pszSha1, unsigned long long ullSize);
bool pinned();

// "qrv_reg_monitor_svc.exe sha256:<hex>, sha1:<hex>, <n> bytes" (or "none"), for the
// usage text and the detailed log. Never translated.
std::wstring describe();

// True when the file has the pinned size and fingerprint, checked with the strongest
// algorithm the system has (SHA-256, or SHA-1 where CryptoAPI has no SHA-256). The
// detailed log gets the algorithm, the expected and the found fingerprint and size; a
// mismatch (a file that cannot be read or hashed included) is a failure record of the
// library log as well, which the detailed log also receives.
bool matches(const wchar_t* pszPath);

} // namespace quillfix_service_pin
