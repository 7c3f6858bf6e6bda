// The renderer driven by hand, without the platform's graph manager: our own
// system clock and an event sink that keeps EC_COMPLETE's parameters, so the
// end-of-stream timing and parameters can be checked exactly.
#include "tests/framework/GraphFixture.h"
#include <evcode.h>
#include <uuids.h>
#include "tests/kit/CEventSinkGraph.h"

namespace {

// 100 ms frames: the last one ends well after it is drawn.
constexpr REFERENCE_TIME kSlowFrame = 1000000;

class ManualGraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                         reinterpret_cast<void**>(m_Clock.GetAddressOf())));
        m_Sink.SetClock(m_Clock.Get());
        TestSourceConfig config;
        config.mediaType = MakeTestVideoType(4, 4, kSlowFrame);
        config.frameCount = 3;
        config.frameDuration = kSlowFrame;
        m_Source = Adopt(CTestSource::Create(config));
        m_Renderer = Adopt(CTestRenderer::Create());
        for (IBaseFilter* filter : {m_Source->Filter(), m_Renderer->Filter()}) {
            ASSERT_EQ(S_OK, filter->JoinFilterGraph(m_Sink.Graph(), L"manual"));
            ASSERT_EQ(S_OK, filter->SetSyncSource(m_Clock.Get()));
        }
    }

    void TearDown() override
    {
        m_Renderer->Filter()->Stop();
        m_Source->Filter()->Stop();
        if (m_Connected) {
            m_Source->Stream()->Disconnect();
            m_Renderer->TestPin()->Disconnect();
        }
        m_Source->Filter()->JoinFilterGraph(nullptr, nullptr);
        m_Renderer->Filter()->JoinFilterGraph(nullptr, nullptr);
    }

    void Connect()
    {
        ASSERT_EQ(S_OK, m_Source->Stream()->Connect(m_Renderer->TestPin(), nullptr));
        m_Connected = true;
    }

    // Downstream first, as a graph does; returns the start time given.
    REFERENCE_TIME PauseAndRun()
    {
        EXPECT_TRUE(SUCCEEDED(m_Renderer->Filter()->Pause()));
        EXPECT_EQ(S_OK, m_Source->Filter()->Pause());
        FILTER_STATE state;
        EXPECT_EQ(S_OK, m_Renderer->Filter()->GetState(kStateTimeoutMs, &state));
        REFERENCE_TIME now = 0;
        m_Clock->GetTime(&now);
        REFERENCE_TIME start = now + 500000;
        EXPECT_EQ(S_OK, m_Renderer->Filter()->Run(start));
        EXPECT_EQ(S_OK, m_Source->Filter()->Run(start));
        return start;
    }

    CComInit m_Com;
    ComPtr<IReferenceClock> m_Clock;
    CEventSinkGraph m_Sink;
    ComPtr<CTestSource> m_Source;
    ComPtr<CTestRenderer> m_Renderer;
    bool m_Connected = false;
};

}  // namespace

TEST_F(ManualGraphTest, CompletionNamesTheRendererWaitsForTheLastSampleAndComesAgainAfterAPause)
{
    Connect();
    REFERENCE_TIME start = PauseAndRun();
    ASSERT_TRUE(m_Sink.WaitFor(EC_COMPLETE, 1, kEventTimeoutMs));
    std::vector<CEventSinkGraph::Event> events = m_Sink.Events();
    const CEventSinkGraph::Event* complete = nullptr;
    for (const auto& event : events)
        complete = event.code == EC_COMPLETE ? &event : complete;
    ASSERT_NE(nullptr, complete);
    EXPECT_EQ(S_OK, static_cast<HRESULT>(complete->param1));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(m_Renderer->Filter()), complete->param2);
    // The last sample ends at stream time 3 frames: not before (1 ms timer slack).
    EXPECT_GE(complete->clockTime, start + 3 * kSlowFrame - 10000);
    ASSERT_EQ(3u, m_Renderer->SampleCount());
    EXPECT_FALSE(m_Sink.WaitFor(EC_COMPLETE, 2, 300));

    // At end of stream a pause completes at once, without a new sample; running again completes again.
    EXPECT_EQ(S_OK, m_Renderer->Filter()->Pause());
    REFERENCE_TIME now = 0;
    m_Clock->GetTime(&now);
    EXPECT_EQ(S_OK, m_Renderer->Filter()->Run(now));
    EXPECT_TRUE(m_Sink.WaitFor(EC_COMPLETE, 2, kEventTimeoutMs));
}

