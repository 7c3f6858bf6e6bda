// Seeded random injection against the time-shift queue: while a delivery
// thread takes frames and a scripted source serves the requests, the host
// seeks (flushing, as it plays), changes the rate and direction, steps, and
// stops and restarts, at random points. Every call must return in time, and
// frames taken while no host call overlapped must follow each other one by
// one in the playing direction (nothing lost, nothing twice), a seek's first
// frame being the one at its position.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <vector>
#include <wrl/client.h>
#include "buffer/CFullBufferQueue.h"
#include "buffer/V77CommandRecord.h"
#include "framework/CAutoLock.h"
#include "framework/CCritSec.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/CFakeQueueOwner.h"
#include "tests/buffer/CQueueFeeder.h"
#include "tests/buffer/TestFrames.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/TestWait.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kSegment = 8;
constexpr int kFrames = 300;
constexpr REFERENCE_TIME kFrameTime = 40000;  // 4 ms
constexpr DWORD kCallBoundMs = 5000;
constexpr int kIterations = 3000;
constexpr ULONGLONG kRunBoundMs = 40000;

// One frame taken by the delivery thread, with the host-call epoch read just
// before GetNext and just after it returned (odd: a host call in progress).
struct Taken {
    int frame;
    ULONG before;
    ULONG after;
};

class CRaceRig {
public:
    CRaceRig() : m_Recording(kFrames, kSegment, kFrameTime), m_Queue(&m_Owner, kSegment)
    {
        m_Owner.SetQueue(&m_Queue);
    }

    ~CRaceRig()
    {
        m_Queue.StopPlayback();
        m_Queue.Deactivate();
        m_bStop = true;
        if (m_hWatchdog) {
            WaitForSingleObject(m_hWatchdog, INFINITE);
            CloseHandle(m_hWatchdog);
        }
        if (m_hDelivery) {
            WaitForSingleObject(m_hDelivery, kCallBoundMs);
            CloseHandle(m_hDelivery);
        }
        m_Feeder.reset();
    }

    bool Start()
    {
        if (FAILED(m_Queue.SetSize(3 * kSegment, 16)))
            return false;
        m_Queue.StartPlayback();
        m_Feeder = std::make_unique<CQueueFeeder>(&m_Queue, m_Recording);
        m_hDelivery = CreateThread(nullptr, 0, DeliveryProc, this, 0, nullptr);
        return m_hDelivery != nullptr;
    }

    // Runs one host call with the epoch odd around it, on this thread; the
    // watchdog releases (Stop, Inactive) a call that does not return in time
    // and marks it. False when the call hung.
    bool HostCall(const std::function<void()>& call)
    {
        ++m_Epoch;
        call();
        ++m_Epoch;
        return !m_bHung.load();
    }

    bool StartWatchdog()
    {
        m_hWatchdog = CreateThread(nullptr, 0, WatchdogProc, this, 0, nullptr);
        return m_hWatchdog != nullptr;
    }

    ULONG Epoch() const { return m_Epoch.load(); }
    REFERENCE_TIME T(int frame) const { return m_Recording.TimeOf(frame); }
    CFullBufferQueue& Queue() { return m_Queue; }

    // The source's thread ends at Stop (its request wait fails); a new one
    // starts asking after the Pause that follows.
    void EndSource() { m_Feeder.reset(); }
    void StartSource() { m_Feeder = std::make_unique<CQueueFeeder>(&m_Queue, m_Recording); }

    std::vector<Taken> TakenFrames()
    {
        CAutoLock lock(&m_Lock);
        return m_Taken;
    }

    bool DeliveryEnds()
    {
        m_bStop = true;
        m_Queue.StopPlayback();
        m_Queue.Deactivate();
        return WaitForSingleObject(m_hDelivery, kCallBoundMs) == WAIT_OBJECT_0;
    }

private:
    static DWORD WINAPI WatchdogProc(LPVOID self)
    {
        static_cast<CRaceRig*>(self)->Watch();
        return 0;
    }

    void Watch()
    {
        ULONG seen = m_Epoch.load();
        ULONGLONG since = NowMs();
        while (!m_bStop) {
            Sleep(50);
            const ULONG now = m_Epoch.load();
            if (now != seen) {
                seen = now;
                since = NowMs();
            } else if (now % 2 == 1 && NowMs() - since > kCallBoundMs && !m_bHung) {
                m_bHung = true;
                m_Queue.StopPlayback();
                m_Queue.Deactivate();
            }
        }
    }

    static DWORD WINAPI DeliveryProc(LPVOID self)
    {
        CComInit com;
        static_cast<CRaceRig*>(self)->Deliver();
        return 0;
    }

    void Deliver()
    {
        while (!m_bStop) {
            const ULONG before = m_Epoch.load();
            ComPtr<IV77PoolItem> item;
            const HRESULT hr = m_Queue.GetNext(&item);
            const ULONG after = m_Epoch.load();
            if (hr != S_OK) {
                Sleep(1);  // stopped or flushing: the delivery thread tries again
                continue;
            }
            if (V77CommandRecord::IsCommand(item.Get()))
                continue;
            CAutoLock lock(&m_Lock);
            m_Taken.push_back({FrameNumber(item.Get()), before, after});
        }
    }

