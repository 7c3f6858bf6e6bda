// A copying transform and an in-place transform between the test source and
// renderer: data, times and flags across them, allocator sharing or copying,
// seeking, flushing, end of stream and quality passed through.
#include "tests/framework/GraphFixture.h"
#include <evcode.h>
#include "tests/kit/CTestInPlaceFilter.h"
#include "tests/kit/CTestTransformFilter.h"

namespace {

class TransformFixture : public GraphFixture {
protected:
    void TearDown() override
    {
        GraphFixture::TearDown();
        m_Transform.Reset();
        m_InPlace.Reset();
    }

    // source -> transform -> renderer
    void BuildWithTransform(const TestSourceConfig& source, const TestRendererConfig& renderer = {})
    {
        AddSourceAndRenderer(source, renderer);
        m_Transform = Adopt(CTestTransformFilter::Create());
        ASSERT_TRUE(m_Transform);
        ASSERT_EQ(S_OK, m_Graph.Add(m_Transform->Filter(), L"transform"));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_Transform->Filter()));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Transform->Filter(), m_Renderer->Filter()));
    }

    // source -> in-place -> renderer, connected in the usual order (upstream first)
    void BuildWithInPlace(const TestSourceConfig& source, const TestRendererConfig& renderer = {},
                          bool modifiesData = true)
    {
        AddSourceAndRenderer(source, renderer);
        m_InPlace = Adopt(CTestInPlaceFilter::Create(modifiesData));
        ASSERT_TRUE(m_InPlace);
        ASSERT_EQ(S_OK, m_Graph.Add(m_InPlace->Filter(), L"in place"));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_InPlace->Filter()));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_InPlace->Filter(), m_Renderer->Filter()));
    }

    void PlayToCompletion()
    {
        ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
        ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    }

    void ExpectBytes(const RenderedSample& seen, int frame, BYTE (*change)(BYTE))
    {
        ASSERT_EQ(64u, seen.bytes.size()) << "frame " << frame;
        for (LONG i = 0; i < 64; ++i)
            ASSERT_EQ(change(TestFrameByte(frame, i)), seen.bytes[i]) << "frame " << frame << " byte " << i;
    }

    // Ten frames reached the renderer with these bytes, as the source's own samples or not.
    void ExpectTenFrames(bool sourcesSamples, BYTE (*change)(BYTE))
    {
        std::vector<RenderedSample> samples = m_Renderer->Samples();
        ASSERT_EQ(10u, samples.size());
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(sourcesSamples, Stream()->Delivered(samples[i].identity)) << "frame " << i;
            EXPECT_EQ(i * kFrameDuration, samples[i].start);
            ExpectBytes(samples[i], i, change);
        }
    }

    static BYTE Inverted(BYTE b) { return static_cast<BYTE>(b ^ CTestTransformFilter::kTransformMask); }
    static BYTE Incremented(BYTE b) { return static_cast<BYTE>(b + CTestInPlaceFilter::kIncrement); }
    static BYTE Unchanged(BYTE b) { return b; }

    ComPtr<CTestTransformFilter> m_Transform;
    ComPtr<CTestInPlaceFilter> m_InPlace;
};

}  // namespace

TEST_F(TransformFixture, TransformDeliversNewSamplesWithTheInputsTimesAndFlags)
{
    BuildWithTransform(SourceConfig(10));
    PlayToCompletion();
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(10u, samples.size());
    for (int i = 0; i < 10; ++i) {
        const RenderedSample& seen = samples[i];
        EXPECT_FALSE(Stream()->Delivered(seen.identity)) << "frame " << i;
        EXPECT_EQ(i * kFrameDuration, seen.start);
        EXPECT_EQ((i + 1) * kFrameDuration, seen.stop);
        EXPECT_TRUE(seen.mediaTimeValid);
        EXPECT_EQ(i * kFrameDuration, seen.mediaStart);
        EXPECT_TRUE(seen.syncPoint);
        EXPECT_EQ(i == 0, seen.discontinuity) << "frame " << i;
        ExpectBytes(seen, i, Inverted);
    }
    EXPECT_EQ(10, m_Transform->transforms.load());
    EXPECT_EQ(1, m_Transform->startStreamings.load());
    EXPECT_EQ(1, RendererPin()->newSegments.load());
    EXPECT_EQ(1, m_Renderer->endOfStreams.load());
    // The renderer's quality messages travel up through the transform.
    EXPECT_GT(m_Transform->qualityMessages.load(), 0);
    EXPECT_GT(Stream()->qualityMessages.load(), 0);

    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_EQ(1, m_Transform->stopStreamings.load());
}

