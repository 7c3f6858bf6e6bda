// The live sources in Wine's real filter graph, fed by test receivers from
// their own threads: the module's rows, opening and media types, frames
// through the buffer filter to the renderers without a copy, the secondary
// output, graph events, and a changed stream refused at reconnection.
#include <set>
#include "companions/V77Media/V77Media.h"
#include "sources/CV77DsAviSourceFilter.h"
#include "sources/CV77DsLocalSourceFilter.h"
#include "sources/CV77DsNetworkSourceFilter.h"
#include "sources/CV77DsTcpSourceFilter.h"
#include "tests/kit/CTestRendererInputPin.h"
#include "tests/sources/CTestContext.h"
#include "tests/sources/LiveSourceFixture.h"
#include "v77/V77Guids.h"
#include <uuids.h>

namespace {

class LiveSourceTest : public LiveSourceFixture {
protected:
    // Waits until the renderer has shown frame `frame` (bounded).
    bool WaitForFrame(CTestRenderer* renderer, int frame)
    {
        return WaitUntil([&] {
            for (const RenderedSample& s : renderer->Samples()) {
                if (FrameOf(s) == frame)
                    return true;
            }
            return false;
        }, kFlowTimeoutMs);
    }

    // Every sample the renderer saw is one the receiver filled, in order, stamped with its capture time.
    void ExpectUncopiedInOrder(CTestRenderer* renderer, CTestLiveReceiver* receiver)
    {
        const std::vector<RenderedSample> samples = renderer->Samples();
        ASSERT_FALSE(samples.empty());
        for (size_t i = 0; i < samples.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(receiver->Delivered(samples[i].identity)) << "a copy, not the receiver's pooled sample";
            const int frame = FrameOf(samples[i]);
            if (i > 0) {
                EXPECT_LT(FrameOf(samples[i - 1]), frame) << "frames out of order";
            }
            EXPECT_TRUE(samples[i].timeValid);
            EXPECT_EQ(frame * 400000LL, samples[i].mediaStart);
            EXPECT_EQ(samples[i].mediaStart, samples[i].start) << "video keeps the receiver's time";
            EXPECT_EQ(kWidth * kHeight * 2, samples[i].length);
        }
    }
};

TEST_F(LiveSourceTest, TheModuleMakesEachLiveSourceWithItsReceiverAndPassesConfigureThrough)
{
    struct Row {
        const CLSID* clsid;
        const wchar_t* pin;
    };
    const Row rows[] = {{&CLSID_V77DsNetworkSource, L"Network Live Source OUTPUT"},
                        {&CLSID_V77DsTcpSource, L"Network Live Source OUTPUT"},
                        {&CLSID_V77DsAviSource, L"Network Live Source OUTPUT"},
                        {&CLSID_V77DsLocalSource, L"Local Live Source OUTPUT"},
                        {&CLSID_V77PushSource, L"Push Source OUTPUT"}};
    for (const Row& row : rows) {
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(S_OK, CoCreateInstance(*row.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         reinterpret_cast<void**>(filter.GetAddressOf())));
        ComPtr<IPin> pin = TestGraph::FindPin(filter.Get(), PINDIR_OUTPUT, 0);
        ASSERT_TRUE(pin);
        PIN_INFO info = {};
        ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
        EXPECT_STREQ(row.pin, info.achName);
        info.pFilter->Release();
    }

    ComPtr<IBaseFilter> tcp;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77DsTcpSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(tcp.GetAddressOf())));
    ComPtr<IV77TcpReceiver> tcpConfig;
    ASSERT_EQ(S_OK, tcp.As(&tcpConfig));
    EXPECT_EQ(S_OK, tcpConfig->Configure(7, 12.5, 9));
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77TcpReceiver)->Last();
    EXPECT_EQ(7u, receiver->lastConfigureA.load());
    EXPECT_EQ(12.5, receiver->lastConfigureB.load());
    EXPECT_EQ(9u, receiver->lastConfigureC.load());

    ComPtr<IBaseFilter> avi;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77DsAviSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(avi.GetAddressOf())));
    ComPtr<IV77DsAviSource> aviConfig;
    ASSERT_EQ(S_OK, avi.As(&aviConfig));
    EXPECT_EQ(S_FALSE, aviConfig->Configure(1, 0)) << "the receiver's own result";
    EXPECT_EQ(1u, ReceiverClass(CLSID_V77AviReceiver)->Last()->lastConfigureA.load());

    // The pin answers the receiver's auxiliary object by asking the receiver,
    // and tells the graph it runs on its own clock.
    ComPtr<IPin> pin = TestGraph::FindPin(avi.Get(), PINDIR_OUTPUT, 0);
    ComPtr<IUnknown> auxiliary;
    EXPECT_EQ(E_NOINTERFACE, pin->QueryInterface(IID_IV77ReceiverAuxiliary,
                                                 reinterpret_cast<void**>(auxiliary.GetAddressOf())));
    EXPECT_EQ(1, ReceiverClass(CLSID_V77AviReceiver)->Last()->auxiliaryCalls.load());
    ComPtr<IAMPushSource> push;
    ASSERT_EQ(S_OK, pin.As(&push));
    ULONG flags = 0;
    EXPECT_EQ(S_OK, push->GetPushSourceFlags(&flags));
    EXPECT_EQ(static_cast<ULONG>(AM_PUSHSOURCECAPS_PRIVATE_CLOCK), flags);
    EXPECT_EQ(E_NOTIMPL, push->SetPushSourceFlags(0));
}

