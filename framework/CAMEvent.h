// A Win32 event object that owns its handle.
#pragma once

#include <windows.h>

class CAMEvent {
public:
    explicit CAMEvent(BOOL manualReset = FALSE, BOOL initialState = FALSE)
        : m_hEvent(CreateEventW(nullptr, manualReset, initialState, nullptr))
    {
    }
    ~CAMEvent()
    {
        if (m_hEvent)
            CloseHandle(m_hEvent);
    }
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;

    operator HANDLE() const { return m_hEvent; }
    HANDLE Handle() const { return m_hEvent; }
    void Set() { SetEvent(m_hEvent); }
    void Reset() { ResetEvent(m_hEvent); }
    BOOL Wait(DWORD timeoutMs = INFINITE) { return WaitForSingleObject(m_hEvent, timeoutMs) == WAIT_OBJECT_0; }
    BOOL Check() { return Wait(0); }

private:
    HANDLE m_hEvent;
};
