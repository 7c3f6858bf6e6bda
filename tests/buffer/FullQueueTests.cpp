// The time-shift queue against a scripted source: sizing and rate limits,
// the requests a seek makes, lookups across segment edges, stepping,
// flushing seeks, paced playback, the end of the recording, and the way out
// of every blocking wait.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>
#include <wrl/client.h>
#include "buffer/CFullBufferQueue.h"
#include "buffer/CStdBufferQueue.h"
#include "buffer/V77CommandRecord.h"
#include "framework/CAutoLock.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/CFakeQueueOwner.h"
#include "tests/buffer/CQueueFeeder.h"
#include "tests/buffer/TestFrames.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/TestWait.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kSegment = 25;
constexpr DWORD kWaitMs = 5000;

// The time-shift queue with a gate between deciding a frame's due time and
// waiting for it: while armed, a wait for a time more than a second ahead
// stops at the gate until the test opens it.
class CGatedFullQueue : public CFullBufferQueue {
public:
    CGatedFullQueue(CFakeQueueOwner* owner, LONG segmentLength)
        : CFullBufferQueue(owner, segmentLength), m_pOwner(owner), reached(TRUE, FALSE), gate(TRUE, FALSE)
    {
    }

    bool WaitForTime(IMediaSample* sample, REFERENCE_TIME due, REFERENCE_TIME position,
                     REFERENCE_TIME frameTime) override
    {
        if (armed.load() && due > m_pOwner->Now() + 10000000) {
            armed = false;
            reached.Set();
            gate.Wait(INFINITE);
        }
        return CFullBufferQueue::WaitForTime(sample, due, position, frameTime);
    }

    // As right after a seek whose neighbour is not asked for yet.
    void IdleNeighbour(int offset)
    {
        CAutoLock lock(QueueLock());
        Segment(offset).Empty();
    }

    ULONG StepWaits()
    {
        CAutoLock lock(QueueLock());
        return m_ulStepWaits;
    }

    CFakeQueueOwner* const m_pOwner;
    std::atomic<bool> armed{false};
    CAMEvent reached;  // manual
    CAMEvent gate;     // manual
};

// A queue whose source the test plays by hand (Take, Serve).
class ServedByHand : public ::testing::Test {
protected:
    ServedByHand() : m_Recording(300, kSegment) {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        m_Owner.SetQueue(&m_Queue);
        ASSERT_EQ(S_OK, m_Queue.SetSize(3 * kSegment, 16));
        m_Queue.StartPlayback();
    }

    void TearDown() override
    {
        m_Queue.StopPlayback();
        m_Queue.Deactivate();
    }

    CComInit m_Com;
    SyntheticRecording m_Recording;
    CFakeQueueOwner m_Owner;
    CGatedFullQueue m_Queue{&m_Owner, kSegment};
};

class FullQueueTest : public ServedByHand {
protected:
    void SetUp() override
    {
        ServedByHand::SetUp();
        if (HasFatalFailure())
            return;
        m_Feeder = std::make_unique<CQueueFeeder>(&m_Queue, m_Recording);
    }

    void TearDown() override
    {
        ServedByHand::TearDown();
        m_Feeder.reset();
    }

    REFERENCE_TIME T(int frame) const { return m_Recording.TimeOf(frame); }

    HRESULT SeekTo(REFERENCE_TIME position)
    {
        HRESULT hr = E_UNEXPECTED;
        EXPECT_TRUE(FinishesWithin(kWaitMs, [&] { hr = m_Queue.SetPositions(&position, nullptr, nullptr); }))
            << "the seek did not finish";
        return hr;
    }

    int FrameAt(REFERENCE_TIME time, LONG offset)
    {
        ComPtr<IMediaSample> sample;
        if (!m_Queue.GetSampleAt(&time, offset, &sample))
            return -1;
        return FrameNumber(sample.Get());
    }

    int CurrentFrame()
    {
        REFERENCE_TIME time = 0;
        return SUCCEEDED(m_Queue.GetCurrentTime(&time)) ? m_Recording.FrameOf(time) : -1;
    }

    // The next item GetNext hands out (bounded); null when it failed or blocked.
    ComPtr<IV77PoolItem> Next(DWORD timeoutMs = kWaitMs)
    {
        auto item = std::make_shared<ComPtr<IV77PoolItem>>();
        auto hr = std::make_shared<HRESULT>(E_UNEXPECTED);
        CFullBufferQueue* queue = &m_Queue;
        BoundedCall call([=] { *hr = queue->GetNext(item->GetAddressOf()); });
        if (!call.Wait(timeoutMs)) {
            m_Queue.Deactivate();  // the way out; the test fails below
            EXPECT_TRUE(call.Wait(kWaitMs));
            ADD_FAILURE() << "GetNext blocked";
            return nullptr;
        }
        return *hr == S_OK ? *item : nullptr;
    }

    // The next media frame, skipping command records.
    ComPtr<IV77PoolItem> NextFrame(DWORD timeoutMs = kWaitMs)
    {
        for (;;) {
            ComPtr<IV77PoolItem> item = Next(timeoutMs);
            if (!item || !V77CommandRecord::IsCommand(item.Get()))
                return item;
        }
    }

