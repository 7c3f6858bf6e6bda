// The image renderer's own rules, driven by the kit's test source in Wine's
// graph: the host pool allocator (8-buffer minimum, Commit refusing a pool
// too small for the connection), immediate delivery with media times, the
// types it accepts and describes, and the conditional buffer notification.
#include "tests/image_renderer/ImageRendererFixture.h"

#include <cstring>
#include <amvideo.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"
#include "v77/IV77DsBuffer.h"
#include "v77/V77Guids.h"

namespace {

TestSourceConfig Frames(int count, REFERENCE_TIME duration = 400000)
{
    TestSourceConfig config;
    config.mediaType = MakeTestVideoType(4, 4, duration);
    config.frameCount = count;
    config.frameDuration = duration;
    config.mediaTimes = false;
    return config;
}

}  // namespace

// Frames of one second each all reach the sink at once, as the items of the
// host's pool, with media times taken from their time stamps.
TEST_F(ImageRendererFixture, HostPoolItemsReachTheSinkAtOnceWithMediaTimes)
{
    ComPtr<IV77SamplePool> pool = NewPool(256, 10);
    ComPtr<IBaseFilter> renderer = NewRenderer(pool.Get());
    ASSERT_EQ(S_OK, Control(renderer.Get())->SetSink(m_Sink.Unknown(), 0x1234));
    ComPtr<IBaseFilter> source = NewSource(Frames(10, 10000000));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));

    // The source asked for 3 buffers of 64 bytes; the allocator keeps 8.
    ComPtr<IMemAllocator> allocator = PinAllocator(renderer.Get());
    ASSERT_TRUE(allocator);
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(S_OK, allocator->GetProperties(&props));
    EXPECT_EQ(8, props.cBuffers);
    EXPECT_EQ(64, props.cbBuffer);
    EXPECT_EQ(1, props.cbAlign);
    ComPtr<IMemAllocatorCallbackTemp> callback;
    ASSERT_EQ(S_OK, allocator.As(&callback));
    LONG free = -1;
    EXPECT_EQ(S_OK, callback->GetFreeCount(&free));
    EXPECT_EQ(10, free);

    const ULONGLONG started = NowMs();
    ASSERT_EQ(S_OK, m_Graph.RunAndWait());
    ASSERT_TRUE(WaitUntil([&] { return m_Sink.Count() >= 10; }, kWaitMs));
    EXPECT_LT(NowMs() - started, 4000u) << "frames waited for their presentation time";
    std::vector<SinkRecord> records = m_Sink.Records();
    ASSERT_EQ(10u, records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(pool.Get(), records[i].pool) << i;
        EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * 10000000, records[i].mediaStart) << i;
        EXPECT_EQ(static_cast<REFERENCE_TIME>(i + 1) * 10000000, records[i].mediaStop) << i;
        EXPECT_EQ(64, records[i].length);
        EXPECT_EQ(TestFrameByte(static_cast<int>(i), 0), records[i].firstByte) << i;
    }

    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, Control(renderer.Get())->GetSourceInformation(&info));
    EXPECT_EQ(10000000, info.AvgTimePerFrame);
    EXPECT_EQ(0x1234u, info.Parameter);
    EXPECT_EQ(4, info.Width);
    EXPECT_EQ(4, info.Height);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), info.Compression);
    EXPECT_EQ(32, info.BitCount);
    EXPECT_EQ(0, info.Reserved1);
    EXPECT_EQ(0u, info.Reserved2);
    DWORD entry = 0;
    EXPECT_EQ(S_OK, Control(renderer.Get())->GetPoolEntry(0, &entry));
    EXPECT_EQ(256u, entry);
    EXPECT_EQ(E_FAIL, Control(renderer.Get())->GetPoolEntry(10, &entry));
    EXPECT_EQ(0u, entry);
    ASSERT_EQ(S_OK, m_Graph.StopAndWait());
    // Every item went back to the host's pool.
    EXPECT_EQ(10u, pool->GetFreeCount());
}

