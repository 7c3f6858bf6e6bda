// An auto-reset event on a condition variable. Setting it with nobody
// waiting, and waiting on it once it is set, stay inside the process: under
// Wine a kernel event costs a wineserver round trip for every Set, Reset and
// Wait, which the delivery thread would pay once per frame.
#pragma once

#include <windows.h>

class CV77WakeEvent {
public:
    CV77WakeEvent();
    CV77WakeEvent(const CV77WakeEvent&) = delete;
    CV77WakeEvent& operator=(const CV77WakeEvent&) = delete;

    // Signals the event: one waiter (present or next) returns.
    void Set();
    void Reset();
    // True when the event was signalled within timeoutMs; the signal is consumed.
    bool Wait(DWORD timeoutMs = INFINITE);

private:
    SRWLOCK m_Lock;
    CONDITION_VARIABLE m_Changed;
    bool m_bSet;
};