    bool HasRequest(REFERENCE_TIME position, DWORD type)
    {
        for (const FeederRequest& request : m_Feeder->Requests()) {
            if (request.position == position && request.type == type)
                return true;
        }
        return false;
    }

    std::unique_ptr<CQueueFeeder> m_Feeder;
};

TEST(FullQueueLimits, SizingFollowsTheSegmentLength)
{
    CComInit com;
    CFakeQueueOwner owner;
    CFullBufferQueue queue(&owner, 25);
    EXPECT_EQ(75, queue.GetMinimumCount());
    ASSERT_EQ(S_OK, queue.SetSize(100, 10));
    EXPECT_EQ(99, queue.GetCapacity()) << "capacity is a multiple of three segments' share";
    EXPECT_EQ(990, queue.GetReservedBytes());
    EXPECT_TRUE(queue.AddEndOfStream()) << "the time-shift queue swallows end of stream";
    queue.Clear();
    EXPECT_EQ(0, queue.GetCapacity());
    EXPECT_EQ(0, queue.GetReservedBytes());
}

TEST(FullQueueLimits, RatesBelowOneHundredthAreClamped)
{
    CComInit com;
    CFakeQueueOwner owner;
    CFullBufferQueue queue(&owner, 25);
    const struct {
        double set;
        double stored;
    } cases[] = {{0.005, 0.001}, {-0.0005, 0.0}, {-0.005, -0.001}, {0.0099, 0.001}, {0.01, 0.01}, {-4.0, -4.0}};
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, queue.SetRate(c.set));
        EXPECT_DOUBLE_EQ(c.stored, queue.GetRate()) << "SetRate(" << c.set << ")";
    }
}

TEST_F(FullQueueTest, SetPositionsOutsideTheRangeStoresOnlyTheRange)
{
    REFERENCE_TIME start = T(10);
    REFERENCE_TIME stop = T(20);
    REFERENCE_TIME beyond = T(30);
    REFERENCE_TIME before = T(5);
    EXPECT_EQ(E_INVALIDARG, m_Queue.SetPositions(&beyond, &start, &stop));
    EXPECT_EQ(start, m_Queue.GetStartPosition());
    EXPECT_EQ(stop, m_Queue.GetStopPosition());
    EXPECT_EQ(E_INVALIDARG, m_Queue.SetPositions(&before, &start, &stop));
    Sleep(100);
    EXPECT_EQ(0u, m_Feeder->RequestCount()) << "a refused position must not seek";
    EXPECT_EQ(S_OK, m_Queue.SetPositions(nullptr, nullptr, nullptr));
    EXPECT_EQ(0, m_Queue.GetStartPosition());
    EXPECT_EQ(CFullBufferQueue::kMaxTime, m_Queue.GetStopPosition());
}

TEST_F(FullQueueTest, SeekFillsItsSegmentThenTheOneBeforeThenTheOneAfter)
{
    REFERENCE_TIME ignored = 0;
    double rate = 0;
    EXPECT_EQ(S_FALSE, m_Queue.GetPlayState(&m_Owner, &ignored, &ignored, &rate)) << "no position yet";

    const REFERENCE_TIME position = T(100) + m_Recording.Duration() / 2;
    ASSERT_EQ(S_OK, SeekTo(position));
    const std::vector<FeederRequest> requests = m_Feeder->Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(position, requests[0].position);
    EXPECT_EQ(0u, requests[0].type);
    EXPECT_EQ(0, requests[0].flush) << "not playing yet: no flush";
    EXPECT_EQ(T(125), requests[1].position) << "the stretch before is named by the seek stretch's continuation";
    EXPECT_EQ(3u, requests[1].type);
    EXPECT_EQ(T(125), requests[2].position) << "the stretch after starts at the seek's continuation";
    EXPECT_EQ(2u, requests[2].type);

    EXPECT_EQ(T(75), m_Queue.GetFirstTime());
    EXPECT_EQ(T(149), m_Queue.GetLastTime());
    EXPECT_EQ(100, CurrentFrame()) << "the cursor is on the last frame not after the position";
    REFERENCE_TIME current = 0;
    ASSERT_EQ(S_OK, m_Queue.GetPosition(&current));
    EXPECT_EQ(position, current);
    EXPECT_EQ(S_OK, m_Queue.WaitReady(0)) << "no request waits to be taken";
}

TEST_F(FullQueueTest, GetSampleAtWalksAcrossSegmentEdges)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));  // segments 75..99, 100..124, 125..149
    EXPECT_EQ(99, FrameAt(T(99) + m_Recording.Duration() / 2, 0)) << "between segments: the earlier one's last";
    EXPECT_EQ(125, FrameAt(T(124), 1)) << "from the current's last frame into the next";
    EXPECT_EQ(99, FrameAt(T(100), -1)) << "from the current's first frame into the previous";
    EXPECT_EQ(130, FrameAt(T(120), 10));
    EXPECT_EQ(75, FrameAt(T(100), -25));
    EXPECT_EQ(-1, FrameAt(T(100), -26)) << "walking past the frames held";
    EXPECT_EQ(-1, FrameAt(T(124), 26));
    EXPECT_EQ(149, FrameAt(T(149), 0));
    EXPECT_EQ(-1, FrameAt(T(149) + 1, 0)) << "after every frame held";
    EXPECT_EQ(-1, FrameAt(T(75) - 1, 0)) << "before every frame held";
    EXPECT_EQ(-1, FrameAt(T(80), 100)) << "the walk never leaves the three segments";
}