TEST_F(TransformFixture, SkippedSamplesDoNotStopTheStream)
{
    BuildWithTransform(SourceConfig(10));
    m_Transform->SkipEvery(2);
    PlayToCompletion();
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(5u, samples.size());
    for (int i = 0; i < 5; ++i)
        ExpectBytes(samples[i], 2 * i, Inverted);
    // The sample after a skipped one says so.
    EXPECT_TRUE(samples[1].discontinuity);
    EXPECT_EQ(1, m_Graph.CountEvents(EC_QUALITY_CHANGE));
}

TEST_F(TransformFixture, SeekingThroughTheTransformReachesTheSourceAndFlushesDownstream)
{
    BuildWithTransform(SourceConfig(100));
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, m_Renderer->Filter()->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(2, kStateTimeoutMs));

    LONGLONG position = 95 * kFrameDuration;
    ASSERT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    EXPECT_EQ(1, Stream()->changeStarts.load());
    EXPECT_EQ(1, RendererPin()->beginFlushes.load());
    EXPECT_EQ(1, RendererPin()->endFlushes.load());
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    EXPECT_EQ(position, RendererPin()->SegmentStart());
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_GE(samples.size(), 5u);
    EXPECT_EQ(99 * kFrameDuration, samples.back().mediaStart);

    // The transform's own output pin answers seeking the same way.
    ComPtr<IPin> output = TestGraph::FindPin(m_Transform->Filter(), PINDIR_OUTPUT);
    ComPtr<IMediaSeeking> outputSeeking;
    ASSERT_EQ(S_OK, output->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(outputSeeking.GetAddressOf())));
    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, outputSeeking->GetDuration(&duration));
    EXPECT_EQ(100 * kFrameDuration, duration);
}

TEST_F(TransformFixture, TransformOutputOffersNoTypeBeforeItsInputConnects)
{
    AddSourceAndRenderer(SourceConfig());
    m_Transform = Adopt(CTestTransformFilter::Create());
    ASSERT_EQ(S_OK, m_Graph.Add(m_Transform->Filter(), L"transform"));
    ComPtr<IPin> output = TestGraph::FindPin(m_Transform->Filter(), L"XForm Out");
    ComPtr<IPin> input = TestGraph::FindPin(m_Transform->Filter(), L"XForm In");
    ASSERT_TRUE(output && input);
    ComPtr<IPin> rendererIn = TestGraph::FindPin(m_Renderer->Filter(), PINDIR_INPUT);
    EXPECT_FALSE(SUCCEEDED(m_Graph.ConnectDirect(output.Get(), rendererIn.Get())));

    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, output->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())));
    LONGLONG duration = 0;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, seeking->GetDuration(&duration));
}

