// The machine-wide run mutex: two runs started at once (a deployment tool that retries,
// a user who double-clicks again) would otherwise swap the service program in turn and
// send the patched program to ".bak", losing the original.
#include "quillfix.h"

#include <string>

#include "qrv_protocol.h"

// "Global\": one mutex for every session of the machine, as a service and a logged-on
// administrator may both start the patch.
const wchar_t kRunMutexName[] = L"Global\\Zarvik-qrv_reg_monitor_svc-Update";

namespace {

struct SidTraits {
    using type = PSID;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::FreeSid(h); }
};
using UniqueSid = qrv_detail::UniqueHandle<SidTraits>;

// Creates the mutex, or opens the one another run made, with a DACL that lets only
// Administrators and SYSTEM at it: on Windows any user may create a "Global\" mutex, and
// one made first by another user with a DACL of its own would stall or unserialise
// every run. Null, dwError set, when the name cannot be had.
HANDLE openRunMutex(DWORD& dwError)
{
    dwError = ERROR_SUCCESS;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators, system;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                    0, 0, 0, administrators.put()) ||
        !::AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, system.put())) {
        dwError = ::GetLastError();
        return nullptr;
    }
    const DWORD cbAcl = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                        ::GetLengthSid(administrators.get()) + ::GetLengthSid(system.get());
    std::string aclBuffer(cbAcl, '\0');
    PACL pAcl = reinterpret_cast<PACL>(&aclBuffer[0]);
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeAcl(pAcl, cbAcl, ACL_REVISION) ||
        !::AddAccessAllowedAce(pAcl, ACL_REVISION, MUTEX_ALL_ACCESS, administrators.get()) ||
        !::AddAccessAllowedAce(pAcl, ACL_REVISION, MUTEX_ALL_ACCESS, system.get()) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, pAcl, FALSE)) {
        dwError = ::GetLastError();
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    HANDLE hMutex = ::CreateMutexW(&attributes, FALSE, kRunMutexName);
    if (hMutex == nullptr)
        dwError = ::GetLastError();
    return hMutex;
}

} // namespace

QuillfixRunLock::QuillfixRunLock(DWORD dwTimeout) : m_bHeld(false)
{
    DWORD dwError = ERROR_SUCCESS;
    m_mutex.reset(openRunMutex(dwError));
    // No mutex (the name taken by an object of another type, ERROR_INVALID_HANDLE, or
    // by a mutex this account may not use, ERROR_ACCESS_DENIED): the run is not held,
    // never unserialised; the library log keeps the reason.
    if (!m_mutex.valid()) {
        std::wstring message(L"Unable to create or open the run mutex ( ");
        message += kRunMutexName;
        message += L" )";
        CQRVLogException1(message.c_str(), static_cast<int>(dwError), RESULT_ERROR_CODE, nullptr, nullptr, QRV_HERE);
        return;
    }
    // WAIT_ABANDONED: the run that held it was killed; the files are recovered by the
    // swap's own rules, so this run goes on.
    DWORD dwWait = ::WaitForSingleObject(m_mutex.get(), dwTimeout);
    m_bHeld = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    if (!m_bHeld)
        m_mutex.reset();
}

QuillfixRunLock::~QuillfixRunLock()
{
    release();
}

void QuillfixRunLock::release()
{
    if (m_bHeld && m_mutex.valid())
        ::ReleaseMutex(m_mutex.get());
    m_bHeld = false;
    m_mutex.reset();
}
