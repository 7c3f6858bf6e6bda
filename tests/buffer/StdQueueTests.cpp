// The live queue on its own: what it keeps, in which order it hands frames
// out, and how its waits end.
#include <gtest/gtest.h>

#include <thread>
#include <vector>
#include <wrl/client.h>
#include "buffer/CStdBufferQueue.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/CFakeQueueOwner.h"
#include "tests/buffer/TestFrames.h"
#include "tests/kit/CComInit.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr REFERENCE_TIME kStep = 100;

class StdQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        m_Owner.SetQueue(&m_Queue);
    }

    void AddFrames(int first, int last)
    {
        for (int i = first; i <= last; ++i)
            ASSERT_EQ(S_OK, m_Queue.Add(MakeFrame(i, i * kStep, kStep).Get()));
    }

    int FrameAt(REFERENCE_TIME time, LONG offset)
    {
        ComPtr<IMediaSample> sample;
        if (!m_Queue.GetSampleAt(&time, offset, &sample))
            return -1;
        return FrameNumber(sample.Get());
    }

    int Next()
    {
        ComPtr<IV77PoolItem> item;
        return m_Queue.GetNext(&item) == S_OK ? FrameNumber(item.Get()) : -1;
    }

    CComInit m_Com;
    CFakeQueueOwner m_Owner;
    CStdBufferQueue m_Queue{&m_Owner};
};

TEST_F(StdQueueTest, FullQueueDropsTheOldestAndKeepsCapacityMinusTwo)
{
    ASSERT_EQ(S_OK, m_Queue.SetSize(4, 16));
    for (int i = 1; i <= 6; ++i) {
        AddFrames(i, i);
        EXPECT_LE(m_Queue.GetSize(), 2u) << "after frame " << i;
    }
    EXPECT_EQ(5 * kStep, m_Queue.GetFirstTime());
    EXPECT_EQ(6 * kStep, m_Queue.GetLastTime());
    EXPECT_EQ(5, Next());
    EXPECT_EQ(6, Next());
    EXPECT_EQ(0, m_Queue.GetPending());
    // Handed out, still held for GetSampleAt until newer frames push them out.
    EXPECT_EQ(2u, m_Queue.GetSize());
}

TEST_F(StdQueueTest, GetNextBlocksUntilAddAndFailsWithNoFrameAfterAbort)
{
    ASSERT_EQ(S_OK, m_Queue.SetSize(8, 16));
    int frame = -1;
    {
        BoundedCall call([&] { frame = Next(); });
        EXPECT_FALSE(call.Wait(150)) << "GetNext returned from an empty queue";
        AddFrames(1, 1);
        ASSERT_TRUE(call.Wait(5000));
    }
    EXPECT_EQ(1, frame);

    HRESULT hr = S_OK;
    IV77PoolItem* item = reinterpret_cast<IV77PoolItem*>(1);
    BoundedCall call([&] { hr = m_Queue.GetNext(&item); });
    EXPECT_FALSE(call.Wait(150));
    m_Queue.Abort();
    ASSERT_TRUE(call.Wait(5000)) << "Abort did not release GetNext";
    EXPECT_EQ(E_FAIL, hr);
    EXPECT_EQ(nullptr, item);

    // Aborted: pending frames are not handed out until a flush or a restart.
    AddFrames(2, 3);
    EXPECT_EQ(-1, Next());
    m_Queue.StartPlayback();
    EXPECT_EQ(0u, m_Queue.GetSize()) << "StartPlayback after an abort empties the queue";
    AddFrames(4, 4);
    EXPECT_EQ(4, Next());
}

TEST_F(StdQueueTest, FlushEmptiesAndClearsTheAbort)
{
    ASSERT_EQ(S_OK, m_Queue.SetSize(8, 16));
    AddFrames(1, 3);
    m_Queue.Abort();
    m_Queue.Flush();
    EXPECT_EQ(0u, m_Queue.GetSize());
    AddFrames(7, 7);
    EXPECT_EQ(7, Next());
}