// A pool the host sized below the connection (too few items, or items too
// small) is refused at Commit, so the graph cannot pause.
TEST_F(ImageRendererFixture, HostPoolTooSmallForTheConnectionFailsPause)
{
    struct Case {
        DWORD size, count;
    };
    for (const Case& small : {Case{256, 7}, Case{32, 10}}) {
        SCOPED_TRACE(testing::Message() << small.size << " x " << small.count);
        ASSERT_EQ(S_OK, m_Graph.Create());
        ComPtr<IV77SamplePool> pool = NewPool(small.size, small.count);
        ComPtr<IBaseFilter> renderer = NewRenderer(pool.Get());
        ComPtr<IBaseFilter> source = NewSource(Frames(3));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));
        const HRESULT paused = m_Graph.Pause();
        OAFilterState state = -1;
        const HRESULT stateResult = m_Graph.GetState(1000, &state);
        // Wine's graph pauses asynchronously: the failure shows in GetState.
        EXPECT_TRUE(FAILED(paused) || FAILED(stateResult)) << std::hex << paused << " " << stateResult;
        EXPECT_NE(State_Running, state);
        ComPtr<IMemAllocator> allocator = PinAllocator(renderer.Get());
        ASSERT_TRUE(allocator) << "connected renderer without an allocator";
        EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, allocator->Commit());
        m_Graph.Release();
    }
}

// The allocator over the host pool: its property rules, the pool's own
// answers passed back, and no way to hand items back but their release.
TEST_F(ImageRendererFixture, HostPoolAllocatorRules)
{
    // Exactly the 8 items of 100 bytes that the allocator asks for: enough.
    ComPtr<IV77SamplePool> pool = NewPool(100, 8);
    ComPtr<IBaseFilter> renderer = NewRenderer(pool.Get());
    ComPtr<IMemAllocator> allocator = PinAllocator(renderer.Get());
    ASSERT_TRUE(allocator);
    // Not kept before a connection: each request makes a new one.
    EXPECT_NE(allocator.Get(), PinAllocator(renderer.Get()).Get());

    ALLOCATOR_PROPERTIES request = {2, 100, 2, 0};
    ALLOCATOR_PROPERTIES actual = {};
    EXPECT_EQ(VFW_E_BADALIGN, allocator->SetProperties(&request, &actual));
    request = {2, 100, 1, 4};
    EXPECT_EQ(E_FAIL, allocator->SetProperties(&request, &actual));
    EXPECT_EQ(VFW_E_SIZENOTSET, allocator->Commit());
    request = {12, 100, 0, 0};
    ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
    EXPECT_EQ(12, actual.cBuffers);
    EXPECT_EQ(1, actual.cbAlign);
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, allocator->Commit()) << "12 buffers from a pool of 8";
    request = {2, 100, 0, 0};
    ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
    EXPECT_EQ(8, actual.cBuffers);
    ASSERT_EQ(S_OK, allocator->Commit());

    std::vector<ComPtr<IMediaSample>> taken(8);
    for (auto& sample : taken) {
        ASSERT_EQ(S_OK, allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT));
        EXPECT_EQ(100, sample->GetSize());
    }
    ComPtr<IMediaSample> none;
    EXPECT_EQ(S_FALSE, allocator->GetBuffer(none.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_UNEXPECTED, allocator->ReleaseBuffer(taken[0].Get()));
    taken.pop_back();
    EXPECT_EQ(1u, pool->GetFreeCount());
    EXPECT_EQ(S_OK, allocator->Decommit());
    // Decommit leaves the host's pool alone: only its Shutdown ends waits.
    ASSERT_EQ(S_OK, pool->Shutdown(INFINITE));
    EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(none.GetAddressOf(), nullptr, nullptr, 0));

    ComPtr<IV77SamplePool> forwarded;
    EXPECT_EQ(S_OK, allocator.As(&forwarded));
    EXPECT_EQ(pool.Get(), forwarded.Get());
}

