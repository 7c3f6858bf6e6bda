// Throttling and flushing of the media-time events.
#include <gtest/gtest.h>

#include <type_traits>
#include <vector>
#include "display/CDisplayNotification.h"
#include "v77/V77Events.h"

namespace {

class CRecordingNotification : public CDisplayNotification {
public:
    CRecordingNotification()
    {
        m_MinInterval = 1000000;
        m_bEnabled = true;
    }

    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) override
    {
        events.push_back({code, param1, param2});
        return S_OK;
    }

    void Enable(bool on) { m_bEnabled = on; }
    LONGLONG LastNotifyClock() const { return m_LastNotifyClock; }
    void SetLastNotifyClock(LONGLONG value) { m_LastNotifyClock = value; }

    // The media times sent, rebuilt from the low and high halves.
    std::vector<LONGLONG> Times() const
    {
        std::vector<LONGLONG> times;
        for (const Event& e : events) {
            EXPECT_EQ(EC_V77_MEDIA_TIME, e.code);
            times.push_back(static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(e.param2)) << 32) |
                                                  static_cast<DWORD>(e.param1)));
        }
        return times;
    }

    struct Event {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    std::vector<Event> events;
};

TEST(DisplayNotification, TenUpdatesWithinTheIntervalSendOneThenFlushSendsTheLast)
{
    CRecordingNotification notification;
    for (LONGLONG t = 1; t <= 10; ++t)
        notification.UpdateDisplayTime(t * 1000);
    EXPECT_EQ(std::vector<LONGLONG>{1000}, notification.Times());
    notification.FlushDisplayTime();
    EXPECT_EQ((std::vector<LONGLONG>{1000, 10000}), notification.Times());
    notification.UpdateDisplayTime(11000);
    EXPECT_EQ((std::vector<LONGLONG>{1000, 10000, 11000}), notification.Times()) << "after a flush: at once";
}

TEST(DisplayNotification, AFlushWithNothingNewSendsNothingAndKeepsTheClock)
{
    CRecordingNotification notification;
    notification.UpdateDisplayTime(5000);
    const LONGLONG clock = notification.LastNotifyClock();
    ASSERT_NE(0, clock);
    notification.FlushDisplayTime();
    EXPECT_EQ(1u, notification.events.size());
    EXPECT_EQ(clock, notification.LastNotifyClock());
}

TEST(DisplayNotification, ZeroIsStoredButNeverSent)
{
    CRecordingNotification notification;
    notification.UpdateDisplayTime(0);
    notification.FlushDisplayTime();
    EXPECT_TRUE(notification.events.empty());
    // The unsent zero still took the interval's slot: 7000 waits for the flush.
    notification.UpdateDisplayTime(7000);
    EXPECT_TRUE(notification.events.empty());
    notification.FlushDisplayTime();
    notification.UpdateDisplayTime(0);
    notification.FlushDisplayTime();
    EXPECT_EQ(std::vector<LONGLONG>{7000}, notification.Times()) << "neither an update nor a flush sends 0";
}

TEST(DisplayNotification, TimesAreSplitIntoLowAndHighHalves)
{
    CRecordingNotification notification;
    const LONGLONG time = 133485408000000000LL;  // a file-time scale position
    notification.UpdateDisplayTime(time);
    ASSERT_EQ(1u, notification.events.size());
    EXPECT_EQ(static_cast<LONG_PTR>(static_cast<DWORD>(time & 0xFFFFFFFF)), notification.events[0].param1);
    EXPECT_EQ(static_cast<LONG_PTR>(static_cast<DWORD>(time >> 32)), notification.events[0].param2);
    const LONGLONG negative = -2;
    notification.FlushDisplayTime();
    notification.SetLastNotifyClock(0);
    notification.UpdateDisplayTime(negative);
    ASSERT_EQ(2u, notification.events.size());
    EXPECT_EQ(static_cast<LONG_PTR>(0xFFFFFFFEu), notification.events[1].param1) << "split, not sign-extended";
    EXPECT_EQ(static_cast<LONG_PTR>(0xFFFFFFFFu), notification.events[1].param2);
}

TEST(DisplayNotification, DisabledStillTracksButSendsNothing)
{
    CRecordingNotification notification;
    notification.Enable(false);
    notification.UpdateDisplayTime(1000);
    notification.UpdateDisplayTime(2000);
    notification.FlushDisplayTime();
    EXPECT_TRUE(notification.events.empty());
    notification.Enable(true);
    notification.FlushDisplayTime();
    EXPECT_TRUE(notification.events.empty()) << "enabling does not send what was already taken as sent";
    notification.UpdateDisplayTime(3000);
    EXPECT_EQ(std::vector<LONGLONG>{3000}, notification.Times());
}

TEST(DisplayNotification, AClockThatStepsBackSendsNothingUntilAFlush)
{
    CRecordingNotification notification;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const LONGLONG later = ((static_cast<LONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) + 600000000LL;
    notification.SetLastNotifyClock(later);  // as if the last event was sent a minute from now
    notification.UpdateDisplayTime(1000);
    EXPECT_TRUE(notification.events.empty());
    notification.FlushDisplayTime();
    EXPECT_EQ(std::vector<LONGLONG>{1000}, notification.Times());
    notification.UpdateDisplayTime(2000);
    EXPECT_EQ((std::vector<LONGLONG>{1000, 2000}), notification.Times());
}

TEST(DisplayNotificationLayout, NotifyEventIsTheOnlyVirtualSlot)
{
    // A virtual destructor would add slots after NotifyEvent.
    EXPECT_FALSE(std::has_virtual_destructor<CDisplayNotification>::value);
    EXPECT_TRUE(std::is_polymorphic<CDisplayNotification>::value);
}

}  // namespace
