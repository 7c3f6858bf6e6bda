// Archive playback with the real store source and receiver: the time-shift
// scenarios of the buffer suite (seek, rates 1/4/-1, steps across a segment
// edge, flushing seek, end of recording, stop position, three synchronised
// views) on recordings ffmpeg made, every frame checked by time and picture;
// each with the store source, the AVI file source, the TCP source fed by the
// archive server and the local source fed by the capture tool in archive mode.
#include <algorithm>
#include <cstdlib>

#include "tests/sources/ArchiveStoreFixture.h"

namespace {

class ArchivePlaybackTest : public ArchiveStoreFixture, public ::testing::WithParamInterface<SourceKind> {
protected:
    void SetUp() override
    {
        ArchiveStoreFixture::SetUp();
        m_StoreKind = GetParam();
    }
};

TEST_P(ArchivePlaybackTest, SeekThenForwardAtOneAndFourThenBackwardAcrossSegmentFiles)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(34));
    EXPECT_TRUE(m_Chains[0].renderer->Samples().empty()) << "rate 0: nothing is shown yet";

    const ULONGLONG begin = NowMs();
    ASSERT_EQ(S_OK, SetRate(1.0));
    ASSERT_TRUE(WaitForMore(0, 12));
    const ULONGLONG elapsed = NowMs() - begin;
    std::vector<int> frames = RenderedFrames();
    ASSERT_GE(frames.size(), 12u);
    EXPECT_EQ(34, frames[0]) << "playback starts at the seek position";
    // 34..45 crosses the edge between the files of frames 0-39 and 40-79.
    ExpectStep(frames, 1, "forward at rate 1: nothing lost or repeated across the file edge");
    EXPECT_GE(elapsed, 350u) << "12 frames of 40 ms are paced by the clock";

    m_Chains[0].renderer->ClearSamples();
    ASSERT_EQ(S_OK, SetRate(4.0));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 85; }, kEventTimeoutMs)) << Text(RenderedFrames());
    frames = RenderedFrames();
    ExpectStep(frames, 1, "forward at rate 4 across the edge at 80");
    const int turn = frames.back();

    m_Chains[0].renderer->ClearSamples();
    ASSERT_EQ(S_OK, SetRate(-1.0));
    // Down across more than one segment edge: each stretch asked for backward
    // is the one before the segment held, never that segment again.
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 0 && LastFrame() <= 60; }, kEventTimeoutMs))
        << Text(RenderedFrames());
    frames = RenderedFrames();
    const auto firstBack = std::adjacent_find(frames.begin(), frames.end(), [](int a, int b) { return b == a - 1; });
    ASSERT_NE(frames.end(), firstBack) << "reverse play never began:" << Text(frames);
    const std::vector<int> backward(firstBack, frames.end());
    ExpectStep(backward, -1, "backward at rate -1 across the edge at 80");
    // Frames in flight at the rate change go on forward from the turn (6 at
    // most, seen under load), and reverse play turns on the last of them.
    ExpectStep(std::vector<int>(frames.begin(), firstBack + 1), 1, "forward until the turn");
    EXPECT_GE(frames.front(), turn) << Text(frames);
    EXPECT_LE(backward.front(), turn + 10) << "reverse play turns where forward play was (100 ms of rate 4)";
}

TEST_P(ArchivePlaybackTest, StepsMoveOneFrameBothWaysAcrossTheEdgeBetweenTwoFiles)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(38));
    IV77DsBuffer* control = Control();
    const int expected[] = {39, 40, 41, 40, 39, 38};
    const LONG steps[] = {1, 1, 1, -1, -1, -1};
    for (size_t i = 0; i < 6; ++i) {
        ASSERT_EQ(S_OK, Bounded([&] { return control->Step(steps[i]); })) << "step " << i;
        ASSERT_TRUE(WaitUntil([&] { return LastFrame() == expected[i]; }, kEventTimeoutMs))
            << "step " << i << " shows frame " << LastFrame() << ", expected " << expected[i];
    }
    Sleep(200);
    EXPECT_EQ(38, LastFrame()) << "a held frame is not followed by others";
}

TEST_P(ArchivePlaybackTest, ASeekWhilePlayingFlushesAndPlaysOnFromTheNewPosition)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(20));
    ASSERT_EQ(S_OK, SetRate(2.0));
    ASSERT_TRUE(WaitForMore(0, 5));
    m_Chains[0].renderer->ClearSamples();
    ASSERT_EQ(S_OK, SeekGroup(100));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 107; }, kEventTimeoutMs)) << Text(RenderedFrames());
    const std::vector<int> frames = RenderedFrames();
    const auto restart = std::find(frames.begin(), frames.end(), 100);
    ASSERT_NE(frames.end(), restart) << "play did not restart at the seek position:" << Text(frames);
    ExpectStep(std::vector<int>(restart, frames.end()), 1, "after the seek");
    for (auto it = frames.begin(); it != restart; ++it)
        EXPECT_LT(*it, 100) << "only frames from before the seek may precede it";
}