// Allocators that do not come from a sample pool are refused; without a host
// pool the pin offers the live source allocator, whose pool the frames use.
TEST_F(ImageRendererFixture, OnlyPoolBackedAllocatorsAreAccepted)
{
    ComPtr<IBaseFilter> renderer = NewRenderer(nullptr);
    TestSourceConfig own = Frames(3);
    own.insistOnOwnAllocator = true;
    ComPtr<IBaseFilter> source = NewSource(own);
    EXPECT_TRUE(FAILED(m_Graph.ConnectFilters(source.Get(), renderer.Get())));
    m_Graph.Release();

    ASSERT_EQ(S_OK, m_Graph.Create());
    renderer = NewRenderer(nullptr);
    ASSERT_EQ(S_OK, Control(renderer.Get())->SetSink(m_Sink.Unknown(), 0));
    source = NewSource(Frames(5));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait());
    ASSERT_TRUE(WaitUntil([&] { return m_Sink.Count() == 5; }, kWaitMs));
    ComPtr<IV77SamplePool> pool;
    ASSERT_EQ(S_OK, PinAllocator(renderer.Get()).As(&pool));
    for (const SinkRecord& record : m_Sink.Records())
        EXPECT_EQ(pool.Get(), record.pool);
}

// Types: the required subtype is the only one accepted and the one proposed;
// the record describes video and audio connections; a format without a
// frame description fails the connection.
TEST_F(ImageRendererFixture, TypesAcceptedAndDescribed)
{
    ComPtr<IBaseFilter> renderer = NewRenderer(NewPool(1 << 20, 8).Get());
    ComPtr<IV77DsImageRenderer> control = Control(renderer.Get());
    CMediaType required = MakeTestVideoType(4, 4);
    required.SetSubtype(&MEDIASUBTYPE_RGB24);
    ASSERT_EQ(S_OK, control->SetRequiredType(&required));
    ComPtr<IPin> input = TestGraph::FindPin(renderer.Get(), PINDIR_INPUT);
    ASSERT_TRUE(input) << "image renderer without an input pin";
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, input->EnumMediaTypes(types.GetAddressOf()));
    AM_MEDIA_TYPE* proposed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, types->Next(2, proposed, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_TRUE(proposed[0]->subtype == MEDIASUBTYPE_RGB24);
    DeleteMediaType(proposed[0]);
    ComPtr<IBaseFilter> source = NewSource(Frames(1));   // RGB32
    EXPECT_TRUE(FAILED(m_Graph.ConnectFilters(source.Get(), renderer.Get())));
    ASSERT_EQ(S_OK, control->SetRequiredType(nullptr));

    // 640 x 480 RGB24: one frame of 921,600 bytes is what the pin asks for.
    TestSourceConfig vga = Frames(1);
    vga.mediaType = MakeTestVideoType(640, 480);
    vga.mediaType.SetSubtype(&MEDIASUBTYPE_RGB24);
    reinterpret_cast<VIDEOINFOHEADER*>(vga.mediaType.Format())->bmiHeader.biBitCount = 24;
    source = NewSource(vga);
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));
    ComPtr<IMemInputPin> memInput;
    ASSERT_EQ(S_OK, input.As(&memInput));
    ALLOCATOR_PROPERTIES wanted = {};
    ASSERT_EQ(S_OK, memInput->GetAllocatorRequirements(&wanted));
    EXPECT_EQ(6, wanted.cBuffers);
    EXPECT_EQ(921600, wanted.cbBuffer);
    AM_MEDIA_TYPE connected = {};
    ASSERT_EQ(S_OK, control->GetConnectedType(&connected));
    EXPECT_TRUE(connected.subtype == MEDIASUBTYPE_RGB24);
    FreeMediaType(connected);
    m_Graph.Release();

    // Audio at 8000 Hz: frame time 1,250; the video size stays.
    ASSERT_EQ(S_OK, m_Graph.Create());
    ASSERT_EQ(S_OK, m_Graph.Add(renderer.Get(), L"image renderer"));
    TestSourceConfig audio = Frames(1);
    audio.mediaType = MakeTestAudioType(8000);
    source = NewSource(audio);
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, control->GetSourceInformation(&info));
    EXPECT_EQ(1250, info.AvgTimePerFrame);
    EXPECT_EQ(MEDIASUBTYPE_PCM.Data1, info.Compression);
    EXPECT_EQ(640, info.Width);
    EXPECT_EQ(480, info.Height);
    m_Graph.Release();

    // Bad input: an audio rate of 0, a format block shorter than its header,
    // an unknown format type.
    for (int bad = 0; bad < 3; ++bad) {
        SCOPED_TRACE(bad);
        ASSERT_EQ(S_OK, m_Graph.Create());
        ASSERT_EQ(S_OK, m_Graph.Add(renderer.Get(), L"image renderer"));
        TestSourceConfig config = Frames(1);
        if (bad == 0) {
            config.mediaType = MakeTestAudioType(8000);
            reinterpret_cast<WAVEFORMATEX*>(config.mediaType.Format())->nSamplesPerSec = 0;
        } else if (bad == 1) {
            config.mediaType.ReallocFormatBuffer(60);
        } else {
            config.mediaType.SetFormatType(&FORMAT_None);
        }
        source = NewSource(config);
        EXPECT_TRUE(FAILED(m_Graph.ConnectFilters(source.Get(), renderer.Get())));
        m_Graph.Release();
    }
    ASSERT_EQ(S_OK, control->GetSourceInformation(&info));
    EXPECT_EQ(1250, info.AvgTimePerFrame);
}

