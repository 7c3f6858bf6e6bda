// The buffer filter with a live (standard) queue in the real filter graph:
// no-copy delivery, splitting of foreign samples, media types, state events,
// media-time notification, and the control interfaces.
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>
#include "buffer/CFullBufferQueue.h"
#include "buffer/CStdBufferQueue.h"
#include "buffer/CV77DsBufferInput.h"
#include "buffer/CV77DsBufferInputAllocator.h"
#include "buffer/CV77DsBufferOutput.h"
#include "buffer/CV77DsBufferOutputAllocator.h"
#include "tests/buffer/BufferGraphFixture.h"
#include "tests/buffer/CFakeBufferMember.h"
#include "tests/kit/CTestAllocator.h"
#include "v77/V77Guids.h"
#include <uuids.h>
#include <amvideo.h>
#include <dvdmedia.h>

namespace {

CMediaType MakeVideoInfo2Yuy2(LONG width, LONG height)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_YUY2);
    mt.SetFormatType(&FORMAT_VideoInfo2);
    VIDEOINFOHEADER2 vih = {};
    vih.rcSource = {0, 0, width, height};
    vih.rcTarget = {0, 0, width, height};
    vih.dwBitRate = 123456;
    vih.AvgTimePerFrame = 400000;
    vih.dwPictAspectRatioX = 4;
    vih.dwPictAspectRatioY = 3;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 16;
    vih.bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 2);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    return mt;
}

class BufferGraphTest : public BufferGraphFixture {
protected:
    CV77DsBufferInput* Input() { return m_Buffer->Input(); }
    IMemAllocator* OwnOutputAllocator() { return m_Buffer->Output()->OwnAllocator(); }
};

TEST_F(BufferGraphTest, PooledSamplesReachTheRendererAsTheSameObjects)
{
    BuildLiveGraph(VideoSource(20));
    ASSERT_EQ(OwnOutputAllocator(), m_Renderer->TestPin()->NotifiedAllocator())
        << "with the default setting the renderer is handed the buffer's own allocator";
    EXPECT_TRUE(m_Renderer->TestPin()->notifiedReadOnly.load());
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return m_Source->Stream()->framesDelivered.load() == 20; }, kEventTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] {
        std::vector<RenderedSample> samples = m_Renderer->Samples();
        return !samples.empty() && samples.back().mediaStart == 19 * 200000;
    }, kEventTimeoutMs)) << "the newest frame is never dropped";
    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_TRUE(m_Source->Stream()->Delivered(samples[i].identity)) << "sample " << i << " is a copy";
        if (i > 0) {
            EXPECT_LT(samples[i - 1].mediaStart, samples[i].mediaStart) << "frames out of order";
        }
        const int frame = static_cast<int>(samples[i].mediaStart / 200000);
        ASSERT_GE(samples[i].bytes.size(), 4u);
        EXPECT_EQ(TestFrameByte(frame, 3), samples[i].bytes[3]);
    }
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(BufferGraphTest, WithoutItsOwnAllocatorTheBufferCopiesIntoTheRenderersSamples)
{
    m_Source = Adopt(CTestSource::Create(VideoSource(8)));
    m_Renderer = Adopt(CTestRenderer::Create(RendererConfig()));
    m_Buffer = NewBufferFilter();
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    ASSERT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr));
    ASSERT_EQ(S_OK, control->SetBufferCount(16));
    ASSERT_EQ(S_OK, control->SetUseOwnAllocator(FALSE));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Source->Filter(), L"source"));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source->Filter(), m_Buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Buffer.Get(), m_Renderer->Filter()));
    ASSERT_NE(OwnOutputAllocator(), m_Renderer->TestPin()->NotifiedAllocator());
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(8, kEventTimeoutMs));
    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_FALSE(m_Source->Stream()->Delivered(samples[i].identity));
        EXPECT_EQ(static_cast<LONGLONG>(i) * 200000, samples[i].mediaStart);
        ASSERT_EQ(64u, samples[i].bytes.size());
        EXPECT_EQ(TestFrameByte(static_cast<int>(i), 63), samples[i].bytes[63]);
    }
}

