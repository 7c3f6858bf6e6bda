// Frame-rate thinning: which frames pass for a period, by media time or time
// stamp, including times that go backwards or below zero.
#include "tests/kit/CComInit.h"
#include "tests/transform/ResizeGraph.h"

#include <gtest/gtest.h>
#include <uuids.h>

namespace {

class ResizeThinning : public ::testing::Test {
protected:
    // Connects a small RGB32 stream, sets the period and runs.
    void Start(REFERENCE_TIME period, bool setPeriod = true)
    {
        SIZE size = {8, 6};
        ASSERT_EQ(S_OK, m_Graph.Resize()->SetOutputSize(&size));
        if (setPeriod) {
            ASSERT_EQ(S_OK, m_Graph.Resize()->SetFramePeriod(period));
        }
        ASSERT_EQ(S_OK, m_Graph.Connect(MakeRawVideoType(MEDIASUBTYPE_RGB32, 16, 12)));
        ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
        m_Frame.assign(RawFrameBytes(MEDIASUBTYPE_RGB32, 16, 12), 0x40);
    }
    // Pushes frames at these times; then a marker frame at a far time (always
    // kept unless thinning is broken) to know when the filter is done.
    std::vector<REFERENCE_TIME> Kept(const std::vector<REFERENCE_TIME>& times, bool mediaTimes = false)
    {
        for (REFERENCE_TIME t : times) {
            TestPacket p;
            p.bytes = m_Frame;
            p.timeValid = !mediaTimes;
            p.start = t;
            p.stop = t + 1;
            p.mediaTimeValid = mediaTimes;
            p.mediaStart = t;
            p.mediaStop = t + 1;
            EXPECT_EQ(S_OK, m_Graph.Push(p));
        }
        std::vector<REFERENCE_TIME> kept;
        // Delivery is synchronous on this thread: everything is rendered by now.
        for (const RenderedSample& s : m_Graph.Frames()) {
            EXPECT_TRUE(s.mediaTimeValid);
            kept.push_back(s.mediaStart);
        }
        return kept;
    }

    CComInit m_Com;
    ResizeGraph m_Graph;
    std::vector<BYTE> m_Frame;
};

std::vector<REFERENCE_TIME> Every(REFERENCE_TIME step, int count, REFERENCE_TIME first = 0)
{
    std::vector<REFERENCE_TIME> v;
    for (int i = 0; i < count; ++i)
        v.push_back(first + step * i);
    return v;
}

TEST_F(ResizeThinning, DefaultPeriodKeepsOneFrameASecondAfterTheFirstTwo)
{
    Start(0, false);
    // 25 frames a second for three seconds: a last time of 0 counts as no
    // previous frame, so the frame at 400,000 is kept too.
    auto kept = Kept(Every(400000, 75));
    EXPECT_EQ((std::vector<REFERENCE_TIME>{0, 400000, 10400000, 20400000}), kept);
    // Output samples carry the input's time stamps as media times too.
    auto frames = m_Graph.Frames();
    ASSERT_EQ(4u, frames.size());
    EXPECT_TRUE(frames[3].timeValid);
    EXPECT_EQ(20400000, frames[3].start);
    EXPECT_EQ(8 * 4 * 6, frames[3].length);
}

TEST_F(ResizeThinning, MediaTimesDriveThinningAndANewPeriodRestartsTheCount)
{
    Start(1000000);
    // 100 ms period, frames every 40 ms from 1 s: after the first frame one in 2.5.
    std::vector<REFERENCE_TIME> want = {10000000, 11200000, 12000000, 13200000, 14000000};
    EXPECT_EQ(want, Kept(Every(400000, 11, 10000000), true));
    // A new period forgets the last time: the next frame is a first frame again.
    ASSERT_EQ(S_OK, m_Graph.Resize()->SetFramePeriod(2000000));
    want.insert(want.end(), {14100000, 16200000});
    EXPECT_EQ(want, Kept({14100000, 14200000, 15200000, 16200000}, true));
    // Period 0 passes every frame.
    ASSERT_EQ(S_OK, m_Graph.Resize()->SetFramePeriod(0));
    const std::vector<REFERENCE_TIME> all = Every(1, 20, 20000000);
    want.insert(want.end(), all.begin(), all.end());
    EXPECT_EQ(want, Kept(all, true));
}

TEST_F(ResizeThinning, BackwardsAndNegativeTimesOweTimeBeforeTheNextFrame)
{
    Start(1000000);
    // -3 s is kept (last 0), -2 s ten periods later; the jump back to -5 s
    // puts the count 3 s behind, so -5 s and -2.5 s are dropped and only
    // -1.9 s (net one period after -2 s) passes.
    auto kept = Kept({-30000000, -20000000, -50000000, -25000000, -19000000, -10000000, -9500000, -8900000});
    EXPECT_EQ((std::vector<REFERENCE_TIME>{-30000000, -20000000, -19000000, -10000000, -8900000}), kept);
}

} // namespace