TEST_F(LiveSourceTest, OpenTakesTheReceiversDescriptionOrFallsBackToTheCallersRecord)
{
    ComPtr<CV77DsNetworkSourceFilter> source = NewFilter<CV77DsNetworkSourceFilter>(TEXT("source"));
    ASSERT_TRUE(source);
    ComPtr<IV77DsNetworkSource> control = SourceControl(source.Get());
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, control->Open(nullptr, nullptr, 3, 0, 0, &info));
    EXPECT_EQ(kWidth, info.Width) << "the receiver's description is copied back";
    AM_MEDIA_TYPE mt = {};
    ASSERT_EQ(S_OK, control->GetMediaType(&mt));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_YUY2, mt.subtype));
    FreeMediaType(mt);
    double bitRate = 0;
    EXPECT_EQ(S_OK, control->GetBitRate(&bitRate));
    EXPECT_DOUBLE_EQ(25 * 1000.0 * 8, bitRate);
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77NetworkReceiver)->Last();
    EXPECT_EQ(S_OK, control->SetTimeParameter(1.5));
    EXPECT_EQ(15000000, receiver->lastTimeParameter.load());

    // The pin offers that one type and accepts it either way up, nothing wider.
    CBasePin* pin = source->GetPin(0);
    CMediaType offered;
    EXPECT_EQ(S_OK, pin->GetMediaType(0, &offered));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin->GetMediaType(1, &offered));
    EXPECT_EQ(E_INVALIDARG, pin->GetMediaType(-1, &offered));
    CMediaType flipped = offered;
    GetBitmapInfoHeaderFromMediaType(flipped)->biHeight = -kHeight;
    EXPECT_EQ(S_OK, pin->CheckMediaType(&flipped));
    CMediaType wider = offered;
    GetBitmapInfoHeaderFromMediaType(wider)->biWidth = kWidth * 2;
    EXPECT_EQ(S_FALSE, pin->CheckMediaType(&wider));
    EXPECT_EQ(2, source->GetPinCount()) << "before anyone asked for the secondary output";
    EXPECT_EQ(source->GetPin(1), source->GetPin(1));

    // A receiver that cannot connect: its failure, unless the caller describes the stream.
    receiver->SetInformation(SOURCE_INFORMATION{});
    const HRESULT refused = HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED);
    EXPECT_EQ(refused, control->Open(nullptr, nullptr, 0, 0, 0, nullptr));
    SOURCE_INFORMATION unusable = {};
    EXPECT_EQ(refused, control->Open(nullptr, nullptr, 0, 0, 0, &unusable));
    SOURCE_INFORMATION rgb = {};
    rgb.AvgTimePerFrame = 400000;
    rgb.Width = 32;
    rgb.Height = 16;
    rgb.BitCount = 24;
    EXPECT_EQ(S_FALSE, control->Open(nullptr, nullptr, 0, 0, 0, &rgb));
    ASSERT_EQ(S_OK, pin->GetMediaType(0, &offered));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, *offered.Subtype()));
    EXPECT_EQ(32, GetBitmapInfoHeaderFromMediaType(offered)->biWidth);
}