TEST_F(BufferGraphTest, AForeignSampleIsSplitIntoPooledFramesWithProportionalMediaTimes)
{
    ComPtr<CTestAllocator> foreign;
    foreign = Adopt(CTestAllocator::Create());
    ALLOCATOR_PROPERTIES props = {1, 30000, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(S_OK, foreign->SetProperties(&props, &actual));
    TestSourceConfig source = VideoSource(1, 1000000);
    source.frameBytes = 30000;
    source.bufferSize = 10000;  // the buffer's pooled frames
    source.sampleAllocator = foreign.Get();
    BuildLiveGraph(source);
    // The three chunks are queued back to back: a live queue of capacity N keeps
    // N - 2 of them when the delivery thread is slower, so leave room for all three.
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->SetBufferCount(5));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(3, kEventTimeoutMs));
    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(3u, samples.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(i * 330000, samples[i].mediaStart) << "frame " << i;
        EXPECT_EQ((i + 1) * 330000, samples[i].mediaStop) << "33 per byte, integer quotient";
        EXPECT_EQ(10000, samples[i].length);
        ASSERT_FALSE(samples[i].bytes.empty());
        EXPECT_EQ(TestFrameByte(0, i * 10000), samples[i].bytes[0]);
        EXPECT_EQ(TestFrameByte(0, i * 10000 + 63), samples[i].bytes[63]);
    }
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(BufferGraphTest, VideoInfo2IsOfferedDownstreamAsAn88ByteVideoInfo)
{
    TestSourceConfig source = VideoSource(4);
    source.mediaType = MakeVideoInfo2Yuy2(8, 4);
    source.frameBytes = 64;
    BuildLiveGraph(source);
    AM_MEDIA_TYPE out = {};
    ComPtr<IPin> rendererPin = TestGraph::FindPin(m_Renderer->Filter(), PINDIR_INPUT);
    ASSERT_EQ(S_OK, rendererPin->ConnectionMediaType(&out));
    EXPECT_EQ(FORMAT_VideoInfo, out.formattype);
    EXPECT_EQ(MEDIASUBTYPE_YUY2, out.subtype);
    ASSERT_EQ(88u, out.cbFormat);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(out.pbFormat);
    const auto* vih2 = reinterpret_cast<const VIDEOINFOHEADER2*>(source.mediaType.pbFormat);
    EXPECT_EQ(0, std::memcmp(&vih->bmiHeader, &vih2->bmiHeader, sizeof(BITMAPINFOHEADER)));
    EXPECT_EQ(vih2->AvgTimePerFrame, vih->AvgTimePerFrame);
    EXPECT_EQ(vih2->dwBitRate, vih->dwBitRate);
    EXPECT_TRUE(EqualRect(&vih2->rcSource, &vih->rcSource));
    FreeMediaType(out);

    // The control interface reports the connected type itself.
    AM_MEDIA_TYPE connected = {};
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->GetMediaType(&connected));
    EXPECT_EQ(FORMAT_VideoInfo2, connected.formattype);
    FreeMediaType(connected);
}

TEST_F(BufferGraphTest, TheInputRefusesTypesTheQueuesCannotCarry)
{
    m_Buffer = NewBufferFilter();
    CMediaType uyvy = MakeTestVideoType();
    uyvy.SetSubtype(&MEDIASUBTYPE_UYVY);
    EXPECT_EQ(E_INVALIDARG, Input()->CheckMediaType(&uyvy));
    CMediaType noFormat = MakeTestVideoType();
    noFormat.SetFormatType(&GUID_NULL);
    EXPECT_EQ(E_INVALIDARG, Input()->CheckMediaType(&noFormat));
    CMediaType audio = MakeTestAudioType();
    EXPECT_EQ(S_OK, Input()->CheckMediaType(&audio));
    audio.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_EQ(E_INVALIDARG, Input()->CheckMediaType(&audio)) << "audio without WAVEFORMATEX";
    CMediaType stream(&MEDIATYPE_Stream);
    EXPECT_EQ(S_OK, Input()->CheckMediaType(&stream)) << "other major types pass";

    // Through a real connection attempt, the refusal reaches the caller.
    TestSourceConfig config = VideoSource(1);
    config.mediaType = uyvy;
    m_Source = Adopt(CTestSource::Create(config));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Source->Filter(), L"source"));
    ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"buffer"));
    ComPtr<IPin> out = TestGraph::FindPin(m_Source->Filter(), PINDIR_OUTPUT);
    ComPtr<IPin> in = TestGraph::FindPin(m_Buffer.Get(), PINDIR_INPUT);
    EXPECT_EQ(E_INVALIDARG, m_Graph.ConnectDirect(out.Get(), in.Get(), &uyvy));
}