    CComInit m_Com;
    SyntheticRecording m_Recording;
    CFakeQueueOwner m_Owner;
    CFullBufferQueue m_Queue;
    std::unique_ptr<CQueueFeeder> m_Feeder;
    std::atomic<ULONG> m_Epoch{0};
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bHung{false};
    HANDLE m_hDelivery = nullptr;
    HANDLE m_hWatchdog = nullptr;
    CCritSec m_Lock;
    std::vector<Taken> m_Taken;
};

TEST(BufferRace, RandomSeeksRatesStepsAndStopsNeverHangLoseOrRepeatAFrame)
{
    CRaceRig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.StartWatchdog());
    std::mt19937 random(20261207);
    const double rates[] = {1.0, 4.0, 8.0, -4.0, -1.0, 0.001, 0.0};
    // Per quiet epoch (even): the rate in force, and the frame a seek asked for.
    std::map<ULONG, double> rateOf;
    std::map<ULONG, int> seekOf;
    double rate = 4.0;
    ASSERT_TRUE(rig.HostCall([&] { rig.Queue().SetRate(rate); }));
    const ULONGLONG begin = NowMs();
    int iterations = 0;
    for (; iterations < kIterations && NowMs() - begin < kRunBoundMs; ++iterations) {
        // Now and then a longer quiet stretch: on a loaded machine host calls
        // slow down until frames flow almost only while one is in progress,
        // and too few consecutive frames are left to judge.
        const DWORD pause = random() % 5;
        Sleep(iterations % 20 == 19 ? 40 : pause);
        const unsigned op = random() % 10;
        bool returned = true;
        int seekFrame = -1;
        if (op < 4) {
            seekFrame = 1 + static_cast<int>(random() % (kFrames - 2));
            REFERENCE_TIME position = rig.T(seekFrame);
            returned = rig.HostCall([&] { rig.Queue().SetPositions(&position, nullptr, nullptr); });
        } else if (op < 7) {
            rate = rates[random() % (sizeof(rates) / sizeof(rates[0]))];
            returned = rig.HostCall([&] { rig.Queue().SetRate(rate); });
        } else if (op < 9) {
            const LONG frames = static_cast<LONG>(random() % 7) - 3;
            returned = rig.HostCall([&] { rig.Queue().Step(frames); });
            rate = frames > 0 ? 0.001 : frames < 0 ? -0.001 : 0.0;
        } else {
            // Stop and Pause again, as the filter does, then a seek and the rate.
            seekFrame = 1 + static_cast<int>(random() % (kFrames - 2));
            REFERENCE_TIME position = rig.T(seekFrame);
            returned = rig.HostCall([&] {
                CFullBufferQueue& queue = rig.Queue();
                queue.StopPlayback();
                queue.Deactivate();
                queue.Clear();
                rig.EndSource();
                queue.SetSize(3 * kSegment, 16);
                queue.StartPlayback();
                rig.StartSource();
                queue.SetPositions(&position, nullptr, nullptr);
                queue.SetRate(rate);
            });
        }
        ASSERT_TRUE(returned) << "host call " << op << " hung at iteration " << iterations;
        rateOf[rig.Epoch()] = rate;
        if (seekFrame >= 0)
            seekOf[rig.Epoch()] = seekFrame;
    }
    ASSERT_TRUE(rig.DeliveryEnds()) << "the delivery thread did not end after Stop";

    const std::vector<Taken> taken = rig.TakenFrames();
    int checkedPairs = 0;
    int checkedSeeks = 0;
    for (size_t i = 0; i < taken.size(); ++i) {
        const Taken& b = taken[i];
        if (b.before != b.after || b.before % 2 != 0 || !rateOf.count(b.before))
            continue;
        const double r = rateOf[b.before];
        if (r > -0.01 && r < 0.01)
            continue;
        const bool firstOfEpoch = i == 0 || taken[i - 1].after != b.before || taken[i - 1].before != b.before;
        if (firstOfEpoch) {
            const auto seek = seekOf.find(b.before);
            if (seek != seekOf.end()) {
                // Frames may go out while the seek call is still returning:
                // the first one after it lies that many frames on from the
                // position, in the playing direction, never elsewhere.
                long during = 0;
                for (const Taken& t : taken)
                    during += (t.before < b.before && t.after >= b.before - 1) ? 1 : 0;  // overlapped the seek
                const long moved = r > 0 ? b.frame - seek->second : seek->second - b.frame;
                EXPECT_TRUE(moved >= 0 && moved <= during)
                    << "the first frame after a seek to " << seek->second << " at rate " << r << " is " << b.frame
                    << " (" << during << " taken during the seek)";
                ++checkedSeeks;
            }
            continue;
        }
        const int expected = taken[i - 1].frame + (r > 0 ? 1 : -1);
        EXPECT_EQ(expected, b.frame) << "after frame " << taken[i - 1].frame << " at rate " << r << ", epoch "
                                     << b.before;
        ++checkedPairs;
    }
    std::printf("[ race     ] %d host calls, %zu frames taken, %d pairs and %d seeks checked\n", iterations,
                taken.size(), checkedPairs, checkedSeeks);
    EXPECT_GT(checkedPairs, 100) << "too few quiet stretches to judge";
}

}  // namespace