TEST_P(ArchivePlaybackTest, TheEndOfTheRecordingRaisesSegmentEndOnceAndEndsTheStream)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(105));
    ASSERT_EQ(S_OK, SetRate(8.0));
    LONG_PTR result = 1;
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_V77_SEGMENT_END, kEventTimeoutMs, &result));
    EXPECT_TRUE(SUCCEEDED(static_cast<HRESULT>(result))) << "the recording ended, nothing failed";
    ASSERT_TRUE(m_Chains[0].renderer->WaitForEndOfStream(kEventTimeoutMs));
    EXPECT_EQ(119, LastFrame()) << "the last recorded frame is shown";
    Sleep(500);
    m_Graph.DrainEvents();
    EXPECT_EQ(1, m_Graph.CountEvents(EC_V77_SEGMENT_END));
}

TEST_P(ArchivePlaybackTest, PassingTheStopPositionRaisesStopPosition)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    REFERENCE_TIME current = T(30);
    REFERENCE_TIME start = T(0);
    REFERENCE_TIME stop = T(45);
    IV77DsBuffer* control = Control();
    ASSERT_EQ(S_OK, Bounded([&] { return control->SetGroupPositions(&current, &start, &stop); }));
    ASSERT_EQ(S_OK, SetRate(4.0));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_V77_STOP_POSITION, kEventTimeoutMs)) << Text(RenderedFrames());
    const int last = LastFrame();
    EXPECT_GE(last, 44);
    EXPECT_LE(last, 45) << "nothing is played past the stop position";
}

TEST_P(ArchivePlaybackTest, RatesOf32And64PlayOnWhileASlowSourceIsStillFillingTheSegment)
{
    // The TCP source's frames arrive one by one: at these rates the play
    // position reached frames not yet there, ran on without them and showed
    // nothing more (stopped for good now and then).
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    for (const double rate : {32.0, 64.0, 32.0, 64.0}) {
        ASSERT_EQ(S_OK, SeekGroup(5));
        m_Chains[0].renderer->ClearSamples();
        ASSERT_EQ(S_OK, SetRate(rate));
        ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 110; }, kEventTimeoutMs))
            << "rate " << rate << ":" << Text(RenderedFrames());
        ASSERT_EQ(S_OK, SetRate(0.0));
    }
}

TEST_P(ArchivePlaybackTest, ThreeViewsEachWithItsOwnSourceShowTheSameRecordedFrame)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain", 3));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(0));
    ASSERT_EQ(S_OK, SetRate(1.0));
    for (size_t c = 0; c < 3; ++c)
        ASSERT_TRUE(m_Chains[c].renderer->WaitForSamples(5, kEventTimeoutMs)) << "view " << c;

    const auto expectInStep = [&](const char* phase) {
        ExpectGroupInStep(m_Chains[0].renderer.Get(), {m_Chains[1].renderer.Get(), m_Chains[2].renderer.Get()},
                          [&](const RenderedSample& sample) { return FrameOf(sample); }, phase);
    };
    expectInStep("rate 1");
    ASSERT_EQ(S_OK, SetRate(4.0));
    Sleep(100);
    expectInStep("rate 4");
    ASSERT_EQ(S_OK, SeekGroup(40));  // the recording ends at 119: leave room to play on
    ASSERT_TRUE(WaitUntil([&] { return LastFrame(0) >= 41; }, kEventTimeoutMs));
    expectInStep("after a seek");

    // Held frames: after each step and rate change every view shows the same frame.
    ASSERT_EQ(S_OK, SetRate(0.001));
    Sleep(100);
    const auto allShow = [&](const char* what) {
        ASSERT_TRUE(WaitUntil([&] {
            const int target = LastFrame(1);
            return target >= 0 && LastFrame(0) == target && LastFrame(2) == target;
        }, kEventTimeoutMs)) << what << ": " << LastFrame(0) << " " << LastFrame(1) << " " << LastFrame(2);
    };
    IV77DsBuffer* slave = Control(1);
    ASSERT_EQ(S_OK, Bounded([&] { return slave->Step(1); }));
    allShow("step on a slave");
    ASSERT_EQ(S_OK, Bounded([&] { return slave->Step(-1); }));
    allShow("step back");
    ASSERT_EQ(S_OK, SetRate(-1.0));
    Sleep(300);
    ASSERT_EQ(S_OK, SetRate(0.001));
    Sleep(200);
    allShow("after reverse play");
}

INSTANTIATE_TEST_SUITE_P(Sources, ArchivePlaybackTest,
                         ::testing::Values(SourceKind::Store, SourceKind::AviFile, SourceKind::Tcp, SourceKind::Local),
                         SourceKindName);

}  // namespace