// IV77DsBufferNotify is there only while the sink takes request completions,
// which it then receives; without a sink frames are dropped with S_OK.
TEST_F(ImageRendererFixture, BufferNotifyFollowsTheSink)
{
    ComPtr<IBaseFilter> renderer = NewRenderer(NewPool(64, 8).Get());
    ComPtr<IV77DsImageRenderer> control = Control(renderer.Get());
    ComPtr<IV77DsBufferNotify> notify;
    EXPECT_EQ(E_NOINTERFACE, renderer.As(&notify));
    ASSERT_EQ(S_OK, control->SetSink(m_Sink.Unknown(), 0));
    EXPECT_EQ(E_NOINTERFACE, renderer.As(&notify));
    ASSERT_EQ(S_OK, control->SetSink(m_CompletionSink.Unknown(), 0));
    ASSERT_EQ(S_OK, renderer.As(&notify));
    EXPECT_EQ(S_OK, notify->RequestDone(E_ABORT, 17, 5, 0x123456789ALL));
    std::vector<CompletionRecord> done = m_CompletionSink.Completions();
    ASSERT_EQ(1u, done.size());
    EXPECT_EQ(E_ABORT, done[0].result);
    EXPECT_EQ(17, done[0].frameCount);
    EXPECT_EQ(5u, done[0].reserved);
    EXPECT_EQ(0x123456789ALL, done[0].next);
    EXPECT_EQ(E_NOTIMPL, notify->WaitForRequest(nullptr, nullptr, nullptr));
    ASSERT_EQ(S_OK, control->SetSink(m_Sink.Unknown(), 0));
    EXPECT_EQ(S_FALSE, notify->RequestDone(S_OK, 1, 0, 0));
    ASSERT_EQ(S_OK, control->SetSink(nullptr, 0));
    EXPECT_EQ(S_FALSE, notify->RequestDone(S_OK, 1, 0, 0));
    EXPECT_EQ(1u, m_CompletionSink.Completions().size());

    // No sink: the stream plays to its end without an error.
    ComPtr<IBaseFilter> source = NewSource(Frames(4, 10000));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source.Get(), renderer.Get()));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait());
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_COMPLETE, kWaitMs));
    EXPECT_EQ(0, m_Graph.CountEvents(EC_ERRORABORT));
    EXPECT_EQ(0u, m_Sink.Count());
}
