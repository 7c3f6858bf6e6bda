// One Win32 critical section as a CSyncObjectBase.
#pragma once

#include <windows.h>
#include "companions/V77Sync/CSyncObjectBase.h"

class CV77CriticalSection : public CSyncObjectBase {
public:
    CV77CriticalSection() { InitializeCriticalSection(&m_Section); }
    explicit CV77CriticalSection(DWORD spinCount) { InitializeCriticalSectionAndSpinCount(&m_Section, spinCount); }
    ~CV77CriticalSection() override { DeleteCriticalSection(&m_Section); }

    void Lock() override { EnterCriticalSection(&m_Section); }
    void Unlock() override { LeaveCriticalSection(&m_Section); }
    bool TryLock() override { return TryEnterCriticalSection(&m_Section) != FALSE; }

private:
    CRITICAL_SECTION m_Section;
};