TEST_F(FullQueueTest, StepCrossesSegmentBoundariesBothWays)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_EQ(S_OK, m_Queue.Step(24));
    EXPECT_EQ(124, CurrentFrame());
    EXPECT_DOUBLE_EQ(0.001, m_Queue.GetRate()) << "stepping holds the frame";

    ASSERT_EQ(S_OK, m_Queue.Step(1));
    EXPECT_EQ(125, CurrentFrame()) << "a rotation counts as one frame";
    ASSERT_TRUE(m_Feeder->WaitForRequests(4, kWaitMs));
    EXPECT_TRUE(HasRequest(T(150), 2)) << "rotating forward asks for the stretch after the new segment";

    ASSERT_EQ(S_OK, m_Queue.Step(-1));
    EXPECT_EQ(124, CurrentFrame());
    EXPECT_DOUBLE_EQ(-0.001, m_Queue.GetRate());
    ASSERT_TRUE(m_Feeder->WaitForRequests(5, kWaitMs));
    EXPECT_TRUE(HasRequest(T(125), 3)) << "rotating backward asks for the stretch before, by its follower's continuation";
    ASSERT_EQ(S_OK, m_Queue.Step(-30));
    EXPECT_EQ(94, CurrentFrame());

    // A neighbour that is merely idle is asked for, not taken for a dead end.
    ASSERT_EQ(S_OK, SeekTo(T(200)));
    m_Queue.IdleNeighbour(1);
    HRESULT hr = E_UNEXPECTED;
    ASSERT_TRUE(FinishesWithin(kWaitMs, [&] { hr = m_Queue.Step(25); }));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(225, CurrentFrame());
}

TEST_F(FullQueueTest, StepOutsideStartAndStopRaisesStopPositionAndStops)
{
    REFERENCE_TIME current = T(100);
    REFERENCE_TIME start = T(90);
    REFERENCE_TIME stop = T(110);
    HRESULT hr = E_UNEXPECTED;
    ASSERT_TRUE(FinishesWithin(kWaitMs, [&] { hr = m_Queue.SetPositions(&current, &start, &stop); }));
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(S_OK, m_Queue.Step(20));
    EXPECT_EQ(111, CurrentFrame()) << "stepping stops at the first frame past the stop";
    EXPECT_EQ(1, m_Owner.CountEvents(EC_V77_STOP_POSITION));
}

TEST_F(FullQueueTest, FrameHoldShowsTheFrameUnderTheCursorOnce)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_EQ(S_OK, m_Queue.SetRate(0.001));
    ComPtr<IV77PoolItem> held = NextFrame();
    ASSERT_TRUE(held);
    EXPECT_EQ(100, FrameNumber(held.Get()));
    ComPtr<IMediaSample> sample;
    held.As(&sample);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop)) << "shown at once: no sample time";

    // Nothing more until the cursor moves.
    auto item = std::make_shared<ComPtr<IV77PoolItem>>();
    CFullBufferQueue* queue = &m_Queue;
    BoundedCall call([=] { queue->GetNext(item->GetAddressOf()); });
    EXPECT_FALSE(call.Wait(200));
    ASSERT_EQ(S_OK, m_Queue.Step(1));
    ASSERT_TRUE(call.Wait(kWaitMs));
    EXPECT_EQ(101, FrameNumber(item->Get()));
}

TEST_F(FullQueueTest, PlaysForwardAndBackwardPacedByTheClock)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_EQ(S_OK, m_Queue.SetRate(4.0));  // 10 ms a frame
    const ULONGLONG begin = NowMs();
    int previous = -1;
    for (int i = 0; i < 40; ++i) {
        ComPtr<IV77PoolItem> frame = NextFrame();
        ASSERT_TRUE(frame);
        const int number = FrameNumber(frame.Get());
        if (previous >= 0) {
            ASSERT_EQ(previous + 1, number) << "forward play is frame by frame, across segments";
        }
        previous = number;
    }
    const ULONGLONG elapsed = NowMs() - begin;
    EXPECT_GE(elapsed, 300u) << "39 frames at 10 ms must take about 390 ms";
    EXPECT_LT(elapsed, 3000u);
    REFERENCE_TIME reference = 0;
    REFERENCE_TIME position = 0;
    double rate = 0;
    EXPECT_EQ(S_OK, m_Queue.GetPlayState(&m_Owner, &reference, &position, &rate));
    EXPECT_DOUBLE_EQ(4.0, rate);

    ASSERT_EQ(S_OK, m_Queue.SetRate(-4.0));
    previous = -1;
    for (int i = 0; i < 40; ++i) {
        ComPtr<IV77PoolItem> frame = NextFrame();
        ASSERT_TRUE(frame);
        const int number = FrameNumber(frame.Get());
        if (previous >= 0) {
            ASSERT_EQ(previous - 1, number) << "reverse play is frame by frame, across segments";
        }
        previous = number;
    }
    EXPECT_LT(previous, 110);
}