TEST_F(ManualGraphTest, AnEndOfStreamWhilePausedWithNothingShownCompletesAtOnceWhenRun)
{
    // A source with nothing to send: its end of stream reaches the paused renderer.
    m_Source->Filter()->JoinFilterGraph(nullptr, nullptr);
    TestSourceConfig config;
    config.mediaType = MakeTestVideoType(4, 4, kSlowFrame);
    config.frameCount = 0;
    config.frameDuration = kSlowFrame;
    m_Source = Adopt(CTestSource::Create(config));
    ASSERT_EQ(S_OK, m_Source->Filter()->JoinFilterGraph(m_Sink.Graph(), L"empty"));
    ASSERT_EQ(S_OK, m_Source->Filter()->SetSyncSource(m_Clock.Get()));
    Connect();
    EXPECT_TRUE(SUCCEEDED(m_Renderer->Filter()->Pause()));
    EXPECT_EQ(S_OK, m_Source->Filter()->Pause());
    ASSERT_TRUE(m_Renderer->WaitForEndOfStream(kEventTimeoutMs));
    // The stream starts 2 s from now; nothing was rendered, so nothing plays out.
    REFERENCE_TIME now = 0;
    m_Clock->GetTime(&now);
    const REFERENCE_TIME start = now + 20000000;
    EXPECT_EQ(S_OK, m_Renderer->Filter()->Run(start));
    EXPECT_EQ(S_OK, m_Source->Filter()->Run(start));
    ASSERT_TRUE(m_Sink.WaitFor(EC_COMPLETE, 1, kEventTimeoutMs));
    for (const auto& event : m_Sink.Events()) {
        if (event.code == EC_COMPLETE) {
            EXPECT_LT(event.clockTime, start) << "EC_COMPLETE waited for the stream start";
        }
    }
}

TEST_F(ManualGraphTest, StoppingBeforeTheLastSampleEndsCancelsTheCompletion)
{
    Connect();
    PauseAndRun();
    ASSERT_TRUE(m_Renderer->WaitForEndOfStream(kEventTimeoutMs));
    // The end of stream is in; the last sample plays out for another 100 ms.
    EXPECT_EQ(S_OK, m_Renderer->Filter()->Stop());
    EXPECT_FALSE(m_Sink.WaitFor(EC_COMPLETE, 1, 400));
}

TEST_F(ManualGraphTest, AnUnconnectedRendererCompletesWhenRun)
{
    EXPECT_EQ(S_OK, m_Renderer->Filter()->Pause());
    FILTER_STATE state;
    EXPECT_EQ(S_OK, m_Renderer->Filter()->GetState(0, &state));
    EXPECT_EQ(S_OK, m_Renderer->Filter()->Run(0));
    ASSERT_EQ(1, m_Sink.Count(EC_COMPLETE));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(m_Renderer->Filter()), m_Sink.Events().back().param2);
}

TEST_F(ManualGraphTest, ARendererThatDrawsOnArrivalHoldsThePausedSampleUntilRunOrStop)
{
    // Drawn on arrival, the renderer base signals due samples without the
    // clock; a paused first sample must still wait for Run, and Stop must
    // release the thread held with it.
    m_Renderer->Filter()->JoinFilterGraph(nullptr, nullptr);
    TestRendererConfig config;
    config.waitForSampleTime = false;
    m_Renderer = Adopt(CTestRenderer::Create(config));
    ASSERT_EQ(S_OK, m_Renderer->Filter()->JoinFilterGraph(m_Sink.Graph(), L"on arrival"));
    ASSERT_EQ(S_OK, m_Renderer->Filter()->SetSyncSource(m_Clock.Get()));
    Connect();
    for (long cycle = 1; cycle <= 2; ++cycle) {
        EXPECT_TRUE(SUCCEEDED(m_Renderer->Filter()->Pause()));
        EXPECT_EQ(S_OK, m_Source->Filter()->Pause());
        FILTER_STATE state;
        ASSERT_EQ(S_OK, m_Renderer->Filter()->GetState(kStateTimeoutMs, &state));
        EXPECT_EQ(cycle, m_Renderer->firstSamples.load());
        Sleep(100);
        EXPECT_EQ(0u, m_Renderer->SampleCount()) << "a paused sample was drawn as if running";
        if (cycle == 2) {
            // The frames left are due 10 s from now: drawn on arrival, they do not wait.
            REFERENCE_TIME now = 0;
            m_Clock->GetTime(&now);
            EXPECT_EQ(S_OK, m_Renderer->Filter()->Run(now + 100000000));
            EXPECT_EQ(S_OK, m_Source->Filter()->Run(now + 100000000));
            EXPECT_TRUE(m_Renderer->WaitForEndOfStream(kEventTimeoutMs));
            EXPECT_EQ(2u, m_Renderer->SampleCount());
        }
        const ULONGLONG before = GetTickCount64();
        EXPECT_EQ(S_OK, m_Renderer->Filter()->Stop());
        EXPECT_EQ(S_OK, m_Source->Filter()->Stop());
        EXPECT_LT(GetTickCount64() - before, 2000u);
    }
}
