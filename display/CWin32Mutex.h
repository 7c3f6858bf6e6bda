// An unnamed Win32 mutex as a CSyncObjectBase: Lock waits without time-out,
// Unlock releases. A kernel mutex rather than a critical section because the
// JPEG renderer's host calls may block on it for a whole bitmap rebuild.
#pragma once

#include <windows.h>
#include "companions/V77Sync/CSyncObjectBase.h"

class CWin32Mutex : public CSyncObjectBase {
public:
    CWin32Mutex();
    ~CWin32Mutex() override;

    // False when the mutex could not be created (the owner's constructor
    // reports that); Lock and Unlock then do nothing and TryLock fails.
    bool IsValid() const { return m_hMutex != nullptr; }

    void Lock() override;
    void Unlock() override;
    bool TryLock() override;

private:
    HANDLE m_hMutex;
};