// A master whose play state the test sets: a group's master takes its rate
// change on its own delivery thread, possibly after a slave took its own.
// While armed, the next call stops at the gate until the test opens it.
class CScriptedMaster : public CStdBufferQueue {
public:
    using CStdBufferQueue::CStdBufferQueue;
    HRESULT GetPlayState(void*, REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate) override
    {
        if (armed.exchange(false)) {
            reached.Set();
            gate.Wait(INFINITE);
        }
        *reference = this->reference.load();
        *position = this->position.load();
        *rate = this->rate.load();
        return S_OK;
    }
    std::atomic<REFERENCE_TIME> reference{0};
    std::atomic<REFERENCE_TIME> position{0};
    std::atomic<double> rate{0};
    std::atomic<bool> armed{false};
    CAMEvent reached{TRUE, FALSE};  // manual
    CAMEvent gate{TRUE, FALSE};     // manual
};

// A slave at frame 100 whose master the test scripts, holding frame 100.
class FullQueueSlaveTest : public FullQueueTest {
protected:
    void SetUp() override
    {
        FullQueueTest::SetUp();
        if (HasFatalFailure())
            return;
        masterOwner.SetQueue(&master);
        m_Owner.FollowMaster(&masterOwner);
        ASSERT_EQ(S_OK, SeekTo(T(100)));
        master.reference = m_Owner.Now();
        master.position = T(100);
    }

    CFakeQueueOwner masterOwner;
    CScriptedMaster master{&masterOwner};
};

TEST_F(FullQueueSlaveTest, ASlaveToldToPlayWaitsForItsMasterToPlayInsteadOfParking)
{
    // The master holds at rate 0: it has not taken its rate record yet.
    ASSERT_EQ(S_OK, m_Queue.SetRate(1.0));
    ASSERT_TRUE(Next()) << "the slave's own rate record";
    auto frame = std::make_shared<ComPtr<IV77PoolItem>>();
    CFullBufferQueue* queue = &m_Queue;
    BoundedCall call([=] { queue->GetNext(frame->GetAddressOf()); });
    EXPECT_FALSE(call.Wait(200)) << "nothing is shown while the master holds";
    master.reference = m_Owner.Now();
    master.rate = 1.0;  // nothing wakes the slave: it must look again by itself
    if (!call.Wait(kWaitMs)) {
        m_Queue.Deactivate();  // the way out; the test fails
        ASSERT_TRUE(call.Wait(kWaitMs));
        FAIL() << "the slave stayed parked after its master began to play";
    }
    ASSERT_TRUE(*frame);
    EXPECT_EQ(100, FrameNumber(frame->Get()));
}

TEST_F(FullQueueSlaveTest, AStepMadeWhileTheFrameIsDecidedAgainstTheMasterIsShown)
{
    master.rate = 0.001;  // the group holds frames
    ASSERT_EQ(S_OK, m_Queue.Step(1));
    // The delivery thread reads frame 101, then asks the master (no queue
    // lock held); the second step moves on to 102 and signals meanwhile.
    master.armed = true;
    auto shown = std::make_shared<std::atomic<int>>(-1);
    CFullBufferQueue* queue = &m_Queue;
    BoundedCall delivery([=] {
        while (*shown != 102) {
            ComPtr<IV77PoolItem> item;
            if (queue->GetNext(&item) != S_OK)
                return;
            if (!V77CommandRecord::IsCommand(item.Get()))
                *shown = FrameNumber(item.Get());
        }
    });
    ASSERT_TRUE(master.reached.Wait(kWaitMs));
    ASSERT_EQ(S_OK, m_Queue.Step(1));
    master.gate.Set();
    if (!delivery.Wait(kWaitMs)) {
        m_Queue.Deactivate();
        ASSERT_TRUE(delivery.Wait(kWaitMs));
        FAIL() << "the step's wake-up was lost: frame 102 never shown (last " << shown->load() << ")";
    }
}

TEST(FullQueueGroup, AMastersPositionWaitEndsOnlyOnItsOwnOrTheCallersRelease)
{
    CComInit com;
    CFakeQueueOwner masterOwner;
    CFakeQueueOwner slaveOwner;
    masterOwner.displaysVideo = false;  // only then does a slave wait for the master's position
    CFullBufferQueue master(&masterOwner, kSegment);
    CFullBufferQueue slave(&slaveOwner, kSegment);
    masterOwner.SetQueue(&master);
    slaveOwner.SetQueue(&slave);
    slaveOwner.FollowMaster(&masterOwner);
    const struct {
        const char* what;
        void (*release)(CFullBufferQueue* master, CFullBufferQueue* slave);
    } cases[] = {
        {"the slave's Stop", [](CFullBufferQueue*, CFullBufferQueue* s) { s->StopPlayback(); }},
        {"the slave's BeginFlush", [](CFullBufferQueue*, CFullBufferQueue* s) { s->Abort(); }},
        {"the slave's Inactive", [](CFullBufferQueue*, CFullBufferQueue* s) { s->Deactivate(); }},
        {"the master's Stop", [](CFullBufferQueue* m, CFullBufferQueue*) { m->StopPlayback(); }},
        {"the master's Inactive", [](CFullBufferQueue* m, CFullBufferQueue*) { m->Deactivate(); }},
    };
    for (const auto& c : cases) {
        master.StartPlayback();
        slave.StartPlayback();
        ResetEvent(masterOwner.PositionValidEvent());
        auto hr = std::make_shared<HRESULT>(E_PENDING);
        BoundedCall asking([&, hr] {
            REFERENCE_TIME reference = 0;
            REFERENCE_TIME position = 0;
            double rate = 0;
            *hr = slaveOwner.GetMasterPlayState(&reference, &position, &rate);
        });
        EXPECT_FALSE(asking.Wait(300)) << c.what << ": the wait for the master's position ended by itself";
        c.release(&master, &slave);
        ASSERT_TRUE(asking.Wait(kWaitMs)) << c.what << " left the slave waiting for its master";
        EXPECT_EQ(S_FALSE, *hr) << c.what << ": no position to pace against";
    }
    master.Deactivate();
}