// The in-place filter shares the source's allocator unless a neighbour
// insists on its own or the buffers are read-only and it writes: then it
// copies into the allocator downstream was notified of. Ten frames pass either way.
TEST_F(TransformFixture, InPlaceSharesTheAllocatorOrCopiesAsItsNeighboursAndBuffersAllow)
{
    struct Case {
        const char* name;
        bool sourceInsists, readOnly, rendererRefuses, modifies, copies;
    };
    const Case cases[] = {
        {"both share", false, false, false, true, false},
        {"downstream insists", false, false, true, true, false},
        {"neither shares", true, false, true, true, true},
        {"read-only buffers", false, true, false, true, true},
        {"read-only buffers, filter only reads", false, true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Graph.Release();
        m_Source.Reset();
        m_Renderer.Reset();
        m_InPlace.Reset();
        ASSERT_EQ(S_OK, m_Graph.Create());
        TestSourceConfig source = SourceConfig(10);
        source.insistOnOwnAllocator = c.sourceInsists;
        source.readOnly = c.readOnly;
        TestRendererConfig renderer;
        renderer.refuseForeignAllocators = c.rendererRefuses;
        BuildWithInPlace(source, renderer, c.modifies);

        IMemAllocator* upstream = Stream()->Allocator();
        ASSERT_NE(nullptr, upstream);
        EXPECT_EQ(c.copies, m_InPlace->Copying());
        EXPECT_EQ(upstream, m_InPlace->InputAllocator());
        EXPECT_EQ(RendererPin()->NotifiedAllocator(), m_InPlace->OutputAllocator());
        EXPECT_EQ(c.copies, upstream != m_InPlace->OutputAllocator());
        if (c.rendererRefuses) {
            if (c.copies)
                EXPECT_GE(RendererPin()->refusedAllocators.load(), 1);
            else
                EXPECT_EQ(RendererPin()->OfferedAllocator(), upstream);
        }
        if (c.readOnly && !c.copies) {
            EXPECT_TRUE(RendererPin()->notifiedReadOnly.load());
        }
        if (c.copies) {
            // Copies must hold whole upstream buffers.
            ALLOCATOR_PROPERTIES props = {};
            ASSERT_EQ(S_OK, m_InPlace->OutputAllocator()->GetProperties(&props));
            EXPECT_GE(props.cbBuffer, 64);
        }

        PlayToCompletion();
        ExpectTenFrames(!c.copies, c.modifies ? Incremented : Unchanged);
        for (const RenderedSample& seen : m_Renderer->Samples()) {
            EXPECT_TRUE(m_InPlace->Transformed(seen.identity));
            EXPECT_EQ(seen.start, seen.mediaStart);
            EXPECT_TRUE(seen.syncPoint);
        }
    }
}

TEST_F(TransformFixture, InPlaceConnectedDownstreamFirstStillShares)
{
    AddSourceAndRenderer(SourceConfig(10));
    m_InPlace = Adopt(CTestInPlaceFilter::Create(true));
    ASSERT_EQ(S_OK, m_Graph.Add(m_InPlace->Filter(), L"in place"));
    // Without an input the in-place filter has no type to offer downstream.
    EXPECT_FALSE(SUCCEEDED(m_Graph.ConnectFilters(m_InPlace->Filter(), m_Renderer->Filter())));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_InPlace->Filter()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_InPlace->Filter(), m_Renderer->Filter()));
    EXPECT_FALSE(m_InPlace->Copying());
    PlayToCompletion();
    EXPECT_EQ(10u, m_Renderer->SampleCount());
}

TEST_F(TransformFixture, SourceTransformInPlaceRendererChainPlaysAndSeeks)
{
    AddSourceAndRenderer(SourceConfig(100));
    m_Transform = Adopt(CTestTransformFilter::Create());
    m_InPlace = Adopt(CTestInPlaceFilter::Create(true));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Transform->Filter(), L"transform"));
    ASSERT_EQ(S_OK, m_Graph.Add(m_InPlace->Filter(), L"in place"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_Transform->Filter()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Transform->Filter(), m_InPlace->Filter()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_InPlace->Filter(), m_Renderer->Filter()));

    // The graph's seeking reaches the source through the renderer and both transforms.
    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, m_Graph.Seeking()->GetDuration(&duration));
    EXPECT_EQ(100 * kFrameDuration, duration);
    LONGLONG position = 90 * kFrameDuration;
    ASSERT_TRUE(SUCCEEDED(m_Graph.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                         AM_SEEKING_NoPositioning)));
    EXPECT_EQ(1, Stream()->changeStarts.load());
    EXPECT_GE(RendererPin()->beginFlushes.load(), 1);
    PlayToCompletion();
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(10u, samples.size());
    for (int i = 0; i < 10; ++i)
        ExpectBytes(samples[i], 90 + i, [](BYTE b) { return Incremented(Inverted(b)); });
}