TEST_F(LiveSourceTest, FramesReachTheRendererThroughTheBufferInOrderWithoutACopy)
{
    UseScript(Script(40, 5));
    ComPtr<CV77DsNetworkSourceFilter> source = OpenSource<CV77DsNetworkSourceFilter>(TEXT("network"));
    ASSERT_TRUE(source);
    // The queue keeps up to 8 of the source's own samples: its pool must be
    // sized from what the buffer asks, or the source runs dry after 8 frames.
    BuildThroughBuffer(source.Get(), true, 10);
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77NetworkReceiver)->Last();
    ComPtr<IV77DsNetworkSource> control = SourceControl(source.Get());
    EXPECT_EQ(S_OK, control->EnableDisplayNotification(TRUE));

    ComPtr<IUnknown> pool;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, source->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(pool.GetAddressOf())));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    EXPECT_EQ(S_OK, source->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(pool.GetAddressOf())));
    pool.Reset();

    ASSERT_TRUE(WaitForFrame(m_Renderer.Get(), 39)) << "the newest frame always arrives";
    ExpectUncopiedInOrder(m_Renderer.Get(), receiver.Get());
    EXPECT_TRUE(receiver->SampleResults().empty()) << "every delivery succeeded";
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_V77_MEDIA_TIME, kFlowTimeoutMs)) << "display notification once enabled";
    EXPECT_EQ(VFW_E_WRONG_STATE, control->Open(nullptr, nullptr, 0, 0, 0, nullptr));
    EXPECT_EQ(VFW_E_WRONG_STATE, control->Reconnect());
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_EQ(receiver->opens.load(), receiver->closes.load()) << "Stop closes what Pause opened";
}

TEST_F(LiveSourceTest, TheLocalSourceLendsEachSampleItsReceiversContextUntilItComesBack)
{
    ReceiverScript script = Script(30, 5);
    script.withContext = true;
    UseScript(script);
    ComPtr<CV77DsLocalSourceFilter> source = OpenSource<CV77DsLocalSourceFilter>(TEXT("local"));
    ASSERT_TRUE(source);
    ComPtr<IUnknown> pool;
    EXPECT_EQ(E_NOINTERFACE, source->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(pool.GetAddressOf())));
    BuildThroughBuffer(source.Get());
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77LocalReceiver)->Last();
    const LONG contextsBefore = CTestContext::Alive();

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(WaitForFrame(m_Renderer.Get(), 29));
    ExpectUncopiedInOrder(m_Renderer.Get(), receiver.Get());
    EXPECT_GT(CTestContext::Alive(), contextsBefore) << "samples still held downstream keep their context";
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_V77_MEDIA_TIME, kFlowTimeoutMs)) << "the local source reports from the start";
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    m_Graph.Release();
    m_Renderer.Reset();
    EXPECT_TRUE(WaitUntil([&] { return CTestContext::Alive() == contextsBefore; }, kFlowTimeoutMs))
        << CTestContext::Alive() - contextsBefore << " contexts never released";
}