TEST_F(FullQueueTest, SeekWhilePlayingFlushesAndRestartsAtThePosition)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_EQ(S_OK, SeekTo(T(250)));
    std::vector<FeederRequest> requests = m_Feeder->Requests();
    ASSERT_EQ(6u, requests.size());
    EXPECT_EQ(T(250), requests[3].position);
    EXPECT_EQ(0xFFFF, requests[3].flush) << "a seek while playing makes the source flush";
    EXPECT_EQ(250, CurrentFrame());
    EXPECT_EQ(T(225), m_Queue.GetFirstTime());
    EXPECT_EQ(T(299), m_Queue.GetLastTime());

    // The delivery thread restarts its play state at the position, rate unchanged.
    ComPtr<IV77PoolItem> record = Next();
    ASSERT_TRUE(record);
    V77_COMMAND_RECORD command = {};
    ASSERT_EQ(S_OK, V77CommandRecord::Read(record.Get(), &command));
    EXPECT_EQ(V77_COMMAND_SEGMENT_START, command.Type);
    EXPECT_EQ(T(250), command.Start);
    EXPECT_EQ(T(250), command.Second);
    EXPECT_EQ(0, command.RateValid);
}

TEST_F(FullQueueTest, TheEndOfTheRecordingEndsPlayback)
{
    ASSERT_EQ(S_OK, SeekTo(T(290)));
    ASSERT_EQ(S_OK, m_Queue.SetRate(8.0));
    int last = -1;
    for (;;) {
        ComPtr<IV77PoolItem> item = Next();
        ASSERT_TRUE(item);
        V77_COMMAND_RECORD command = {};
        if (V77CommandRecord::Read(item.Get(), &command) == S_OK) {
            if (command.Type == V77_COMMAND_END_OF_STREAM)
                break;
            continue;
        }
        last = FrameNumber(item.Get());
    }
    EXPECT_EQ(299, last);
    EXPECT_EQ(1, m_Owner.CountEvents(EC_V77_SEGMENT_END));
}

TEST_F(FullQueueTest, AFailedSeekEndsPlaybackWithItsResult)
{
    m_Feeder->FailWith(E_ACCESSDENIED);
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_EQ(S_OK, m_Queue.SetRate(1.0));
    V77_COMMAND_RECORD command = {};
    do {
        ComPtr<IV77PoolItem> item = Next();
        ASSERT_TRUE(item);
        ASSERT_EQ(S_OK, V77CommandRecord::Read(item.Get(), &command)) << "no frame can come from a failed seek";
    } while (command.Type != V77_COMMAND_END_OF_STREAM);
    ASSERT_EQ(1, m_Owner.CountEvents(EC_V77_SEGMENT_END));
    for (const QueueEvent& event : m_Owner.Events()) {
        if (event.code == EC_V77_SEGMENT_END) {
            EXPECT_EQ(E_ACCESSDENIED, static_cast<HRESULT>(event.param1));
        }
    }
}

TEST_F(FullQueueTest, StopReleasesEveryBlockedCall)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    // Rate 0: the delivery side waits; a second source thread waits for a request.
    HRESULT next = S_OK;
    HRESULT request = S_OK;
    BoundedCall delivery([&] {
        ComPtr<IV77PoolItem> item;
        next = m_Queue.GetNext(&item);
    });
    BoundedCall source([&] {
        REFERENCE_TIME position = 0;
        DWORD type = 0;
        WORD flush = 0;
        request = m_Queue.GetRequest(&position, &type, &flush);
    });
    EXPECT_FALSE(delivery.Wait(150));
    EXPECT_FALSE(source.Wait(0));
    m_Queue.StopPlayback();
    m_Queue.Deactivate();
    ASSERT_TRUE(delivery.Wait(kWaitMs)) << "GetNext still blocked after Stop";
    ASSERT_TRUE(source.Wait(kWaitMs)) << "GetRequest still blocked after Stop";
    EXPECT_EQ(E_FAIL, next);
    EXPECT_EQ(E_FAIL, request);
    EXPECT_TRUE(m_Owner.PositionValid()) << "a slave waiting for this position is released";
    REFERENCE_TIME position = T(150);
    EXPECT_EQ(S_OK, m_Queue.SetPositions(&position, nullptr, nullptr)) << "stopped: stored, no seek";
}