TEST_F(BufferGraphTest, ThePreferredTypeIsTheOnlyOneOfferedAndAccepted)
{
    m_Buffer = NewBufferFilter();
    CMediaType mt;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(S_OK, Input()->GetMediaType(i, &mt)) << i;
    EXPECT_EQ(MEDIATYPE_Audio, mt.majortype);
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, Input()->GetMediaType(6, &mt));
    EXPECT_EQ(E_INVALIDARG, Input()->GetMediaType(-1, &mt));

    CMediaType preferred = MakeTestVideoType();
    preferred.SetSubtype(&MEDIASUBTYPE_YV12);
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->SetPreferredMediaType(&preferred));
    ASSERT_EQ(S_OK, Input()->GetMediaType(0, &mt));
    EXPECT_TRUE(mt == preferred);
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, Input()->GetMediaType(1, &mt));
    CMediaType rgb = MakeTestVideoType();
    EXPECT_EQ(E_INVALIDARG, Input()->CheckMediaType(&rgb));
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->SetPreferredMediaType(nullptr));
    EXPECT_EQ(S_OK, Input()->CheckMediaType(&rgb));
}

TEST_F(BufferGraphTest, TheOutputAcceptsOnlyTheInputsPicture)
{
    BuildLiveGraph(VideoSource(2));
    CV77DsBufferOutput* output = m_Buffer->Output();
    CMediaType same = MakeTestVideoType(4, 4, 200000);
    EXPECT_EQ(S_OK, output->CheckMediaType(&same));
    CMediaType flipped = same;
    reinterpret_cast<VIDEOINFOHEADER*>(flipped.pbFormat)->bmiHeader.biHeight = -4;
    EXPECT_EQ(S_OK, output->CheckMediaType(&flipped)) << "the height's sign does not matter";
    CMediaType wider = MakeTestVideoType(8, 4, 200000);
    EXPECT_EQ(S_FALSE, output->CheckMediaType(&wider));
    CMediaType truncated = same;
    truncated.SetFormat(same.pbFormat, 20);
    EXPECT_EQ(V77_E_STREAM_CHANGED, output->CheckMediaType(&truncated)) << "no bitmap header";
    CMediaType audio = MakeTestAudioType();
    EXPECT_EQ(S_FALSE, output->CheckMediaType(&audio));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, output->GetMediaType(1, &same));
}

TEST_F(BufferGraphTest, PauseNeedsAQueueAndSizingRaisesMemoryEventsOfOppositeSign)
{
    m_Buffer = NewBufferFilter();
    EXPECT_EQ(E_FAIL, m_Buffer->Pause());
    m_Buffer.Reset();

    BuildLiveGraph(VideoSource(4));
    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    LONG capacity = 0;
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->GetCapacity(&capacity));
    EXPECT_GE(capacity, 4);
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->GetCapacity(&capacity));
    EXPECT_EQ(0, capacity) << "the queue is reset at Stop";
    m_Graph.WaitForEvent(EC_V77_MEMORY, 2000);
    m_Graph.DrainEvents();
    const std::vector<GraphEvent> memory = EventsWithCode(m_Graph, EC_V77_MEMORY);
    ASSERT_EQ(2u, memory.size());
    EXPECT_GT(memory[0].param1, 0);
    EXPECT_EQ(memory[0].param1, -memory[1].param1);
    EXPECT_EQ(0, memory[0].param1 % 64) << "capacity x the pooled buffer size";
}