TEST_F(LiveSourceTest, TheSecondaryOutputDeliversTheSameSamplesAndEachOutputCanBeSwitchedOff)
{
    UseScript(Script(-1, 5));
    ComPtr<CV77DsNetworkSourceFilter> source = OpenSource<CV77DsNetworkSourceFilter>(TEXT("network"));
    ASSERT_TRUE(source);
    TestRendererConfig config;
    config.waitForSampleTime = false;
    ComPtr<CTestRenderer> second = Adopt(CTestRenderer::Create(config));
    ASSERT_EQ(S_OK, m_Graph.Add(second->Filter(), L"second"));
    ComPtr<IPin> secondary = TestGraph::FindPin(source.Get(), L"SECONDARY OUTPUT");
    ASSERT_TRUE(secondary);
    ASSERT_EQ(S_OK, m_Graph.Add(source.Get(), L"source"));
    IPin* secondIn = second->GetPin(0);
    EXPECT_TRUE(FAILED(m_Graph.ConnectDirect(secondary.Get(), secondIn))) << "it shares the primary's allocator";
    BuildThroughBuffer(source.Get(), false);
    ASSERT_EQ(S_OK, m_Graph.ConnectDirect(secondary.Get(), secondIn));
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77NetworkReceiver)->Last();

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return m_Renderer->SampleCount() >= 10 && second->SampleCount() >= 10; },
                          kFlowTimeoutMs));
    ExpectUncopiedInOrder(second.Get(), receiver.Get());

    // Primary off: the buffer side dries up, the secondary goes on.
    ComPtr<IV77DsNetworkSource> control = SourceControl(source.Get());
    EXPECT_EQ(S_OK, control->EnableOutput(0, FALSE));
    size_t mark = second->SampleCount();
    ASSERT_TRUE(WaitUntil([&] { return second->SampleCount() >= mark + 5; }, kFlowTimeoutMs));
    const size_t primaryCount = m_Renderer->SampleCount();
    mark = second->SampleCount();
    ASSERT_TRUE(WaitUntil([&] { return second->SampleCount() >= mark + 10; }, kFlowTimeoutMs));
    EXPECT_EQ(primaryCount, m_Renderer->SampleCount());

    // Both off: the receiver keeps filling and returning samples, nobody gets them.
    EXPECT_EQ(S_OK, control->EnableOutput(1, FALSE));
    Sleep(50);
    mark = second->SampleCount();
    const long sent = receiver->framesSent.load();
    ASSERT_TRUE(WaitUntil([&] { return receiver->framesSent.load() >= sent + 10; }, kFlowTimeoutMs));
    EXPECT_EQ(mark, second->SampleCount());
    EXPECT_EQ(S_OK, control->EnableOutput(0, TRUE));
    ASSERT_TRUE(WaitUntil([&] { return m_Renderer->SampleCount() > primaryCount; }, kFlowTimeoutMs));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(LiveSourceTest, MarkersStreamEventsAndStatusBitsBecomeGraphEvents)
{
    ReceiverScript script = Script(12, 10);
    script.markers = {3};
    script.status = {{5, 0x00080000}, {6, 0x00080000}, {8, 0x00080001}};
    script.eventsA = {6};
    script.eventsB = {9};
    UseScript(script);
    ComPtr<CV77DsNetworkSourceFilter> source = OpenSource<CV77DsNetworkSourceFilter>(TEXT("network"));
    ASSERT_TRUE(source);
    // The queue keeps up to 8 of the source's own samples: its pool must be
    // sized from what the buffer asks, or the source runs dry after 8 frames.
    BuildThroughBuffer(source.Get(), true, 10);
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77NetworkReceiver)->Last();

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(WaitForFrame(m_Renderer.Get(), 11));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowTimeoutMs));
    Sleep(100);
    m_Graph.DrainEvents();

    for (const RenderedSample& s : m_Renderer->Samples())
        EXPECT_NE(3, FrameOf(s)) << "a marker is not delivered";
    EXPECT_EQ(1, m_Graph.CountEvents(EC_V77_MARKER));
    EXPECT_EQ(1, m_Graph.CountEvents(EC_V77_STREAM_EVENT_1));
    EXPECT_EQ(1, m_Graph.CountEvents(EC_V77_STREAM_EVENT_2));
    // 5 raises the bits, 6 repeats them, event A clears them so 8 raises them
    // again (only the status bits count), 9 drops them.
    const std::vector<GraphEvent> status = EventsWithCode(m_Graph, EC_V77_STATUS_CHANGED);
    ASSERT_EQ(3u, status.size());
    EXPECT_EQ(0x00080000, status[0].param1);
    EXPECT_EQ(0x00080000, status[1].param1);
    EXPECT_EQ(0, status[2].param1);
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(LiveSourceTest, AStreamThatChangedSizeBetweenRunsIsRefusedByReconnectAndPause)
{
    UseScript(Script(-1, 5));
    ComPtr<CV77DsTcpSourceFilter> source = OpenSource<CV77DsTcpSourceFilter>(TEXT("tcp"));
    ASSERT_TRUE(source);
    BuildThroughBuffer(source.Get());
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77TcpReceiver)->Last();
    ComPtr<IV77DsNetworkSource> control = SourceControl(source.Get());

    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return m_Renderer->SampleCount() >= 3; }, kFlowTimeoutMs));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));

    receiver->SetInformation(Yuy2Information(kWidth * 2, kHeight));
    // Wine's graph answers S_FALSE to Pause and reports the failure from GetState.
    const HRESULT paused = m_Graph.Pause();
    OAFilterState graphState = State_Stopped;
    const HRESULT reached = m_Graph.GetState(kStateTimeoutMs, &graphState);
    EXPECT_TRUE(FAILED(paused) || FAILED(reached)) << "the graph cannot pause on a changed stream";
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, source->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state) << "the source refused to pause";
    m_Graph.StopAndWait(kStateTimeoutMs);
    EXPECT_EQ(V77_E_STREAM_CHANGED, control->Reconnect());
    SOURCE_INFORMATION kept = {};
    control->GetSourceInformation(&kept);
    EXPECT_EQ(kWidth, kept.Width) << "the stored description stays";

    receiver->SetInformation(Yuy2Information(kWidth, kHeight));
    EXPECT_EQ(S_OK, control->Reconnect());
    m_Renderer->ClearSamples();
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    EXPECT_TRUE(WaitUntil([&] { return m_Renderer->SampleCount() >= 3; }, kFlowTimeoutMs)) << "streams again";
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

}  // namespace