TEST_F(FullQueueTest, ACancelBetweenDecidingAndWaitingIsNotLost)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_EQ(S_OK, m_Queue.SetRate(0.01));  // a frame every 4 s
    ASSERT_TRUE(NextFrame());
    // Each cancel comes after the delivery thread decided its next frame's
    // due time and before it began to wait: the wait must not begin.
    const char* const cancels[] = {"rate change", "deactivation"};
    for (const char* cancel : cancels) {
        m_Queue.gate.Reset();
        m_Queue.reached.Reset();
        m_Queue.armed = true;
        auto hr = std::make_shared<HRESULT>(E_PENDING);
        auto item = std::make_shared<ComPtr<IV77PoolItem>>();
        CGatedFullQueue* queue = &m_Queue;
        // Frames due at once go by until one is due far ahead.
        BoundedCall delivery([=] {
            do {
                item->Reset();
                *hr = queue->GetNext(item->GetAddressOf());
            } while (*hr == S_OK && !queue->reached.Check());
        });
        ASSERT_TRUE(m_Queue.reached.Wait(kWaitMs)) << cancel << ": no frame was due far ahead";
        if (cancel == cancels[0])
            ASSERT_EQ(S_OK, m_Queue.SetRate(0.01));
        else
            m_Queue.Deactivate();
        m_Queue.gate.Set();
        EXPECT_TRUE(delivery.Wait(1000)) << cancel << " was lost: the delivery thread sleeps until a stale time";
        if (cancel == cancels[1]) {
            EXPECT_EQ(E_FAIL, *hr);
        }
        m_Queue.gate.Set();
        if (!delivery.Wait(kWaitMs))
            m_Queue.Deactivate();
    }
}

TEST_F(FullQueueTest, FlushStopAndInactiveReleaseWaitForRequestWithAFailure)
{
    ASSERT_EQ(S_OK, SeekTo(T(100)));
    ASSERT_TRUE(WaitUntil([&] { return m_Queue.WaitReady(0) == S_OK; }, kWaitMs));
    const struct {
        const char* what;
        void (*release)(CFullBufferQueue*);
    } cases[] = {
        {"BeginFlush", [](CFullBufferQueue* q) { q->Abort(); }},
        {"Inactive", [](CFullBufferQueue* q) { q->Deactivate(); }},
        {"Stop", [](CFullBufferQueue* q) { q->StopPlayback(); }},
    };
    // The feeder's own waiting thread goes first.
    m_Queue.Abort();
    ASSERT_TRUE(WaitUntil([&] { return !m_Feeder->Running(); }, kWaitMs)) << "the source still waits after a flush";
    for (const auto& c : cases) {
        m_Queue.Flush();
        m_Queue.StartPlayback();
        auto hr = std::make_shared<HRESULT>(E_PENDING);
        CFullBufferQueue* queue = &m_Queue;
        BoundedCall source([=] {
            REFERENCE_TIME position = 0;
            DWORD type = 0;
            WORD flush = 0;
            *hr = queue->GetRequest(&position, &type, &flush);
        });
        EXPECT_FALSE(source.Wait(100)) << c.what << ": nothing was requested, the source waits";
        c.release(&m_Queue);
        ASSERT_TRUE(source.Wait(kWaitMs)) << c.what << " left WaitForRequest blocked";
        EXPECT_TRUE(FAILED(*hr)) << c.what << ": the source must stop asking, not ask again";
    }
}

// Plays the source by hand: delivers the stretch asked for and reports it
// (announcing `missing` frames more than it sent).
HRESULT Serve(CFullBufferQueue& queue, const SyntheticRecording& recording, const FeederRequest& request,
              LONG missing = 0)
{
    if (request.flush) {
        queue.Abort();
        queue.Flush();
    }
    const SyntheticRecording::Stretch stretch = recording.ForRequest(request.position, request.type);
    for (int i = 0; i < stretch.count; ++i) {
        const int frame = stretch.first + i;
        queue.Add(MakeFrame(frame, recording.TimeOf(frame), recording.Duration()).Get());
    }
    return queue.OnRequestDone(S_OK, stretch.count + missing, 0, stretch.next);
}

// Takes one request (bounded); S_OK with *request filled. A call left
// blocked writes only into its own state (the test's Stop releases it).
HRESULT Take(CFullBufferQueue& queue, FeederRequest* request)
{
    auto taken = std::make_shared<FeederRequest>();
    auto hr = std::make_shared<HRESULT>(E_PENDING);
    CFullBufferQueue* q = &queue;
    if (!FinishesWithin(kWaitMs, [=] { *hr = q->GetRequest(&taken->position, &taken->type, &taken->flush); }))
        return E_PENDING;
    *request = *taken;
    return *hr == S_OK ? S_OK : FAILED(*hr) ? *hr : E_FAIL;
}

HRESULT ServeOne(CFullBufferQueue& queue, const SyntheticRecording& recording)
{
    FeederRequest request;
    const HRESULT hr = Take(queue, &request);
    return hr == S_OK ? Serve(queue, recording, request) : hr;
}

