// Plays the upstream archive source for a time-shift queue in unit tests: a
// thread that takes the queue's requests and answers them from a synthetic
// recording (Add for each frame, then OnRequestDone), recording what it was
// asked. It flushes the queue (Abort, Flush) when a request says so.
#pragma once

#include <windows.h>
#include <atomic>
#include <vector>
#include "buffer/CBufferQueue.h"
#include "framework/CCritSec.h"
#include "tests/buffer/SyntheticRecording.h"

struct FeederRequest {
    REFERENCE_TIME position;
    DWORD type;
    WORD flush;
    int first;
    int count;
};

class CQueueFeeder {
public:
    CQueueFeeder(CBufferQueue* queue, const SyntheticRecording& recording);
    ~CQueueFeeder();  // waits for the thread: the queue must be deactivated first

    std::vector<FeederRequest> Requests();
    size_t RequestCount();
    bool WaitForRequests(size_t count, DWORD timeoutMs);
    // Answers with this failure from the next request on (S_OK: normal).
    void FailWith(HRESULT hr) { m_hrFail = hr; }
    bool Running() { return WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT; }
    HANDLE Thread() const { return m_hThread; }

private:
    static DWORD WINAPI ThreadProc(LPVOID self);
    void Serve();
    void Deliver(const SyntheticRecording::Stretch& stretch);

    CBufferQueue* m_pQueue;
    SyntheticRecording m_Recording;
    CCritSec m_Lock;
    std::vector<FeederRequest> m_Requests;
    std::atomic<HRESULT> m_hrFail;
    HANDLE m_hThread;
};
