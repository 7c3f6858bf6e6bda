// Source -> renderer graphs in the platform's filter graph manager: state
// changes, scheduling, end of stream, allocator negotiation, errors.
#include <evcode.h>
#include "tests/framework/GraphFixture.h"
#include "tests/kit/CTestAllocator.h"

namespace {

void ExpectFrame(const RenderedSample& seen, int frame, REFERENCE_TIME expectedStart)
{
    SCOPED_TRACE(frame);
    EXPECT_TRUE(seen.timeValid);
    EXPECT_EQ(expectedStart, seen.start);
    EXPECT_EQ(expectedStart + kFrameDuration, seen.stop);
    EXPECT_TRUE(seen.mediaTimeValid);
    EXPECT_EQ(frame * kFrameDuration, seen.mediaStart);
    ASSERT_EQ(64, seen.length);
    ASSERT_EQ(64u, seen.bytes.size());
    for (LONG i = 0; i < 64; ++i)
        ASSERT_EQ(TestFrameByte(frame, i), seen.bytes[i]) << "byte " << i;
}

ComPtr<IMediaSample> TakeSample(CTestAllocator* allocator)
{
    ALLOCATOR_PROPERTIES props = {1, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ComPtr<IMediaSample> sample;
    if (SUCCEEDED(allocator->SetProperties(&props, &actual)) && SUCCEEDED(allocator->Commit()))
        allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    return sample;
}

}  // namespace

TEST_F(GraphFixture, PlaysEveryFrameInOrderAtItsTimeAndCompletes)
{
    BuildSourceToRenderer(SourceConfig(10));
    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    // Paused: the first sample completes the pause but waits for the clock.
    EXPECT_EQ(1, m_Renderer->firstSamples.load());
    EXPECT_EQ(0u, m_Renderer->SampleCount());

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));

    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(10u, samples.size());
    for (int i = 0; i < 10; ++i) {
        ExpectFrame(samples[i], i, i * kFrameDuration);
        // Drawn when due on the graph clock (1 ms of timer slack).
        ASSERT_TRUE(samples[i].streamTimeValid);
        EXPECT_GE(samples[i].streamTime, samples[i].start - 10000) << "frame " << i;
    }
    EXPECT_TRUE(samples[0].discontinuity);
    EXPECT_EQ(1, m_Renderer->endOfStreams.load());
    EXPECT_EQ(1, Stream()->endOfStreams.load());
    EXPECT_EQ(1, RendererPin()->newSegments.load());

    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_EQ(1, Stream()->threadCreates.load());
    EXPECT_EQ(1, Stream()->threadDestroys.load());
}

TEST_F(GraphFixture, EndOfStreamWhilePausedCompletesOnlyOnceRunning)
{
    BuildSourceToRenderer(SourceConfig(0));
    // No sample will come: the end of stream completes the pause.
    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForEndOfStream(kStateTimeoutMs));
    EXPECT_FALSE(m_Graph.WaitForEvent(EC_COMPLETE, 300));

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    EXPECT_EQ(1, m_Graph.CountEvents(EC_COMPLETE));
}

