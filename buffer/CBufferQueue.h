// The queue of a buffer filter: what is kept, dropped, handed out next and
// when. The virtual operations keep this slot order (0 GetSampleAt ... 27
// OnRequestDone); the time-shift queue adds WaitForTime as slot 28.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "buffer/IBufferQueueOwner.h"
#include "framework/CAMEvent.h"
#include "framework/CCritSec.h"
#include "v77/IV77SamplePool.h"
#include "v77/V77Types.h"

// winbase.h maps GetCurrentTime() to GetTickCount(); the queue has its own.
#ifdef GetCurrentTime
#undef GetCurrentTime
#endif

class CBufferQueue {
public:
    explicit CBufferQueue(IBufferQueueOwner* owner);

    // 0: the frame nearest *time (not after it), moved by offset frames.
    virtual bool GetSampleAt(const REFERENCE_TIME* time, LONG offset, IMediaSample** out) = 0;
    // 1
    virtual ~CBufferQueue();
    // 2: capacity = count; reserved bytes grow by count x bufferSize.
    virtual HRESULT SetSize(LONG count, LONG bufferSize);
    // 3: input BeginFlush.
    virtual void Abort() = 0;
    // 4: input EndFlush.
    virtual void Flush() = 0;
    // 5: after Stop: no capacity, nothing reserved.
    virtual void Clear();
    // 6: filter Stop.
    virtual void StopPlayback() = 0;
    // 7: output pin Inactive: wakes every wait of the delivery thread.
    virtual void Deactivate() = 0;
    // 8: filter Pause.
    virtual void StartPlayback() = 0;
    // 9, 10
    virtual REFERENCE_TIME GetFirstTime() = 0;
    virtual REFERENCE_TIME GetLastTime() = 0;
    // 11: the least buffer count the queue works with.
    virtual LONG GetMinimumCount() = 0;
    // 12: the buffer size the allocators use for a requested one.
    virtual LONG GetBufferSize(LONG requested);
    // 13..19, 21: time-shift operations; E_NOTIMPL here.
    virtual HRESULT WaitReady(DWORD timeoutMs);
    virtual HRESULT SetRate(double rate);
    virtual HRESULT SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop);
    virtual HRESULT Step(LONG frames);
    virtual HRESULT GetRequest(REFERENCE_TIME* position, DWORD* type, WORD* flush);
    virtual HRESULT GetPlayState(void* caller, REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate);
    virtual HRESULT GetPosition(REFERENCE_TIME* position);
    // 20
    virtual bool CanSeek();
    // 21
    virtual HRESULT GetCurrentTime(REFERENCE_TIME* time);
    // 22: an empty pooled sample of the input allocator for a command record.
    virtual HRESULT GetCommandSample(IV77PoolItem** item);
    // 23: upstream streaming thread.
    virtual HRESULT Add(IV77PoolItem* frame) = 0;
    // 24: delivery thread; blocks until a frame is due or the queue aborts.
    virtual HRESULT GetNext(IV77PoolItem** out) = 0;
    // 25: true when the queue swallows end of stream.
    virtual bool AddEndOfStream();
    // 26
    virtual HRESULT AddSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // 27: the upstream source delivered (or failed) the stretch last requested.
    virtual HRESULT OnRequestDone(HRESULT hr, LONG frameCount, DWORD reserved, REFERENCE_TIME next) = 0;

    CBufferQueue(const CBufferQueue&) = delete;
    CBufferQueue& operator=(const CBufferQueue&) = delete;

    // The filter's allocators (not referenced: the pins own them and outlive the queue).
    void SetAllocators(IMemAllocator* input, IMemAllocator* output);
    LONG GetCapacity();
    LONGLONG GetReservedBytes();
    // The queue lock, for callers that read a frame while it cannot be dropped.
    CCritSec* QueueLock() { return &m_Lock; }
    // Manual: set from BeginFlush, Stop or Inactive until EndFlush or Pause
    // (by the time-shift queues). A wait made on this queue's behalf, here or
    // in another queue (a slave's delivery thread in its master's
    // GetPlayState), ends when it is set.
    HANDLE ReleaseEvent() const { return m_Release.Handle(); }

protected:
    // Ends a clock wait in progress (Unadvise and wake the waiter), and any
    // wait begun later for a due time decided before this call.
    void CancelClockWait();
    // The delivery thread is about to decide a due time: a cancel from now on
    // ends the wait for it, even one that comes before the wait begins.
    void BeginClockDecision();
    // Waits on the reference clock until time; false when cancelled or without a clock.
    bool WaitForClock(REFERENCE_TIME time);
    // The reference clock time, or 0 without a clock.
    REFERENCE_TIME ClockTime();
    // Queues a command record as a frame, taking the item from the input allocator.
    HRESULT AddCommand(const V77_COMMAND_RECORD& record);

    IBufferQueueOwner* const m_pOwner;
    CCritSec m_Lock;
    LONG m_lCapacity;
    LONGLONG m_llReserved;
    CAMEvent m_ClockEvent;          // auto-reset
    CAMEvent m_Release;             // manual, see ReleaseEvent
    DWORD_PTR m_dwAdviseCookie;
    bool m_bClockWait;              // a clock wait is in progress
    bool m_bClockCancelled;         // ... and has been cancelled
    // Counts cancels; a wait whose due time was decided under an older count
    // is not begun, so a cancel in the gap between deciding and waiting holds.
    ULONG m_ulCancelCount;
    ULONG m_ulDecisionCount;
    IMemAllocator* m_pInputAllocator;
    IMemAllocator* m_pOutputAllocator;
};