// Each step of Stop that touches the queue, with the filter's state and
// whether the delivery thread is still there, and the memory event.
struct StopLog {
    const FILTER_STATE* state = nullptr;
    const CAMThread* thread = nullptr;
    std::vector<std::string> lines;

    void Note(const std::string& what)
    {
        lines.push_back(what + (*state == State_Stopped ? " stopped" : " active") +
                        (thread->ThreadExists() ? " thread" : ""));
    }
};

class CStopProbeQueue : public CStdBufferQueue {
public:
    CStopProbeQueue(IBufferQueueOwner* owner, StopLog* log) : CStdBufferQueue(owner), m_pLog(log) {}
    void StopPlayback() override { m_pLog->Note("StopPlayback"); CStdBufferQueue::StopPlayback(); }
    void Deactivate() override { m_pLog->Note("Deactivate"); CStdBufferQueue::Deactivate(); }
    void Clear() override { m_pLog->Note("Clear"); CStdBufferQueue::Clear(); }

private:
    StopLog* m_pLog;
};

class CStopProbeFilter : public CV77DsBufferFilter {
public:
    explicit CStopProbeFilter(HRESULT* phr) : CV77DsBufferFilter(TEXT("probe"), nullptr, phr)
    {
        log.state = &m_State;
        log.thread = Output();
    }
    CBufferQueue* MakeQueue(DWORD, DWORD, ::IBufferQueueOwner* owner) override { return new CStopProbeQueue(owner, &log); }
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) override
    {
        if (code == EC_V77_MEMORY)
            log.lines.push_back("0x8009 " + std::to_string(static_cast<LONGLONG>(param1)));
        return CV77DsBufferFilter::NotifyEvent(code, param1, param2);
    }
    StopLog log;
};

ComPtr<CStopProbeFilter> NewStopProbe()
{
    HRESULT hr = S_OK;
    ComPtr<CStopProbeFilter> probe(new CStopProbeFilter(&hr));
    EXPECT_EQ(S_OK, hr);
    return probe;
}

TEST_F(BufferGraphTest, StopStopsPlaybackThenThePinsThenDeactivatesClearsAndReportsTheMemory)
{
    // Never sized: the event still goes out, with nothing released.
    ComPtr<CStopProbeFilter> unsized = NewStopProbe();
    ASSERT_EQ(S_FALSE, BufferControl(unsized.Get())->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr));
    EXPECT_EQ(S_OK, unsized->Stop());
    EXPECT_EQ((std::vector<std::string>{"StopPlayback stopped", "Deactivate stopped", "Clear stopped", "0x8009 0"}),
              unsized->log.lines);

    ComPtr<CStopProbeFilter> probe = NewStopProbe();
    ASSERT_NO_FATAL_FAILURE(BuildLiveGraph(VideoSource(4), RendererConfig(), V77_QUEUE_STANDARD, probe));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(4, kEventTimeoutMs));
    ASSERT_EQ(1u, probe->log.lines.size());
    const std::string reserved = probe->log.lines[0].substr(7);
    ASSERT_NE("0", reserved);
    probe->log.lines.clear();
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    // Playback stops before the pins go inactive (the output pin's own
    // Deactivate wakes its thread, which it then joins); the queue is emptied
    // only once no thread can touch it, and the event reports what was sized.
    EXPECT_EQ((std::vector<std::string>{"StopPlayback active thread", "Deactivate active thread",
                                        "Deactivate stopped", "Clear stopped", "0x8009 -" + reserved}),
              probe->log.lines);
}

