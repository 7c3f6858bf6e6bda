// The archive audio queue: fixed sample size, normal speed only, and the
// reposition to the master's position when playback resumes.
#include <gtest/gtest.h>

#include <memory>
#include "buffer/CAudioBufferQueue.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/CFakeQueueOwner.h"
#include "tests/buffer/CQueueFeeder.h"
#include "tests/kit/CComInit.h"

namespace {

constexpr DWORD kWaitMs = 5000;
constexpr DWORD kParameter = 25 | (4096u << 16);

class AudioQueueTest : public ::testing::Test {
protected:
    AudioQueueTest() : m_Recording(300, 25) {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        m_Owner.SetQueue(&m_Queue);
        m_Queue.StartPlayback();
        m_Feeder = std::make_unique<CQueueFeeder>(&m_Queue, m_Recording);
    }

    void TearDown() override
    {
        m_Queue.StopPlayback();
        m_Queue.Deactivate();
        m_Feeder.reset();
    }

    CComInit m_Com;
    SyntheticRecording m_Recording;
    CFakeQueueOwner m_Owner;
    CAudioBufferQueue m_Queue{&m_Owner, kParameter};
    std::unique_ptr<CQueueFeeder> m_Feeder;
};

TEST_F(AudioQueueTest, ParameterCarriesSegmentLengthAndSampleSize)
{
    EXPECT_EQ(75, m_Queue.GetMinimumCount());
    EXPECT_EQ(4096, m_Queue.GetBufferSize(100)) << "every buffer has the fixed sample size";
    EXPECT_EQ(4096, m_Queue.GetSampleSize());
}

TEST_F(AudioQueueTest, OutsideNormalSpeedAudioNeitherSeeksNorPlays)
{
    REFERENCE_TIME position = m_Recording.TimeOf(50);
    ASSERT_EQ(S_OK, m_Queue.SetRate(2.0));
    EXPECT_DOUBLE_EQ(2.0, m_Queue.GetRate());
    ASSERT_EQ(S_OK, m_Queue.SetPositions(&position, nullptr, nullptr));
    ASSERT_EQ(S_OK, m_Queue.Step(3));
    EXPECT_DOUBLE_EQ(0.0, m_Queue.GetRate()) << "a step silences audio";
    Sleep(100);
    EXPECT_EQ(0u, m_Feeder->RequestCount()) << "no seek away from normal speed";
}

TEST_F(AudioQueueTest, NormalSpeedJoinsTheMasterAndFillsOnlyAhead)
{
    // The master: a video time-shift queue positioned at frame 100.
    CFakeQueueOwner masterOwner;
    CFullBufferQueue master(&masterOwner, 25);
    masterOwner.SetQueue(&master);
    master.StartPlayback();
    CQueueFeeder masterFeeder(&master, m_Recording);
    REFERENCE_TIME position = m_Recording.TimeOf(100);
    HRESULT hr = E_UNEXPECTED;
    ASSERT_TRUE(FinishesWithin(kWaitMs, [&] { hr = master.SetPositions(&position, nullptr, nullptr); }));
    ASSERT_EQ(S_OK, hr);

    m_Owner.FollowMaster(&masterOwner);
    ASSERT_TRUE(FinishesWithin(kWaitMs, [&] { hr = m_Queue.SetRate(1.0); }));
    ASSERT_EQ(S_OK, hr);
    const std::vector<FeederRequest> requests = m_Feeder->Requests();
    ASSERT_EQ(2u, requests.size()) << "audio fills its segment and the one after, never the one before";
    EXPECT_EQ(position, requests[0].position);
    EXPECT_EQ(0u, requests[0].type);
    EXPECT_EQ(m_Recording.TimeOf(125), requests[1].position);
    EXPECT_EQ(2u, requests[1].type);

    master.StopPlayback();
    master.Deactivate();
}

}  // namespace
