// One worker thread with a request/reply channel: CallWorker posts a request
// and blocks until the worker Replies.
#pragma once

#include <windows.h>
#include <atomic>
#include "framework/CAMEvent.h"
#include "framework/CCritSec.h"

class CAMThread {
public:
    CAMThread(HRESULT* phr = nullptr);
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread; FALSE when it already runs or cannot be created.
    BOOL Create();
    // Posts request and waits for the worker's Reply; E_FAIL without a thread.
    DWORD CallWorker(DWORD request);
    // Waits for the thread to end and closes its handle.
    void Close();
    BOOL ThreadExists() const { return m_hThread != nullptr; }

    // Worker side.
    DWORD GetRequest();
    BOOL CheckRequest(DWORD* request);
    void Reply(DWORD result);
    HANDLE GetRequestHandle() const { return m_EventSend.Handle(); }
    DWORD GetRequestParam() const { return m_dwParam; }

    virtual DWORD ThreadProc() = 0;

protected:
    CCritSec m_AccessLock;   // one CallWorker at a time
    CCritSec m_WorkerLock;   // held by the worker while it serves a request
    CCritSec m_RequestLock;  // posting and retiring a request are each one step
    HANDLE m_hThread;

private:
    static DWORD WINAPI InitialThreadProc(LPVOID param);

    CAMEvent m_EventSend;
    CAMEvent m_EventComplete;
    // Mirrors m_EventSend for CheckRequest: a worker that polls once per
    // sample must not pay a kernel wait for it (a wineserver round trip
    // under Wine, tens of microseconds).
    std::atomic<bool> m_bRequestPending;
    DWORD m_dwParam;
    DWORD m_dwReturnVal;
};