TEST_F(BufferGraphTest, AnEmptyPoolAnswersForItselfWhenAskedNotToWait)
{
    BuildLiveGraph(VideoSource(1));
    ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs));
    IMemAllocator* allocator = Input()->OwnAllocator();
    std::vector<ComPtr<IMediaSample>> taken;
    HRESULT hr = S_OK;
    for (int i = 0; i < 1000 && hr == S_OK; ++i) {
        ComPtr<IMediaSample> sample;
        hr = allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT);
        if (hr == S_OK)
            taken.push_back(sample);
    }
    EXPECT_FALSE(taken.empty());
    EXPECT_EQ(S_FALSE, hr) << "the pool's own answer, not a time-out";
    taken.clear();
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(BufferGraphTest, MediaTimeEventsAreThrottledAndTheLastOneFlushedAtStop)
{
    TestSourceConfig source = VideoSource(30, 200000);  // 20 ms frames
    BuildLiveGraph(source, RendererConfig(true));
    ASSERT_EQ(S_OK, m_Graph.Stop());
    ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->SetBufferCount(40));  // nothing dropped
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(30, kEventTimeoutMs))
        << m_Renderer->Samples().size() << " rendered of " << m_Source->Stream()->framesDelivered.load();
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    m_Graph.DrainEvents();
    const std::vector<GraphEvent> times = EventsWithCode(m_Graph, EC_V77_MEDIA_TIME);
    ASSERT_GE(times.size(), 2u);
    EXPECT_LE(times.size(), 10u) << "at most one every 100 ms over 600 ms, plus the flushes";
    std::set<LONGLONG> rendered;
    for (const RenderedSample& sample : m_Renderer->Samples())
        rendered.insert(sample.mediaStart);
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_NE(0, MediaTimeOf(times[i])) << "0 is never sent";
        EXPECT_TRUE(rendered.count(MediaTimeOf(times[i]))) << "a time no frame had";
        if (i > 0) {
            EXPECT_LT(MediaTimeOf(times[i - 1]), MediaTimeOf(times[i]));
        }
    }
    EXPECT_EQ(29 * 200000, MediaTimeOf(times.back())) << "the frame left on screen is reported";
}

TEST_F(BufferGraphTest, BufferCountHasAMinimumAndIsFixedOnceSized)
{
    m_Buffer = NewBufferFilter();
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    LONG count = 0;
    REFERENCE_TIME time = 0;
    BYTE byte = 0;
    LONG size = 1;
    EXPECT_EQ(E_FAIL, control->GetCapacity(&count));
    EXPECT_EQ(E_FAIL, control->GetMinimumCount(&count));
    EXPECT_EQ(E_FAIL, control->GetAvailable(&time, &time));
    EXPECT_EQ(E_FAIL, control->GetFrame(&time, 0, &byte, &size));
    EXPECT_EQ(E_FAIL, control->SetBufferCount(10));
    EXPECT_EQ(VFW_E_WRONG_STATE, control->Step(1));
    EXPECT_EQ(VFW_E_WRONG_STATE, control->WaitReady(0));
    EXPECT_EQ(VFW_E_WRONG_STATE, BufferMaster(m_Buffer.Get())->GetPosition(&time));

    ASSERT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)) << "success is S_FALSE";
    EXPECT_EQ(E_FAIL, control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr));
    EXPECT_EQ(E_NOTIMPL, control->WaitReady(0));
    ASSERT_EQ(S_OK, control->GetMinimumCount(&count));
    EXPECT_EQ(4, count);
    ASSERT_EQ(S_OK, control->SetBufferCount(2));
    ASSERT_EQ(S_OK, m_Buffer->Pause());
    ASSERT_EQ(S_OK, control->GetCapacity(&count));
    EXPECT_EQ(4, count) << "SetBufferCount(2) gives the minimum, 4";
    EXPECT_EQ(E_FAIL, control->SetBufferCount(10)) << "sized already";
    ASSERT_EQ(S_OK, m_Buffer->Stop());
    ASSERT_EQ(S_OK, control->SetBufferCount(10));
    ASSERT_EQ(S_OK, m_Buffer->Pause());
    ASSERT_EQ(S_OK, control->GetCapacity(&count));
    EXPECT_EQ(10, count);
    ASSERT_EQ(S_OK, m_Buffer->Stop());

    // The pool holds one more than the count: at the top of the range there is
    // no room for it, and a negative buffer size never reaches the pool.
    IMemAllocator* input = m_Buffer->Input()->OwnAllocator();
    ALLOCATOR_PROPERTIES request = {1, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(S_OK, control->SetBufferCount(LONG_MAX));
    EXPECT_EQ(E_FAIL, input->SetProperties(&request, &actual)) << "cBuffers " << actual.cBuffers;
    EXPECT_TRUE(FAILED(input->Commit()));
    ASSERT_EQ(S_OK, control->SetBufferCount(10));
    request.cbBuffer = -64;
    if (SUCCEEDED(input->SetProperties(&request, &actual))) {
        EXPECT_EQ(VFW_E_SIZENOTSET, input->Commit());
    }
    input->Decommit();

    ComPtr<CV77DsBufferFilter> other = NewBufferFilter();
    EXPECT_EQ(E_OUTOFMEMORY, BufferControl(other.Get())->CreateQueue(7, 0, nullptr));
}

