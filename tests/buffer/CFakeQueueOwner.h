// The owner a queue sees in unit tests: the system clock, a recorded event
// list, a position-valid event, and a master that is the queue itself unless
// the test makes this owner a slave of another one.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <atomic>
#include <vector>
#include <wrl/client.h>
#include "buffer/CBufferQueue.h"
#include "buffer/IBufferQueueOwner.h"
#include "framework/CAMEvent.h"
#include "framework/CCritSec.h"

struct QueueEvent {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class CFakeQueueOwner : public IBufferQueueOwner {
public:
    CFakeQueueOwner();
    ~CFakeQueueOwner();

    void SetQueue(CBufferQueue* queue) { m_pQueue = queue; }
    // Paces against master's queue instead of our own.
    void FollowMaster(CFakeQueueOwner* master) { m_pMaster = master; }

    HRESULT GetReferenceClock(IReferenceClock** clock) override;
    void RaiseQueueEvent(long code, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT GetMasterPlayState(REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate) override;
    HRESULT GetMasterPosition(REFERENCE_TIME* position) override;
    bool IsOwnMaster() override { return m_pMaster == this; }
    bool DisplaysVideo() override { return displaysVideo.load(); }
    const void* Identity() override { return this; }
    HANDLE PositionValidEvent() override { return m_PositionValid.Handle(); }
    // caller: the fake owner of a follower (as GetMasterPlayState passes it).
    HANDLE CallerRelease(const void* caller) override;
    REFERENCE_TIME TimeStep() override { return timeStep.load(); }
    REFERENCE_TIME StreamStartTime() override { return streamStart.load(); }

    REFERENCE_TIME Now();
    std::vector<QueueEvent> Events();
    int CountEvents(long code);
    bool WaitForEvent(long code, DWORD timeoutMs);
    bool PositionValid() { return m_PositionValid.Check() != FALSE; }

    std::atomic<bool> displaysVideo{true};
    std::atomic<REFERENCE_TIME> timeStep{0};
    std::atomic<REFERENCE_TIME> streamStart{0};

private:
    Microsoft::WRL::ComPtr<IReferenceClock> m_pClock;
    CBufferQueue* m_pQueue;
    CFakeQueueOwner* m_pMaster;
    CAMEvent m_PositionValid;
    CCritSec m_EventLock;
    std::vector<QueueEvent> m_Events;
};
