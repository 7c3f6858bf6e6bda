// A Win32 critical section as an object.
#pragma once

#include <windows.h>

class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_CritSec); }
    explicit CCritSec(DWORD spinCount) { InitializeCriticalSectionAndSpinCount(&m_CritSec, spinCount); }
    ~CCritSec() { DeleteCriticalSection(&m_CritSec); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { EnterCriticalSection(&m_CritSec); }
    void Unlock() { LeaveCriticalSection(&m_CritSec); }
    bool TryLock() { return TryEnterCriticalSection(&m_CritSec) != FALSE; }

    // True when the calling thread owns the section (for assertions).
    bool IsOwnedByCaller() const
    {
        return m_CritSec.RecursionCount > 0 &&
               reinterpret_cast<DWORD_PTR>(m_CritSec.OwningThread) == GetCurrentThreadId();
    }

private:
    CRITICAL_SECTION m_CritSec;
};
