#include "companions/V77Sync/CV77WakeEvent.h"

CV77WakeEvent::CV77WakeEvent() : m_bSet(false)
{
    InitializeSRWLock(&m_Lock);
    InitializeConditionVariable(&m_Changed);
}

void CV77WakeEvent::Set()
{
    AcquireSRWLockExclusive(&m_Lock);
    m_bSet = true;
    ReleaseSRWLockExclusive(&m_Lock);
    WakeConditionVariable(&m_Changed);
}

void CV77WakeEvent::Reset()
{
    AcquireSRWLockExclusive(&m_Lock);
    m_bSet = false;
    ReleaseSRWLockExclusive(&m_Lock);
}

bool CV77WakeEvent::Wait(DWORD timeoutMs)
{
    const ULONGLONG start = GetTickCount64();
    AcquireSRWLockExclusive(&m_Lock);
    while (!m_bSet) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= timeoutMs)
                break;
            left = static_cast<DWORD>(timeoutMs - spent);
        }
        // Spurious wake-ups and time-outs both come back to the flag.
        SleepConditionVariableSRW(&m_Changed, &m_Lock, left, 0);
    }
    const bool signalled = m_bSet;
    m_bSet = false;
    ReleaseSRWLockExclusive(&m_Lock);
    return signalled;
}
