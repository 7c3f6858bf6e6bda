#include "display/CWin32Mutex.h"

CWin32Mutex::CWin32Mutex() : m_hMutex(CreateMutexW(nullptr, FALSE, nullptr))
{
}

CWin32Mutex::~CWin32Mutex()
{
    if (m_hMutex)
        CloseHandle(m_hMutex);
}

void CWin32Mutex::Lock()
{
    if (m_hMutex)
        WaitForSingleObject(m_hMutex, INFINITE);
}

void CWin32Mutex::Unlock()
{
    if (m_hMutex)
        ReleaseMutex(m_hMutex);
}

bool CWin32Mutex::TryLock()
{
    if (!m_hMutex)
        return false;
    const DWORD result = WaitForSingleObject(m_hMutex, 0);
    // An abandoned mutex is owned by the caller all the same.
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}