TEST_F(GraphFixture, PausedWithoutSampleStaysIntermediateWithinTheTimeoutAndStopsAtOnce)
{
    TestSourceConfig config = SourceConfig(5);
    config.gated = true;
    BuildSourceToRenderer(config);
    // Stopping a pause that cannot complete must never hang.
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(SUCCEEDED(m_Graph.Pause()));
        OAFilterState state;
        ASSERT_EQ(VFW_S_STATE_INTERMEDIATE, m_Graph.GetState(10, &state));
        ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    }
    EXPECT_EQ(0u, m_Renderer->SampleCount());
    m_Graph.Pause();

    OAFilterState state = -1;
    ULONGLONG before = NowMs();
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, m_Graph.GetState(200, &state));
    ULONGLONG waited = NowMs() - before;
    EXPECT_GE(waited, 150u);
    EXPECT_LT(waited, 2000u);

    FILTER_STATE filterState = State_Stopped;
    before = NowMs();
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, m_Renderer->Filter()->GetState(0, &filterState));
    EXPECT_EQ(State_Paused, filterState);
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, m_Renderer->Filter()->GetState(100, &filterState));
    EXPECT_LT(NowMs() - before, 2000u);

    Stream()->ReleaseGate();
    EXPECT_EQ(S_OK, m_Graph.GetState(kStateTimeoutMs, &state));
    EXPECT_EQ(State_Paused, state);
    EXPECT_EQ(S_OK, m_Renderer->Filter()->GetState(0, &filterState));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(GraphFixture, RendererSaysItIsARendererAndSeeksThroughItsFilter)
{
    AddSourceAndRenderer(SourceConfig());
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(S_OK, m_Renderer->Filter()->QueryInterface(IID_IAMFilterMiscFlags,
                                                         reinterpret_cast<void**>(flags.GetAddressOf())));
    EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER), flags->GetMiscFlags());

    // Seeking and position interfaces are parts of the filter's identity.
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaPosition> position;
    ComPtr<IUnknown> fromFilter, fromSeeking, fromPosition;
    ASSERT_EQ(S_OK, m_Renderer->Filter()->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())));
    ASSERT_EQ(S_OK, m_Renderer->Filter()->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(position.GetAddressOf())));
    m_Renderer->Filter()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(fromFilter.GetAddressOf()));
    seeking->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(fromSeeking.GetAddressOf()));
    position->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(fromPosition.GetAddressOf()));
    EXPECT_EQ(fromFilter.Get(), fromSeeking.Get());
    EXPECT_EQ(fromFilter.Get(), fromPosition.Get());

    // Not connected: nothing upstream to ask.
    LONGLONG duration = 0;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, seeking->GetDuration(&duration));
    EXPECT_EQ(E_POINTER, seeking->GetDuration(nullptr));
}

TEST_F(GraphFixture, StopReleasesABusyRendererAndTheSourceThread)
{
    BuildSourceToRenderer(SourceConfig(1000));
    RendererPin()->Block();
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    ASSERT_TRUE(RendererPin()->WaitUntilBlocked(kStateTimeoutMs));

    ULONGLONG before = NowMs();
    EXPECT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_LT(NowMs() - before, 3000u);
    EXPECT_EQ(1, Stream()->threadDestroys.load());
}

TEST_F(GraphFixture, FillBufferFailureEndsTheStreamWithErrorAbort)
{
    TestSourceConfig config = SourceConfig(10);
    config.failAtFrame = 3;
    config.failResult = E_OUTOFMEMORY;
    BuildSourceToRenderer(config);
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));

    LONG_PTR param1 = 0;
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_ERRORABORT, kEventTimeoutMs, &param1));
    EXPECT_EQ(E_OUTOFMEMORY, static_cast<HRESULT>(param1));
    EXPECT_TRUE(m_Renderer->WaitForEndOfStream(kStateTimeoutMs));
    EXPECT_TRUE(m_Renderer->WaitForSamples(3, kStateTimeoutMs));
    EXPECT_EQ(3u, m_Renderer->SampleCount());
}

TEST_F(GraphFixture, RendererRefusesSamplesAfterEndOfStreamAndWhenStopped)
{
    BuildSourceToRenderer(SourceConfig(0));
    ComPtr<CTestAllocator> allocator;
    allocator = Adopt(CTestAllocator::Create());
    ComPtr<IMediaSample> sample = TakeSample(allocator.Get());
    ASSERT_TRUE(sample);
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, RendererPin()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(input.GetAddressOf())));

    EXPECT_EQ(VFW_E_WRONG_STATE, input->Receive(sample.Get()));
    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForEndOfStream(kStateTimeoutMs));
    EXPECT_EQ(VFW_E_SAMPLE_REJECTED_EOS, input->Receive(sample.Get()));
    EXPECT_EQ(E_POINTER, input->Receive(nullptr));
    // A refused sample must not have left the pause waiting.
    OAFilterState state;
    EXPECT_EQ(S_OK, m_Graph.GetState(0, &state));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_EQ(VFW_E_WRONG_STATE, input->Receive(sample.Get()));
    sample.Reset();
    allocator->Decommit();
}

