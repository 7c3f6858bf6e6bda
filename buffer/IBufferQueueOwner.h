// What a buffer queue needs from the filter that owns it. The buffer filter
// implements it; unit tests supply their own owner.
#pragma once

#include <windows.h>
#include <strmif.h>

class IBufferQueueOwner {
public:
    // The graph's reference clock, with a reference; S_FALSE and null without one.
    virtual HRESULT GetReferenceClock(IReferenceClock** clock) = 0;
    // Posts a graph event (the filter's NotifyEvent).
    virtual void RaiseQueueEvent(long code, LONG_PTR param1, LONG_PTR param2) = 0;
    // The group master's play state. It may wait (a master that shows no
    // video waits until it has a position), so the owner's locks are not held.
    virtual HRESULT GetMasterPlayState(REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate) = 0;
    // The group master's current position, asked under the owner's master lock.
    virtual HRESULT GetMasterPosition(REFERENCE_TIME* position) = 0;
    // True when the owner is the master of its group (or has none).
    virtual bool IsOwnMaster() = 0;
    // True when the owner shows video (its display notification is on).
    virtual bool DisplaysVideo() = 0;
    // The value the owner passes as "caller" when it asks a master for its play state.
    virtual const void* Identity() = 0;
    // Manual-reset event: the owner's play position is valid.
    virtual HANDLE PositionValidEvent() = 0;
    // The release event (CBufferQueue::ReleaseEvent) of the group member
    // that asks for the play state as caller; null when caller is not known
    // as a member of this owner's group.
    virtual HANDLE CallerRelease(const void* caller) = 0;
    // Nominal time between frames (100 ns), 0 when not set.
    virtual REFERENCE_TIME TimeStep() = 0;
    // The reference time at which the graph's stream started.
    virtual REFERENCE_TIME StreamStartTime() = 0;

protected:
    ~IBufferQueueOwner() = default;
};