TEST_F(StdQueueTest, GetSampleAtClampsTimeAndOffsetToTheFramesHeld)
{
    ASSERT_EQ(S_OK, m_Queue.SetSize(10, 16));
    EXPECT_EQ(-1, FrameAt(0, 0)) << "empty queue";
    AddFrames(1, 6);
    EXPECT_EQ(1, FrameAt(0, 0)) << "a time before the first frame gives the oldest";
    EXPECT_EQ(3, FrameAt(3 * kStep + kStep / 2, 0));
    EXPECT_EQ(2, FrameAt(3 * kStep + kStep / 2, -1));
    EXPECT_EQ(6, FrameAt(3 * kStep, 100)) << "a large offset stops at the newest";
    EXPECT_EQ(1, FrameAt(3 * kStep, -100)) << "a large negative offset stops at the oldest";
    EXPECT_EQ(6, FrameAt(1000 * kStep, 0));
    EXPECT_FALSE(m_Queue.GetSampleAt(nullptr, 0, nullptr));

    // Times need not rise (a live source restarting its clock): the newest
    // frame not after the time is the answer, not a binary search's guess.
    ASSERT_EQ(S_OK, m_Queue.SetSize(10, 16));
    ASSERT_EQ(S_OK, m_Queue.Add(MakeFrame(10, 100, kStep).Get()));
    ASSERT_EQ(S_OK, m_Queue.Add(MakeFrame(11, 200, kStep).Get()));
    ASSERT_EQ(S_OK, m_Queue.Add(MakeFrame(12, 50, kStep).Get()));
    EXPECT_EQ(12, FrameAt(60, 0));
    EXPECT_EQ(12, FrameAt(250, 0)) << "the newest frame not after the time, not the nearest";
    EXPECT_EQ(10, FrameAt(10, 0)) << "all after the time: the oldest";
}

TEST_F(StdQueueTest, SizingAddsReservedBytesAndClearResetsThem)
{
    ASSERT_EQ(S_OK, m_Queue.SetSize(4, 100));
    EXPECT_EQ(400, m_Queue.GetReservedBytes());
    AddFrames(1, 1);
    ASSERT_EQ(S_OK, m_Queue.SetSize(6, 10));
    EXPECT_EQ(460, m_Queue.GetReservedBytes());
    EXPECT_EQ(6, m_Queue.GetCapacity());
    EXPECT_EQ(0u, m_Queue.GetSize()) << "SetSize empties the queue";
    EXPECT_EQ(E_INVALIDARG, m_Queue.SetSize(-1, 10));

    m_Queue.Clear();
    EXPECT_EQ(0, m_Queue.GetCapacity());
    EXPECT_EQ(0, m_Queue.GetReservedBytes());
    // Without capacity (after Stop) nothing is kept: late frames go straight back.
    AddFrames(2, 4);
    EXPECT_EQ(0u, m_Queue.GetSize());
}

TEST_F(StdQueueTest, TimeShiftOperationsAreNotSupported)
{
    REFERENCE_TIME time = 0;
    DWORD type = 0;
    WORD flush = 0;
    double rate = 0;
    EXPECT_EQ(4, m_Queue.GetMinimumCount());
    EXPECT_EQ(E_NOTIMPL, m_Queue.SetRate(2.0));
    EXPECT_EQ(E_NOTIMPL, m_Queue.SetPositions(&time, nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, m_Queue.Step(1));
    EXPECT_EQ(E_NOTIMPL, m_Queue.WaitReady(0));
    EXPECT_EQ(E_NOTIMPL, m_Queue.GetRequest(&time, &type, &flush));
    EXPECT_EQ(E_NOTIMPL, m_Queue.GetPlayState(nullptr, &time, &time, &rate));
    EXPECT_EQ(E_NOTIMPL, m_Queue.GetPosition(&time));
    EXPECT_EQ(E_NOTIMPL, m_Queue.GetCurrentTime(&time));
    EXPECT_TRUE(m_Queue.CanSeek());
    EXPECT_EQ(1234, m_Queue.GetBufferSize(1234));
    EXPECT_EQ(E_POINTER, m_Queue.Add(nullptr));
    // A command record needs the input allocator's samples; without one nothing is queued.
    EXPECT_FALSE(m_Queue.AddEndOfStream());
    EXPECT_EQ(0u, m_Queue.GetSize());
}

TEST_F(StdQueueTest, ConcurrentProducerAndConsumerKeepArrivalOrder)
{
    constexpr int kFrames = 3000;
    ASSERT_EQ(S_OK, m_Queue.SetSize(16, 16));
    std::vector<int> seen;
    BoundedCall consumer([&] {
        for (;;) {
            int frame = Next();
            if (frame < 0)
                return;
            seen.push_back(frame);
            if (frame == kFrames - 1)
                return;
        }
    });
    BoundedCall producer([&] {
        for (int i = 0; i < kFrames; ++i)
            m_Queue.Add(MakeFrame(i, i * kStep, kStep).Get());
    });
    ASSERT_TRUE(producer.Wait(60000));
    if (!consumer.Wait(10000))
        m_Queue.Abort();  // the last frame was dropped before it was taken
    ASSERT_TRUE(consumer.Wait(5000));
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i)
        ASSERT_LT(seen[i - 1], seen[i]) << "frames out of order or repeated at " << i;
    EXPECT_EQ(kFrames - 1, seen.back()) << "the newest frame is never dropped";
}

}  // namespace
