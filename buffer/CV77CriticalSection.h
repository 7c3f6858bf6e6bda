// One Win32 critical section as a CSyncObjectBase. Kept inline: the display
// notification mixin uses it too, and neither library should link the other
// for three one-line calls.
#pragma once

#include <windows.h>
#include "buffer/CSyncObjectBase.h"

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
