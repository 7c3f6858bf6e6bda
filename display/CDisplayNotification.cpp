#include "display/CDisplayNotification.h"

#include "companions/V77Sync/CV77AutoSync.h"
#include "v77/V77Events.h"

namespace {

constexpr DWORD kSpinCount = 4000;

}  // namespace

LONGLONG CDisplayNotification::WallClockNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

CDisplayNotification::CDisplayNotification()
    : m_Lock(kSpinCount), m_LastNotified(0), m_Latest(0), m_LastNotifyClock(0), m_MinInterval(0), m_bEnabled(false)
{
}

void CDisplayNotification::UpdateDisplayTime(const LONGLONG& mediaTime)
{
    const LONGLONG now = WallClockNow();
    bool send = false;
    {
        CV77AutoSync lock(m_Lock);
        m_Latest = mediaTime;
        if (now - m_LastNotifyClock >= m_MinInterval) {
            m_LastNotifyClock = now;
            m_LastNotified = mediaTime;
            send = true;
        }
    }
    if (send)
        Send(mediaTime);
}

void CDisplayNotification::FlushDisplayTime()
{
    bool send = false;
    LONGLONG value = 0;
    {
        CV77AutoSync lock(m_Lock);
        if (m_Latest != m_LastNotified) {
            m_LastNotifyClock = 0;  // the next update goes out at once
            m_LastNotified = m_Latest;
            value = m_Latest;
            send = true;
        }
    }
    if (send)
        Send(value);
}

void CDisplayNotification::Send(LONGLONG mediaTime)
{
    // Outside the lock: the event sink may call back into the owner.
    if (mediaTime == 0 || !m_bEnabled.load())
        return;
    const ULONGLONG bits = static_cast<ULONGLONG>(mediaTime);
    NotifyEvent(EC_V77_MEDIA_TIME, static_cast<LONG_PTR>(static_cast<DWORD>(bits & 0xFFFFFFFFu)),
                static_cast<LONG_PTR>(static_cast<DWORD>(bits >> 32)));
}