// The source seeks on its own (its IMediaSeeking, reached through the
// buffer's): it flushes, delivers a segment's worth from `first` and reports it.
void SourceSeeksOnItsOwn(CFullBufferQueue& queue, const SyntheticRecording& recording, int first)
{
    queue.Abort();
    queue.Flush();
    for (int frame = first; frame < first + kSegment; ++frame)
        queue.Add(MakeFrame(frame, recording.TimeOf(frame), recording.Duration()).Get());
    queue.OnRequestDone(S_OK, kSegment, 0, recording.TimeOf(first + kSegment));
}

class FullQueueSteps : public ServedByHand {};
class FullQueueRequests : public ServedByHand {};
class FullQueueFlush : public ServedByHand {};

TEST_F(FullQueueSteps, AStepWaitsForFramesOnTheirArrivalNotByPolling)
{
    auto position = std::make_shared<REFERENCE_TIME>(m_Recording.TimeOf(100));
    CFullBufferQueue* q = &m_Queue;
    BoundedCall seek([=] { q->SetPositions(position.get(), nullptr, nullptr); });
    FeederRequest request;
    ASSERT_EQ(S_OK, Take(m_Queue, &request));
    // The seek's frames come slowly: the step waits for the segment.
    auto stepped = std::make_shared<HRESULT>(E_PENDING);
    BoundedCall step([=] { *stepped = q->Step(3); });
    const auto add = [&](int frame) {
        m_Queue.Add(MakeFrame(frame, m_Recording.TimeOf(frame), m_Recording.Duration()).Get());
    };
    add(100);
    EXPECT_FALSE(step.Wait(500)) << "stepped before the segment's frames were placed";
    // Woken by the frame at most, never every few milliseconds of the 500.
    EXPECT_LE(m_Queue.StepWaits(), 1u);
    for (int frame = 101; frame < 100 + kSegment; ++frame)
        add(frame);
    m_Queue.OnRequestDone(S_OK, kSegment, 0, m_Recording.TimeOf(100 + kSegment));
    ASSERT_TRUE(step.Wait(kWaitMs)) << "the step never saw the frames";
    EXPECT_EQ(S_OK, *stepped);
    REFERENCE_TIME current = 0;
    ASSERT_EQ(S_OK, m_Queue.GetCurrentTime(&current));
    EXPECT_EQ(103, m_Recording.FrameOf(current));
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(S_OK, ServeOne(m_Queue, m_Recording));
    EXPECT_TRUE(seek.Wait(kWaitMs));
}

TEST_F(FullQueueRequests, AStretchThatFallsShortOfItsAnnouncedCountEndsWhenTheNextBegins)
{
    auto position = std::make_shared<REFERENCE_TIME>(m_Recording.TimeOf(100));
    CFullBufferQueue* q = &m_Queue;
    BoundedCall seek([=] { q->SetPositions(position.get(), nullptr, nullptr); });
    // The source announces five frames more than it sends for the seek.
    FeederRequest request;
    ASSERT_EQ(S_OK, Take(m_Queue, &request));
    Serve(m_Queue, m_Recording, request, 5);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(S_OK, ServeOne(m_Queue, m_Recording)) << "the stretch before, the stretch after";
    ASSERT_TRUE(seek.Wait(kWaitMs));
    // Play steps back out of the short stretch into the one before.
    auto hr = std::make_shared<HRESULT>(E_PENDING);
    BoundedCall step([=] { *hr = q->Step(-10); });
    EXPECT_TRUE(step.Wait(kWaitMs)) << "the step stalled in the short stretch";
    EXPECT_EQ(S_OK, *hr);
    REFERENCE_TIME time = 0;
    ASSERT_EQ(S_OK, m_Queue.GetCurrentTime(&time));
    EXPECT_EQ(90, m_Recording.FrameOf(time));
    m_Queue.StopPlayback();
    m_Queue.Deactivate();
    step.Wait(kWaitMs);
}

TEST_F(FullQueueFlush, APauseWhileAFlushingSeekIsServedLeavesTheSeekWhole)
{
    REFERENCE_TIME first = m_Recording.TimeOf(100);
    BoundedCall seek([&] { m_Queue.SetPositions(&first, nullptr, nullptr); });
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(S_OK, ServeOne(m_Queue, m_Recording));
    ASSERT_TRUE(seek.Wait(kWaitMs));

    // Playing now: the next seek makes the source flush. The graph pauses
    // (Running to Paused) after the source took the request, before its flush.
    auto position = std::make_shared<REFERENCE_TIME>(m_Recording.TimeOf(250));
    auto hr = std::make_shared<HRESULT>(E_PENDING);
    CFullBufferQueue* q = &m_Queue;
    BoundedCall flushingSeek([=] { *hr = q->SetPositions(position.get(), nullptr, nullptr); });
    FeederRequest request;
    ASSERT_EQ(S_OK, Take(m_Queue, &request));
    ASSERT_EQ(0xFFFF, request.flush);
    m_Queue.StartPlayback();
    Serve(m_Queue, m_Recording, request);
    for (int i = 0; i < 2; ++i)
        ServeOne(m_Queue, m_Recording);
    EXPECT_TRUE(flushingSeek.Wait(kWaitMs)) << "the seek never completed: seek-done stays unset until Stop";
    REFERENCE_TIME current = 0;
    EXPECT_EQ(S_OK, m_Queue.GetCurrentTime(&current));
    EXPECT_EQ(m_Recording.TimeOf(250), current) << "the seek landed elsewhere";
    m_Queue.StopPlayback();
    m_Queue.Deactivate();
    flushingSeek.Wait(kWaitMs);
}

