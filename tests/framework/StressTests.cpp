// Many state changes, seeks and racing commands on real graphs: nothing may
// hang, leak objects or lose the end of the stream.
#include "tests/framework/GraphFixture.h"
#include <evcode.h>
#include "tests/kit/CTestInPlaceFilter.h"
#include "tests/kit/CTestTransformFilter.h"

namespace {

constexpr int kCycles = 200;

class StressFixture : public GraphFixture {
protected:
    // Every object of ours is gone once graph and filters are released.
    void ReleaseAllAndExpectNoObjectsLeft(LONG before)
    {
        m_Graph.Release();
        m_Source.Reset();
        m_Renderer.Reset();
        m_Transform.Reset();
        m_InPlace.Reset();
        EXPECT_EQ(before, CBaseObject::ObjectsActive());
    }

    void Cycle(int times)
    {
        for (int i = 0; i < times; ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
            ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
            ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
        }
    }

    ComPtr<CTestTransformFilter> m_Transform;
    ComPtr<CTestInPlaceFilter> m_InPlace;
};

}  // namespace

TEST_F(StressFixture, TwoHundredStateCyclesThroughBothTransformsLeaveNoObjectBehind)
{
    LONG before = CBaseObject::ObjectsActive();
    TestSourceConfig config = SourceConfig(1000000);
    config.endOfStream = false;
    AddSourceAndRenderer(config);
    m_Transform = Adopt(CTestTransformFilter::Create());
    m_InPlace = Adopt(CTestInPlaceFilter::Create(true));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Transform->Filter(), L"transform"));
    ASSERT_EQ(S_OK, m_Graph.Add(m_InPlace->Filter(), L"in place"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_Transform->Filter()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Transform->Filter(), m_InPlace->Filter()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_InPlace->Filter(), m_Renderer->Filter()));
    Cycle(kCycles);
    EXPECT_EQ(kCycles, m_Transform->startStreamings.load());
    EXPECT_EQ(kCycles, m_Transform->stopStreamings.load());
    EXPECT_EQ(kCycles, Stream()->threadCreates.load());
    EXPECT_EQ(kCycles, Stream()->threadDestroys.load());
    EXPECT_EQ(kCycles, m_Renderer->firstSamples.load());
    ReleaseAllAndExpectNoObjectsLeft(before);
}

TEST_F(StressFixture, RunAndStopRacingAnUnfinishedPause)
{
    // Run returns before the pause completes; the graph runs from its own
    // thread while we stop from ours.
    TestSourceConfig config = SourceConfig(1000000);
    config.endOfStream = false;
    BuildSourceToRenderer(config);
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
        if (i % 2)
            Sleep(i % 7);
        ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
        OAFilterState state = -1;
        ASSERT_EQ(S_OK, m_Graph.GetState(0, &state));
        ASSERT_EQ(State_Stopped, state);
    }
    EXPECT_EQ(Stream()->threadCreates.load(), Stream()->threadDestroys.load());
}

TEST_F(StressFixture, FiftySeeksWhilePlayingEndWithOneCompletion)
{
    BuildSourceToRenderer(SourceConfig(1000));
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, m_Renderer->Filter()->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        LONGLONG position = (i * 13 % 900) * kFrameDuration;
        ASSERT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                              AM_SEEKING_NoPositioning));
        Sleep(i % 5);
    }
    LONGLONG last = 995 * kFrameDuration;
    ASSERT_EQ(S_OK, seeking->SetPositions(&last, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    EXPECT_EQ(51, RendererPin()->beginFlushes.load());
    EXPECT_EQ(999 * kFrameDuration, m_Renderer->Samples().back().mediaStart);
    EXPECT_FALSE(m_Graph.WaitForEvent(EC_COMPLETE, 300));
}
