// Throttling and flushing of the media-time events.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstring>
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

// GCC's member pointers (Itanium layout): a virtual one holds 1 + the
// slot's byte offset in the vtable.
template <typename Pmf>
ptrdiff_t SlotOf(Pmf pmf)
{
    static_assert(sizeof(Pmf) == 2 * sizeof(ptrdiff_t), "Itanium member pointer");
    ptrdiff_t raw[2];
    std::memcpy(raw, &pmf, sizeof(raw));
    return (raw[0] & 1) ? (raw[0] - 1) / static_cast<ptrdiff_t>(sizeof(void*)) : -1;
}

// The first virtual a derived class adds goes in the slot after its base's last.
class CNextSlot : public CRecordingNotification {
public:
    virtual int Marker() { return 77; }
};

// The fields alone behind one vtable pointer.
struct COneSlotLayout {
    virtual HRESULT NotifyEvent(long, LONG_PTR, LONG_PTR) = 0;
    CV77CriticalSection lock;
    LONGLONG times[4];
    std::atomic<bool> enabled;
};

TEST(DisplayNotificationLayout, NotifyEventIsTheOnlyVirtualSlot)
{
    EXPECT_FALSE(std::has_virtual_destructor<CDisplayNotification>::value);
    EXPECT_EQ(0, SlotOf(&CDisplayNotification::NotifyEvent));
    EXPECT_EQ(1, SlotOf(&CNextSlot::Marker)) << "the base has more than one slot";
    EXPECT_EQ(sizeof(COneSlotLayout), sizeof(CDisplayNotification));

    // A caller holding only the table reaches the owner's NotifyEvent through slot 0.
    CNextSlot owner;
    CDisplayNotification* base = &owner;
    using SlotFn = HRESULT (*)(CDisplayNotification*, long, LONG_PTR, LONG_PTR);
    const SlotFn slot0 = reinterpret_cast<SlotFn>((*reinterpret_cast<void***>(base))[0]);
    EXPECT_EQ(S_OK, slot0(base, 0x8002, 5, 6));
    ASSERT_EQ(1u, owner.events.size());
    EXPECT_EQ(0x8002, owner.events[0].code);
    EXPECT_EQ(6, owner.events[0].param2);
}

}  // namespace