TEST_F(BufferGraphTest, GetFrameCopiesAtMostTheCallersSize)
{
    BuildLiveGraph(VideoSource(6));
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    ASSERT_EQ(S_OK, m_Graph.Stop());
    ASSERT_EQ(S_OK, control->SetBufferCount(12));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(6, kEventTimeoutMs))
        << m_Renderer->Samples().size() << " rendered of " << m_Source->Stream()->framesDelivered.load();
    REFERENCE_TIME first = -1;
    REFERENCE_TIME last = -1;
    ASSERT_EQ(S_OK, control->GetAvailable(&first, &last));
    EXPECT_EQ(0, first);
    EXPECT_EQ(5 * 200000, last);

    BYTE small[10] = {};
    LONG size = sizeof(small);
    REFERENCE_TIME time = 2 * 200000 + 1;
    ASSERT_EQ(S_OK, control->GetFrame(&time, 0, small, &size));
    EXPECT_EQ(10, size) << "a smaller buffer is filled, its size unchanged";
    EXPECT_EQ(2 * 200000, time) << "the frame's media start";
    for (LONG i = 0; i < size; ++i)
        EXPECT_EQ(TestFrameByte(2, i), small[i]);
    BYTE large[200] = {};
    size = sizeof(large);
    time = 0;
    ASSERT_EQ(S_OK, control->GetFrame(&time, 100, large, &size));
    EXPECT_EQ(64, size);
    EXPECT_EQ(5 * 200000, time) << "a large offset gives the newest frame";
    EXPECT_EQ(E_POINTER, control->GetFrame(&time, 0, nullptr, &size));
}

TEST_F(BufferGraphTest, RateAndPositionOfALiveQueueGoUpstream)
{
    BuildLiveGraph(VideoSource(4));
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, m_Buffer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())));
    ComPtr<IMediaSeeking> fromPin;
    ComPtr<IPin> out = TestGraph::FindPin(m_Buffer.Get(), PINDIR_OUTPUT);
    ASSERT_EQ(S_OK, out->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(fromPin.GetAddressOf())));
    EXPECT_EQ(seeking.Get(), fromPin.Get()) << "the output pin answers with the filter's seeking";

    const long rates = m_Source->Stream()->changeRates.load();
    ASSERT_EQ(S_OK, control->SetGroupRate(2.0));
    EXPECT_EQ(rates + 1, m_Source->Stream()->changeRates.load());
    double rate = 0;
    ASSERT_EQ(S_OK, seeking->GetRate(&rate));
    EXPECT_DOUBLE_EQ(2.0, rate);
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(4 * 200000, duration);
    const long starts = m_Source->Stream()->changeStarts.load();
    REFERENCE_TIME position = 200000;
    ASSERT_EQ(S_OK, control->SetGroupPositions(&position, nullptr, nullptr));
    EXPECT_EQ(starts + 1, m_Source->Stream()->changeStarts.load());
    LONGLONG current = 0;
    LONGLONG stop = 0;
    ASSERT_EQ(S_OK, seeking->GetPositions(&current, &stop)) << "the source's answer";
    EXPECT_EQ(position, current);

    ComPtr<CV77DsBufferFilter> lone = NewBufferFilter();
    ComPtr<IMediaSeeking> loneSeeking;
    lone->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(loneSeeking.GetAddressOf()));
    EXPECT_EQ(VFW_E_WRONG_STATE, loneSeeking->SetRate(1.0)) << "no queue";
    EXPECT_EQ(VFW_E_NOT_CONNECTED, loneSeeking->GetRate(&rate));
}

