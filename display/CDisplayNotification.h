// Tells the host, through the owner's graph events, the media time of the
// frame just passed downstream: at most one event per m_MinInterval of wall
// clock, and the latest time always delivered by a flush (stop, pause,
// reposition). The owner forwards NotifyEvent to its filter's event sink.
#pragma once

#include <windows.h>
#include <atomic>
#include "companions/V77Sync/CV77CriticalSection.h"

class CDisplayNotification {
public:
    // The one slot: the owner's CBaseFilter::NotifyEvent. Its result is ignored here.
    virtual HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) = 0;

    // The media-time start of the sample just delivered.
    void UpdateDisplayTime(const LONGLONG& mediaTime);
    // Sends the latest reported time when it has not been sent yet.
    void FlushDisplayTime();
    // The wall clock on the file-time scale (100 ns since 1601).
    static LONGLONG WallClockNow();

    CDisplayNotification(const CDisplayNotification&) = delete;
    CDisplayNotification& operator=(const CDisplayNotification&) = delete;

protected:
    CDisplayNotification();
    // Not virtual: the owner is never deleted through this class, and the
    // class keeps its single slot.
    ~CDisplayNotification() = default;

    CV77CriticalSection m_Lock;     // guards the four time fields
    LONGLONG m_LastNotified;        // media time last sent
    LONGLONG m_Latest;              // media time last reported, sent or not
    LONGLONG m_LastNotifyClock;     // FILETIME of the last event sent; 0 after a flush
    LONGLONG m_MinInterval;         // 100 ns; set by the owner
    std::atomic<bool> m_bEnabled;   // read without the lock

private:
    void Send(LONGLONG mediaTime);
};