TEST_F(GraphFixture, DownstreamAllocatorIsUsedWithTheDecidedProperties)
{
    TestRendererConfig renderer;
    renderer.haveRequirements = true;
    renderer.requirements = {5, 128, 16, 0};
    BuildSourceToRenderer(SourceConfig(), renderer);

    IMemAllocator* used = Stream()->Allocator();
    ASSERT_NE(nullptr, used);
    EXPECT_EQ(RendererPin()->OfferedAllocator(), used);
    EXPECT_EQ(RendererPin()->NotifiedAllocator(), used);
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(S_OK, used->GetProperties(&props));
    // The source asked 3 x 64; the renderer's requirements raise it.
    EXPECT_EQ(5, props.cBuffers);
    EXPECT_GE(props.cbBuffer, 128);
    EXPECT_EQ(16, props.cbAlign);
    EXPECT_FALSE(RendererPin()->notifiedReadOnly.load());
}

// None offered: the output pin's own, as requested. One that refuses the
// properties: replaced, never asked for a buffer. One with fewer buffers: kept as decided.
TEST_F(GraphFixture, TheOutputPinReplacesOrKeepsWhatDownstreamOffersAndPlaysEveryFrame)
{
    ComPtr<CTestAllocator> wrong = Adopt(CTestAllocator::Create()), small = Adopt(CTestAllocator::Create());
    wrong->FailSetProperties(E_FAIL);
    small->CapBuffers(1);
    for (CTestAllocator* offered : {static_cast<CTestAllocator*>(nullptr), wrong.Get(), small.Get()}) {
        SCOPED_TRACE(offered == wrong.Get() ? "refusing" : offered ? "one buffer" : "none");
        m_Graph.Release();
        ASSERT_EQ(S_OK, m_Graph.Create());
        TestRendererConfig renderer;
        renderer.offer = offered ? TestRendererConfig::Offer::Custom : TestRendererConfig::Offer::None;
        renderer.customAllocator = offered;
        BuildSourceToRenderer(SourceConfig(), renderer);

        IMemAllocator* used = Stream()->Allocator();
        ASSERT_NE(nullptr, used);
        EXPECT_EQ(used, RendererPin()->NotifiedAllocator());
        if (offered == small.Get()) {
            EXPECT_EQ(static_cast<IMemAllocator*>(small.Get()), used);
            EXPECT_EQ(1, Stream()->DecidedProperties().cBuffers);
        } else if (offered) {
            EXPECT_NE(static_cast<IMemAllocator*>(wrong.Get()), used);
        } else {
            ALLOCATOR_PROPERTIES props = {};
            ASSERT_EQ(S_OK, used->GetProperties(&props));
            EXPECT_EQ(3, props.cBuffers);
            EXPECT_EQ(64, props.cbBuffer);
        }
        ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
        EXPECT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
        EXPECT_EQ(10u, m_Renderer->SampleCount());
    }
    EXPECT_GE(wrong->SetPropertiesCalls(), 1);
    EXPECT_EQ(0, wrong->GetBufferCalls());
    EXPECT_GE(small->GetBufferCalls(), 10);
}

TEST_F(GraphFixture, PooledSamplesReachTheRendererUnchanged)
{
    ComPtr<CTestAllocator> pool;
    pool = Adopt(CTestAllocator::Create());
    ALLOCATOR_PROPERTIES props = {4, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(S_OK, pool->SetProperties(&props, &actual));
    TestSourceConfig config = SourceConfig(10);
    config.sampleAllocator = pool.Get();
    BuildSourceToRenderer(config);

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kEventTimeoutMs));
    std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(10u, samples.size());
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(pool->HandedOut(samples[i].identity)) << "frame " << i;
        ExpectFrame(samples[i], i, i * kFrameDuration);
    }
    // The negotiated allocator was never asked for a buffer.
    ALLOCATOR_PROPERTIES unused = {};
    ASSERT_EQ(S_OK, Stream()->Allocator()->GetProperties(&unused));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_GE(pool->GetBufferCalls(), 10);
}
