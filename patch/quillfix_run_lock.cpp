// The machine-wide run mutex: two runs started at once (a deployment tool that retries,
// a user who double-clicks again) would otherwise swap the service program in turn and
// send the patched program to ".bak", losing the original.
#include "quillfix.h"

namespace {

// "Global\": one mutex for every session of the machine, as a service and a logged-on
// administrator may both start the patch.
const wchar_t kRunMutexName[] = L"Global\\Quillfix-Patch-8103-Run";

HANDLE openRunMutex()
{
    HANDLE hMutex = ::CreateMutexW(nullptr, FALSE, kRunMutexName);
    // A mutex made by a run of another account may refuse full access; waiting needs
    // only SYNCHRONIZE.
    if (hMutex == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED)
        hMutex = ::OpenMutexW(SYNCHRONIZE, FALSE, kRunMutexName);
    return hMutex;
}

} // namespace

QuillfixRunLock::QuillfixRunLock(DWORD dwTimeout) : m_mutex(openRunMutex()), m_bHeld(false)
{
    // Without a mutex at all (no name space to make one in) the run goes on alone, as
    // before runs were serialised.
    if (!m_mutex.valid()) {
        m_bHeld = true;
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
    if (m_bHeld && m_mutex.valid())
        ::ReleaseMutex(m_mutex.get());
}
