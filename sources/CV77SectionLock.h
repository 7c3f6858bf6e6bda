// Holds a Win32 critical section for a scope: the allocators over sample
// pools keep a plain CRITICAL_SECTION of their own.
#pragma once

#include <windows.h>

class CV77SectionLock {
public:
    explicit CV77SectionLock(CRITICAL_SECTION* section) : m_pSection(section) { EnterCriticalSection(section); }
    ~CV77SectionLock() { LeaveCriticalSection(m_pSection); }
    CV77SectionLock(const CV77SectionLock&) = delete;
    CV77SectionLock& operator=(const CV77SectionLock&) = delete;

private:
    CRITICAL_SECTION* m_pSection;
};
