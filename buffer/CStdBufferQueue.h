// Live video: a bounded first-in first-out store. When it is full the oldest
// frame is dropped; frames come out in arrival order as fast as the delivery
// thread takes them. Frames handed out stay in the store (for GetSampleAt)
// until newer ones push them out.
#pragma once

#include <atomic>
#include <deque>
#include <wrl/client.h>
#include "buffer/CBufferQueue.h"
#include "companions/V77Sync/CV77WakeEvent.h"

class CStdBufferQueue : public CBufferQueue {
public:
    explicit CStdBufferQueue(IBufferQueueOwner* owner);
    ~CStdBufferQueue() override;

    bool GetSampleAt(const REFERENCE_TIME* time, LONG offset, IMediaSample** out) override;
    HRESULT SetSize(LONG count, LONG bufferSize) override;
    void Abort() override;
    void Flush() override;
    void Clear() override;
    void StopPlayback() override;
    void Deactivate() override;
    void StartPlayback() override;
    REFERENCE_TIME GetFirstTime() override;
    REFERENCE_TIME GetLastTime() override;
    LONG GetMinimumCount() override;
    HRESULT Add(IV77PoolItem* frame) override;
    HRESULT GetNext(IV77PoolItem** out) override;
    HRESULT OnRequestDone(HRESULT hr, LONG frameCount, DWORD reserved, REFERENCE_TIME next) override;

    // Frames held (handed out or not), for diagnostics and tests.
    size_t GetSize();
    LONG GetPending();

private:
    struct Entry {
        Microsoft::WRL::ComPtr<IV77PoolItem> item;
        Microsoft::WRL::ComPtr<IMediaSample> sample;
        REFERENCE_TIME start;
    };

    static constexpr LONG kMinimumCount = 4;
    // Frames that arrive closer together than this are waited for by spinning:
    // putting the delivery thread to sleep and waking it costs more than the gap.
    static constexpr LONGLONG kSpinMicroseconds = 100;

    // Releases every entry; the queue lock is held.
    void Empty();
    // Index of the last entry whose start is not after time (0 when all are after).
    size_t FindNotAfter(REFERENCE_TIME time) const;
    static LONGLONG Ticks();
    static LONGLONG SpinTicks();
    // Spins until a frame arrives after arrivals, or for the spin time at most.
    void SpinForArrival(LONG arrivals);

    std::deque<Entry> m_Entries;    // arrival order
    LONG m_lPending;                // entries not handed out yet, the newest ones
    CV77WakeEvent m_DataEvent;      // auto-reset; wakes GetNext (Add, Abort)
    bool m_bAbort;
    bool m_bWaiting;                // the delivery thread waits on the data event
    LONGLONG m_tLastArrival;        // performance-counter ticks of the latest Add
    LONGLONG m_tArrivalGap;         // ticks between the latest two Adds
    std::atomic<LONG> m_cArrivals;  // Adds so far, watched by a spinning GetNext
};