TEST_F(FullQueueFlush, PauseAfterAStopDoesNotWaitForAStretchNeverReported)
{
    m_Queue.Abort();
    m_Queue.Flush();  // a stretch in progress whose RequestDone never comes
    m_Queue.StopPlayback();
    m_Queue.Deactivate();
    const ULONGLONG begin = NowMs();
    m_Queue.StartPlayback();
    EXPECT_LT(NowMs() - begin, 500u) << "Pause waited (holding the filter lock) for the source";
    REFERENCE_TIME position = 7;
    DWORD type = 7;
    WORD flush = 7;
    m_Queue.StopPlayback();
    EXPECT_EQ(E_FAIL, m_Queue.GetRequest(&position, &type, &flush));
    EXPECT_EQ(0, position) << "outputs are written whatever the answer";
    EXPECT_EQ(0u, type);
    EXPECT_EQ(0, flush);
    m_Queue.Deactivate();
}

TEST(BufferSegment, AReportArrivingAfterTheCursorLeftTheFramesDoesNotPutItBack)
{
    CComInit com;
    // Played through while the source had not reported the stretch yet: the
    // late report must not put the cursor back on a frame already shown.
    for (LONG walked : {3L, -1L}) {
        CBufferSegment segment;
        segment.BeginRequest(400000);
        for (int frame = 1; frame <= 3; ++frame) {
            CBufferSegment::Frame entry;
            entry.item = MakeFrame(frame, frame * 400000);
            entry.time = frame * 400000;
            ASSERT_TRUE(SUCCEEDED(entry.item.As(&entry.sample)));
            bool added = false;
            segment.AddFrame(std::move(entry), &added);
        }
        segment.SetCursor(walked);
        EXPECT_TRUE(segment.EndRequest(S_OK, 3, 1600000));
        EXPECT_EQ(walked, segment.Cursor()) << "the cursor went back onto a frame already shown";
    }
}

TEST_F(FullQueueFlush, AFlushNobodyRequestedIsFilledAndAnsweredLikeASeek)
{
    SourceSeeksOnItsOwn(m_Queue, m_Recording, 200);
    REFERENCE_TIME time = 0;
    EXPECT_EQ(S_OK, m_Queue.GetCurrentTime(&time)) << "the flushed-in frames fill the current segment";
    FeederRequest request;
    EXPECT_EQ(S_OK, Take(m_Queue, &request)) << "the RequestDone was ignored: nothing more is requested";
    EXPECT_EQ(3u, request.type) << "as after a seek, the stretch before comes next";
}

TEST_F(FullQueueRequests, AContinuationAskedForBeforeASeekDoesNotEndTheSeekEarly)
{
    SyntheticRecording recording(300, kSegment);
    // The continuation after the segments of a source's own seek is waiting
    // to be taken, or taken and still being read, when the host seeks far;
    // or the graph stops while the seek waits its turn.
    for (const int variant : {0, 1, 2}) {
        const bool taken = variant == 1;
        CFakeQueueOwner owner;
        CFullBufferQueue queue(&owner, kSegment);
        owner.SetQueue(&queue);
        ASSERT_EQ(S_OK, queue.SetSize(3 * kSegment, 16));
        queue.StartPlayback();
        SourceSeeksOnItsOwn(queue, recording, 200);
        ASSERT_EQ(S_OK, ServeOne(queue, recording)) << "the stretch before";
        FeederRequest continuation;
        if (taken) {
            ASSERT_EQ(S_OK, Take(queue, &continuation));
            ASSERT_EQ(2u, continuation.type);
        }
        auto position = std::make_shared<REFERENCE_TIME>(recording.TimeOf(100));
        CFullBufferQueue* q = &queue;
        BoundedCall seek([=] { q->SetPositions(position.get(), nullptr, nullptr); });
        EXPECT_FALSE(seek.Wait(100)) << "the seek returned before anything was read for it";
        if (variant == 2) {
            queue.StopPlayback();
            EXPECT_TRUE(seek.Wait(kWaitMs)) << "Stop left a seek waiting for its turn";
            queue.Deactivate();
            continue;
        }
        if (taken)
            Serve(queue, recording, continuation);
        else
            ServeOne(queue, recording);
        EXPECT_FALSE(seek.Wait(100)) << (taken ? "taken" : "waiting")
                                     << ": the continuation ended the seek before its frames came";
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(S_OK, ServeOne(queue, recording)) << "the seek, the stretch before, the stretch after";
        EXPECT_TRUE(seek.Wait(kWaitMs));
        REFERENCE_TIME current = 0;
        EXPECT_EQ(S_OK, queue.GetCurrentTime(&current));
        EXPECT_EQ(100, recording.FrameOf(current)) << (taken ? "taken" : "waiting");
        EXPECT_EQ(recording.TimeOf(75), queue.GetFirstTime());
        EXPECT_EQ(recording.TimeOf(149), queue.GetLastTime());
        queue.StopPlayback();
        queue.Deactivate();
        seek.Wait(kWaitMs);
    }
}

}  // namespace
