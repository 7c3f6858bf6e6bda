// Seeking from the renderer passed upstream to the source's
// CSourceSeeking, with the flush and new segment that a seek causes.
#include "tests/framework/GraphFixture.h"
#include <evcode.h>
#include <uuids.h>

namespace {

ComPtr<IMediaSeeking> SeekingOf(IBaseFilter* filter)
{
    ComPtr<IMediaSeeking> seeking;
    filter->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf()));
    return seeking;
}

// Index of the first sample whose media time starts at mediaStart, or -1.
int FindMediaStart(const std::vector<RenderedSample>& samples, LONGLONG mediaStart)
{
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].mediaTimeValid && samples[i].mediaStart == mediaStart)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

TEST_F(GraphFixture, SeekThroughTheRendererFlushesAndPlaysFromTheNewStartToTheNewStop)
{
    BuildSourceToRenderer(SourceConfig(100));
    ComPtr<IMediaSeeking> seeking = SeekingOf(m_Renderer->Filter());
    ASSERT_TRUE(seeking);
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(3, kStateTimeoutMs));

    // Start and stop together: frames 60 to 89.
    LONGLONG position = 60 * kFrameDuration, stop = 90 * kFrameDuration;
    ASSERT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, &stop,
                                          AM_SEEKING_AbsolutePositioning));
    EXPECT_EQ(1, Stream()->changeStarts.load());
    EXPECT_EQ(1, Stream()->changeStops.load());
    EXPECT_EQ(1, RendererPin()->beginFlushes.load());
    EXPECT_EQ(1, RendererPin()->endFlushes.load());

    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    EXPECT_EQ(position, RendererPin()->SegmentStart());
    EXPECT_EQ(2, RendererPin()->newSegments.load());
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    int first = FindMediaStart(samples, position);
    ASSERT_GE(first, 3);
    // After the seek: frames 60..89, stream times restarting at 0, nothing older.
    ASSERT_EQ(30u, samples.size() - first);
    for (int i = 0; i < 30; ++i) {
        const RenderedSample& seen = samples[first + i];
        EXPECT_EQ((60 + i) * kFrameDuration, seen.mediaStart) << i;
        EXPECT_EQ(i * kFrameDuration, seen.start) << i;
    }
    EXPECT_TRUE(samples[first].discontinuity);
    for (int i = 0; i < first; ++i)
        EXPECT_LT(samples[i].mediaStart, 60 * kFrameDuration);
}

TEST_F(GraphFixture, SeekWhileTheRendererIsBusyReleasesIt)
{
    BuildSourceToRenderer(SourceConfig(100));
    ComPtr<IMediaSeeking> seeking = SeekingOf(m_Renderer->Filter());
    RendererPin()->Block();
    // The pause cannot complete while the renderer is busy: Run is asynchronous.
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    ASSERT_TRUE(RendererPin()->WaitUntilBlocked(kStateTimeoutMs));

    ULONGLONG before = NowMs();
    LONGLONG position = 90 * kFrameDuration;
    ASSERT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_LT(NowMs() - before, 3000u);
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(10u, samples.size());
    EXPECT_EQ(position, samples.front().mediaStart);
}

TEST_F(GraphFixture, RendererPositionFollowsTheSamplesAndRateAndFormatReachTheSource)
{
    BuildSourceToRenderer(SourceConfig(10));
    ComPtr<IMediaSeeking> seeking = SeekingOf(m_Renderer->Filter());
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(10 * kFrameDuration, duration);
    LONGLONG current = -1;
    // Nothing received yet: the source is asked, and it does not know.
    EXPECT_EQ(E_NOTIMPL, seeking->GetCurrentPosition(&current));

    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    // The sample held in pause gives the position.
    ASSERT_EQ(S_OK, seeking->GetCurrentPosition(&current));
    EXPECT_EQ(0, current);

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    ASSERT_EQ(S_OK, seeking->GetCurrentPosition(&current));
    EXPECT_EQ(duration, current);

    // IMediaPosition gives the same in seconds.
    ComPtr<IMediaPosition> position;
    ASSERT_EQ(S_OK, m_Renderer->Filter()->QueryInterface(IID_IMediaPosition,
                                                         reinterpret_cast<void**>(position.GetAddressOf())));
    REFTIME seconds = 0;
    ASSERT_EQ(S_OK, position->get_Duration(&seconds));
    EXPECT_DOUBLE_EQ(0.2, seconds);
    LONG canSeek = 0;
    ASSERT_EQ(S_OK, position->CanSeekForward(&canSeek));
    EXPECT_NE(0, canSeek);

    // Stopping forgets the cached position.
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_EQ(E_NOTIMPL, seeking->GetCurrentPosition(&current));

    // Rate and format queries reach the source (whose answers the unit suite checks).
    EXPECT_EQ(S_OK, seeking->SetRate(2.0));
    EXPECT_EQ(1, Stream()->changeRates.load());
    EXPECT_EQ(S_FALSE, seeking->IsFormatSupported(&TIME_FORMAT_FRAME));
    DWORD caps = 0;
    EXPECT_EQ(S_OK, seeking->GetCapabilities(&caps));
    EXPECT_TRUE(caps & AM_SEEKING_CanSeekAbsolute);
}