TEST_F(BufferGraphTest, GroupOperationsReachMasterThenSlavesAndStopAtAFailure)
{
    m_Buffer = NewBufferFilter();
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    ComPtr<IV77DsBufferMaster> master = BufferMaster(m_Buffer.Get());
    ASSERT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_FULL, 25, nullptr));
    CFakeBufferMember first;
    CFakeBufferMember second;
    ASSERT_EQ(S_OK, master->AddSlave(&first));
    ASSERT_EQ(S_OK, master->AddSlave(&second));
    EXPECT_EQ(1, first.refs.load()) << "the master holds each slave";

    ASSERT_EQ(S_OK, control->SetGroupRate(2.0));
    EXPECT_EQ(1, first.setRates.load());
    EXPECT_EQ(1, second.setRates.load());
    first.result = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, control->SetGroupRate(3.0));
    EXPECT_EQ(1, second.setRates.load()) << "the first failure stops the group operation";
    first.result = S_OK;

    // SyncPositions skips its origin: from this filter only the slaves move.
    auto* queue = static_cast<CFullBufferQueue*>(m_Buffer->Queue());
    REFERENCE_TIME start = 1000;
    REFERENCE_TIME stop = 9000;
    ASSERT_EQ(S_OK, master->SetPositions(nullptr, &start, &stop));
    ASSERT_EQ(S_OK, master->SyncPositions(5000, master.Get()));
    EXPECT_EQ(1, first.setPositions.load());
    EXPECT_EQ(5000, first.lastPosition);
    EXPECT_EQ(1000, queue->GetStartPosition()) << "the origin itself was repositioned";
    ASSERT_EQ(S_OK, master->SyncPositions(6000, &first));
    EXPECT_EQ(1, first.setPositions.load()) << "the origin slave is skipped";
    EXPECT_EQ(1, second.setPositions.load() - 1);
    EXPECT_EQ(0, queue->GetStartPosition()) << "the master moved: start back to its default";

    ASSERT_EQ(S_OK, master->RemoveSlave(&first));
    EXPECT_EQ(0, first.refs.load());
    ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"master"));
    ASSERT_EQ(S_OK, m_Graph.Graph()->RemoveFilter(m_Buffer.Get()));
    EXPECT_EQ(1, second.releaseMasters.load()) << "leaving the graph releases every slave";
    EXPECT_EQ(0, first.releaseMasters.load());
    EXPECT_EQ(0, second.refs.load());
}

TEST_F(BufferGraphTest, ASlaveRegistersWithItsMasterAndLeavesIt)
{
    m_Buffer = NewBufferFilter();
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    ComPtr<IV77DsBufferMaster> self = BufferMaster(m_Buffer.Get());
    CFakeBufferMember master;
    CFakeBufferMember other;
    ASSERT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_FULL, 25, &master));
    EXPECT_EQ(1, master.addSlaves.load());
    EXPECT_EQ(self.Get(), master.lastSlave);
    EXPECT_EQ(0, master.refs.load()) << "a slave does not hold its master";
    ASSERT_EQ(S_OK, control->SetMaster(&other));
    EXPECT_EQ(1, master.removeSlaves.load());
    EXPECT_EQ(1, other.addSlaves.load());
    ASSERT_EQ(S_OK, self->ReleaseMaster());
    EXPECT_EQ(1, other.removeSlaves.load());
    ASSERT_EQ(S_OK, control->SetMaster(nullptr));
    EXPECT_EQ(1, other.removeSlaves.load()) << "its own master: nothing to leave";
}

}  // namespace
