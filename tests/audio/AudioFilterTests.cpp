// Each audio filter on its own rules, in Wine's filter graph: the mute's
// zeroing, the UDP source's packing, channel switching and refusals, the TCP
// source's queue trim and interfaces, the TCP renderer's types and channel.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <uuids.h>
#include <mmreg.h>
#include <atomic>
#include <cstring>
#include <olectl.h>

#include "audio/CAudioMuteFilter.h"
#include "audio/CV77TcpAudioOutput.h"
#include "audio/CV77TcpAudioRendererFilter.h"
#include "audio/CV77TcpAudioSourceFilter.h"
#include "audio/CV77UdpAudioOutput.h"
#include "audio/CV77UdpAudioSourceFilter.h"
#include "framework/CMediaSample.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/CUnixPeer.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/CTestSource.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"

namespace {

class AudioFilters : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, graph.Create()); }

    ComPtr<CTestRenderer> Renderer(LONG bytes = 4096, bool onArrival = true)
    {
        TestRendererConfig config;
        config.majorType = MEDIATYPE_Audio;
        config.waitForSampleTime = !onArrival;
        config.bytesRecorded = bytes;
        return Adopt(CTestRenderer::Create(config));
    }

    static std::string Concat(const std::vector<RenderedSample>& samples)
    {
        std::string out;
        for (const RenderedSample& s : samples)
            out.append(reinterpret_cast<const char*>(s.bytes.data()), s.bytes.size());
        return out;
    }

    CComInit com;
    TestGraph graph;
};

// ---- Audio mute -------------------------------------------------------------

TEST_F(AudioFilters, MuteRefusesVideoAndNonPcmAudioAndZeroesExactlyTheDataKeepingTimes)
{
    ComPtr<IBaseFilter> mute = MakeFilter(CAudioMuteFilter::CreateInstance);
    ASSERT_TRUE(mute);
    TestSourceConfig sc;
    sc.mediaType = MakeTestVideoType();
    auto video = Adopt(CTestSource::Create(sc));
    sc.mediaType = MakeTestAudioType();
    sc.mediaType.SetSubtype(&MEDIASUBTYPE_IEEE_FLOAT);
    auto floatAudio = Adopt(CTestSource::Create(sc));
    ASSERT_EQ(S_OK, graph.Add(mute.Get(), L"mute"));
    ASSERT_EQ(S_OK, graph.Add(video->Filter(), L"video"));
    ASSERT_EQ(S_OK, graph.Add(floatAudio->Filter(), L"float"));
    auto in = TestGraph::FindPin(mute.Get(), PINDIR_INPUT);
    EXPECT_FALSE(SUCCEEDED(graph.ConnectDirect(OutputPin(video->Filter()).Get(), in.Get())));
    EXPECT_FALSE(SUCCEEDED(graph.ConnectDirect(OutputPin(floatAudio->Filter()).Get(), in.Get())));

    sc.mediaType = MakeTestAudioType();
    sc.frameCount = 6;
    sc.frameBytes = 4096;
    sc.bufferSize = 4096;
    auto source = Adopt(CTestSource::Create(sc));
    auto renderer = Renderer(4096);
    ASSERT_EQ(S_OK, graph.Add(source->Filter(), L"src"));
    ASSERT_EQ(S_OK, graph.Add(renderer->Filter(), L"ren"));
    ASSERT_EQ(S_OK, graph.ConnectFilters(source->Filter(), mute.Get()));
    ASSERT_EQ(S_OK, graph.ConnectFilters(mute.Get(), renderer->Filter()));

    ComPtr<IV77AudioMute> control;
    ASSERT_EQ(S_OK, mute.As(&control));
    EXPECT_EQ(S_OK, control->SetMute(2));   // any non-zero value mutes
    ASSERT_EQ(S_OK, graph.RunAndWait());
    ASSERT_TRUE(renderer->WaitForSamples(6, 5000));
    const auto samples = renderer->Samples();
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(4096, samples[i].length);
        EXPECT_EQ(std::string(4096, '\0'), std::string(samples[i].bytes.begin(), samples[i].bytes.end()));
        EXPECT_TRUE(samples[i].timeValid);
        EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * sc.frameDuration, samples[i].start);
    }
    graph.StopAndWait();

    // Unmuted, the bytes pass untouched.
    renderer->ClearSamples();
    EXPECT_EQ(S_OK, control->SetMute(FALSE));
    ASSERT_EQ(S_OK, graph.RunAndWait());
    ASSERT_TRUE(renderer->WaitForSamples(6, 5000));
    EXPECT_EQ(TestFrameByte(1, 17), renderer->Samples()[1].bytes[17]);
    graph.StopAndWait();
}

// ---- UDP audio source -------------------------------------------------------

class UdpSource : public AudioFilters {
protected:
    void Open(LONG buffers, LONG bytes)
    {
        filter = MakeFilter(CV77UdpAudioSourceFilter::CreateInstance);
        ASSERT_TRUE(filter);
        ASSERT_EQ(S_OK, filter.As(&control));
        AM_MEDIA_TYPE mt = {};
        ASSERT_EQ(S_OK, control->OpenChannel(&mt, 1));
        FreeMediaType(mt);
        port = FreeLoopbackPort(SOCK_DGRAM);
        ASSERT_EQ(S_OK, control->UdpMethod16(1, static_cast<DWORD>(port)));
        ComPtr<IAMBufferNegotiation> negotiation;
        ASSERT_EQ(S_OK, OutputPin(filter.Get()).As(&negotiation));
        ALLOCATOR_PROPERTIES props = {buffers, bytes, 1, 0};
        ASSERT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&props));
        renderer = Renderer(bytes);
        ASSERT_EQ(S_OK, graph.Add(filter.Get(), L"udp"));
        ASSERT_EQ(S_OK, graph.Add(renderer->Filter(), L"ren"));
        ASSERT_EQ(S_OK, graph.ConnectFilters(filter.Get(), renderer->Filter()));
    }

    // Sends the first bytes of the tone in datagrams of the given sizes and waits for the sender to finish.
    std::string Send(size_t bytes, const std::string& sizes, double intervalMs)
    {
        const std::string input = TonePcm().substr(0, bytes);
        const std::string file = AudioWorkDir() + "/udp-input.pcm";
        WriteUnixFile(file, input);
        CUnixPeer sender("udp-send");
        EXPECT_TRUE(sender.Start("udp-send --port " + std::to_string(port) + " --file " + file + " --sizes " + sizes +
                                 " --interval-ms " + std::to_string(intervalMs)));
        EXPECT_NE("", sender.WaitDone(20000));
        return input;
    }

    ComPtr<IBaseFilter> filter;
    ComPtr<IV77DsUdpAudioSource> control;
    ComPtr<CTestRenderer> renderer;
    int port = 0;
};

TEST_F(UdpSource, PacksDatagramsOfAnySizeIntoFullBuffersWholeAndInOrder)
{
    Open(16, 1024);
    ASSERT_EQ(S_OK, graph.RunAndWait());
    // 16 datagrams of 320 bytes: buffer 1 takes three and 64 bytes of the fourth, whose other 256 open buffer 2.
    const std::string even = Send(16 * 320, "320", 2);
    ASSERT_TRUE(renderer->WaitForSamples(5, 5000));
    Sleep(100);
    const auto samples = renderer->Samples();
    ASSERT_EQ(5u, samples.size());
    for (const auto& s : samples) {
        EXPECT_EQ(1024, s.length);
        EXPECT_FALSE(s.timeValid);
    }
    EXPECT_TRUE(Concat(samples) == even);
    EXPECT_EQ(0, std::memcmp(samples[1].bytes.data(), even.data() + 1024, 256)) << "the split datagram's 256 bytes";

    // Odd sizes, some larger than a buffer, continue the stream exactly.
    const std::string odd = Send(40000, "1,3,1023,1025,7,4001,2,333", 1);
    const size_t full = odd.size() / 1024;
    ASSERT_TRUE(renderer->WaitForSamples(5 + full, 5000));
    EXPECT_TRUE(Concat(renderer->Samples()) == even + odd.substr(0, full * 1024));
    graph.StopAndWait();
}

TEST_F(UdpSource, ABurstFarAboveTheBufferCountDropsWithoutBlockingAndStopsAtOnce)
{
    Open(2, 1024);
    ASSERT_EQ(S_OK, graph.RunAndWait());
    Send(300 * 320, "320", 0);
    Sleep(200);
    for (const auto& s : renderer->Samples())
        EXPECT_EQ(1024, s.length);
    const ULONGLONG t0 = NowMs();
    EXPECT_EQ(S_OK, graph.StopAndWait(1000));
    EXPECT_LT(NowMs() - t0, 1000u);
}

TEST_F(UdpSource, PausedDropsDataSoTheReceiveThreadNeverWaitsOnThePausedRenderer)
{
    Open(4, 1024);
    ASSERT_EQ(S_OK, graph.RunAndWait());
    graph.PauseAndWait();
    Send(20 * 320, "320", 1);
    Sleep(100);
    EXPECT_EQ(0u, renderer->SampleCount());
    const ULONGLONG t0 = NowMs();
    EXPECT_EQ(S_OK, graph.StopAndWait(1000));
    EXPECT_LT(NowMs() - t0, 1000u);
}

TEST_F(UdpSource, OpenSelectAndRunRules)
{
    auto f = MakeFilter(CV77UdpAudioSourceFilter::CreateInstance);
    ComPtr<IV77DsUdpAudioSource> c;
    ASSERT_EQ(S_OK, f.As(&c));
    // No receiver yet: pass-throughs refuse, Run and Stop skip the channel switch.
    EXPECT_EQ(E_POINTER, c->UdpMethod16(0, 1));
    EXPECT_EQ(S_OK, f->Run(0));
    EXPECT_EQ(S_OK, f->Stop());

    AM_MEDIA_TYPE mt = {};
    EXPECT_EQ(E_INVALIDARG, c->OpenChannel(&mt, 4));   // the receiver has channels 0 to 3
    ASSERT_EQ(S_OK, c->OpenAllChannels(&mt));
    EXPECT_EQ(MEDIATYPE_Audio, mt.majortype);
    EXPECT_EQ(MEDIASUBTYPE_PCM, mt.subtype);
    ASSERT_EQ(FORMAT_WaveFormatEx, mt.formattype);
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    EXPECT_EQ(8000u, wfx->nSamplesPerSec);
    EXPECT_EQ(16, wfx->wBitsPerSample);
    FreeMediaType(mt);

    // Run returns EnableChannel's result: a port someone else holds fails the bind.
    const int busyPort = FreeLoopbackPort(SOCK_DGRAM);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(busyPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address));
    EXPECT_EQ(S_OK, c->SelectChannel(2));   // stopped: only recorded
    ASSERT_EQ(S_OK, c->UdpMethod16(2, static_cast<DWORD>(busyPort)));
    EXPECT_EQ(HRESULT_FROM_WIN32(WSAEADDRINUSE), f->Run(0));
    EXPECT_EQ(S_OK, f->Stop());
    closesocket(blocker);
    EXPECT_EQ(S_OK, f->Run(0));
    EXPECT_EQ(VFW_E_NOT_STOPPED, c->OpenAllChannels(&mt));
    EXPECT_EQ(E_INVALIDARG, c->UdpMethod16(9, 1));   // channel out of range
    EXPECT_EQ(S_OK, f->Stop());
    WSACleanup();

    // Single-channel mode refuses SelectChannel; a second open starts over cleanly.
    ASSERT_EQ(S_OK, c->OpenChannel(&mt, 3));
    FreeMediaType(mt);
    EXPECT_EQ(E_NOTIMPL, c->SelectChannel(0));
    ASSERT_EQ(S_OK, c->OpenAllChannels(&mt));
    FreeMediaType(mt);
    EXPECT_EQ(S_OK, c->SelectChannel(0));

    // Only 16-bit mono 8 kHz PCM connects.
    ComPtr<IPin> pin = OutputPin(f.Get());
    CMediaType eightBit = MakeTestAudioType(8000);
    auto* w = reinterpret_cast<WAVEFORMATEX*>(eightBit.Format());
    w->wBitsPerSample = 8;
    w->nBlockAlign = 1;
    auto r = Renderer();
    ASSERT_EQ(S_OK, graph.Add(f.Get(), L"udp"));
    ASSERT_EQ(S_OK, graph.Add(r->Filter(), L"ren"));
    EXPECT_FALSE(SUCCEEDED(graph.ConnectDirect(pin.Get(), TestGraph::FindPin(r->Filter(), PINDIR_INPUT).Get(),
                                                &eightBit)));
    const CMediaType sixteenBit = MakeTestAudioType(8000);
    EXPECT_EQ(S_OK, graph.ConnectDirect(pin.Get(), TestGraph::FindPin(r->Filter(), PINDIR_INPUT).Get(), &sixteenBit));
}

TEST_F(UdpSource, ZeroSizedBuffersAreRefusedNotLoopedOn)
{
    // Buffers of 0 bytes negotiated: OnData must return at once, not spin.
    auto f = MakeFilter(CV77UdpAudioSourceFilter::CreateInstance);
    auto* source = static_cast<CV77UdpAudioSourceFilter*>(static_cast<CBaseFilter*>(f.Get()));
    ComPtr<IAMBufferNegotiation> negotiation;
    ASSERT_EQ(S_OK, OutputPin(f.Get()).As(&negotiation));
    ALLOCATOR_PROPERTIES zero = {2, 0, 1, 0};
    ASSERT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&zero));
    auto r = Renderer();
    ASSERT_EQ(S_OK, graph.Add(f.Get(), L"udp"));
    ASSERT_EQ(S_OK, graph.Add(r->Filter(), L"ren"));
    if (FAILED(graph.ConnectFilters(f.Get(), r->Filter())))
        return;   // the allocator refused 0-byte buffers: nothing can be packed
    const HRESULT run = graph.RunAndWait();
    BYTE data[320] = {};
    HRESULT hr = S_OK;
    CMediaSample datagram("datagram", nullptr, &hr, data, sizeof data);
    datagram.SetActualDataLength(sizeof data);
    auto* pin = static_cast<CV77UdpAudioOutput*>(source->GetPin(0));
    const ULONGLONG t0 = NowMs();
    if (FAILED(run)) {
        // The allocator will not commit 0-byte buffers, so the graph cannot run; data is dropped at once.
        EXPECT_EQ(S_FALSE, pin->OnData(&datagram));
    } else {
        ALLOCATOR_PROPERTIES actual = {};
        negotiation->GetAllocatorProperties(&actual);
        ASSERT_EQ(0, actual.cbBuffer);
        EXPECT_EQ(VFW_E_SIZENOTSET, pin->OnData(&datagram));
    }
    EXPECT_LT(NowMs() - t0, 100u);
    graph.StopAndWait();
}

// ---- TCP audio source -------------------------------------------------------

class TcpSource : public AudioFilters {
protected:
    void Build(LONG buffers, LONG bytes, bool onArrival)
    {
        filter = MakeFilter(CV77TcpAudioSourceFilter::CreateInstance);
        ASSERT_TRUE(filter);
        source = static_cast<CV77TcpAudioSourceFilter*>(static_cast<CBaseFilter*>(filter.Get()));
        ComPtr<IAMStreamConfig> config;
        ASSERT_EQ(S_OK, OutputPin(filter.Get()).As(&config));
        CMediaType mt = MakeTestAudioType(8000);
        ASSERT_EQ(S_OK, config->SetFormat(&mt));
        ComPtr<IAMBufferNegotiation> negotiation;
        ASSERT_EQ(S_OK, OutputPin(filter.Get()).As(&negotiation));
        ALLOCATOR_PROPERTIES props = {buffers, bytes, 1, 0};
        ASSERT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&props));
        renderer = Renderer(bytes, onArrival);
        ASSERT_EQ(S_OK, graph.Add(filter.Get(), L"tcp"));
        ASSERT_EQ(S_OK, graph.Add(renderer->Filter(), L"ren"));
        ASSERT_EQ(S_OK, graph.ConnectFilters(filter.Get(), renderer->Filter()));
    }

    // What the channel does: an empty buffer, filled with marker, handed back.
    void Feed(BYTE marker)
    {
        ComPtr<IMediaSample> sample;
        ASSERT_EQ(S_OK, source->GetBuffer(sample.GetAddressOf()));
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        data[0] = marker;
        sample->SetActualDataLength(2);
        ASSERT_EQ(S_OK, source->OnSample(sample.Get()));
    }

    std::vector<int> Markers()
    {
        std::vector<int> out;
        for (const auto& s : renderer->Samples())
            out.push_back(s.bytes.empty() ? -1 : s.bytes[0]);
        return out;
    }

    ComPtr<IBaseFilter> filter;
    CV77TcpAudioSourceFilter* source = nullptr;
    ComPtr<CTestRenderer> renderer;
};

TEST_F(TcpSource, SixteenQueuedLeaveNineAfterTheOldestFourteenLeaveThirteen)
{
    for (int queued : {16, 14}) {
        SCOPED_TRACE(queued);
        graph.Release();
        ASSERT_EQ(S_OK, graph.Create());
        Build(24, 64, false);
        // Paused: the first sample holds the streaming thread in the renderer; the rest queue up.
        graph.Pause();
        Feed(100);
        ASSERT_TRUE(WaitUntil([&] { return source->Output()->QueuedCount() == 0; }, 2000));
        Sleep(50);
        for (int i = 0; i < queued; ++i)
            Feed(static_cast<BYTE>(i));
        ASSERT_EQ(static_cast<size_t>(queued), source->Output()->QueuedCount());
        ASSERT_EQ(S_OK, graph.RunAndWait());
        const size_t expected = queued >= 16 ? 1 + 1 + 9 : 1 + static_cast<size_t>(queued);
        ASSERT_TRUE(renderer->WaitForSamples(expected, 3000));
        Sleep(100);
        std::vector<int> want = {100, 0};
        for (int i = queued >= 16 ? queued - 9 : 1; i < queued; ++i)
            want.push_back(i);
        EXPECT_EQ(want, Markers());
        graph.StopAndWait();
    }
}

TEST_F(TcpSource, InterfacesTypesAndUnconnectedBuffers)
{
    auto f = MakeFilter(CV77TcpAudioSourceFilter::CreateInstance);
    auto* s = static_cast<CV77TcpAudioSourceFilter*>(static_cast<CBaseFilter*>(f.Get()));
    ComPtr<IPin> pin = OutputPin(f.Get());
    ComPtr<IAMPushSource> push;
    EXPECT_EQ(E_NOINTERFACE, pin.As(&push));
    ComPtr<IAMLatency> latency;
    ASSERT_EQ(S_OK, pin.As(&latency));
    auto* pushSource = static_cast<IAMPushSource*>(latency.Get());
    EXPECT_EQ(S_OK, pushSource->SetStreamOffset(10000000));
    EXPECT_EQ(S_FALSE, pushSource->SetStreamOffset(10000001));
    EXPECT_EQ(S_OK, pushSource->SetStreamOffset(-5));
    ULONG flags = 0;
    EXPECT_EQ(S_OK, pushSource->GetPushSourceFlags(&flags));
    EXPECT_EQ(static_cast<ULONG>(AM_PUSHSOURCECAPS_PRIVATE_CLOCK), flags);
    EXPECT_EQ(E_POINTER, pushSource->GetLatency(nullptr));

    CMediaType mt;
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, s->Output()->GetMediaType(1, &mt));
    EXPECT_EQ(E_INVALIDARG, s->Output()->GetMediaType(-1, &mt));
    IMediaSample* sample = nullptr;
    EXPECT_EQ(E_NOINTERFACE, s->GetBuffer(&sample));

    FILTER_STATE state;
    EXPECT_EQ(E_POINTER, f->GetState(0, nullptr));
    ComPtr<IAMFilterMiscFlags> misc;
    ASSERT_EQ(S_OK, f.As(&misc));
    EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_SOURCE), misc->GetMiscFlags());
    EXPECT_EQ(S_OK, f->GetState(0, &state));
}

TEST_F(TcpSource, QueuedSamplesGoBackToTheirAllocatorWhenTheFilterGoes)
{
    Build(6, 64, false);
    graph.Pause();
    Feed(1);
    ASSERT_TRUE(WaitUntil([&] { return source->Output()->QueuedCount() == 0; }, 2000));
    Sleep(50);
    for (int i = 0; i < 4; ++i)
        Feed(static_cast<BYTE>(i));
    // Samples handed over after Stop stay queued until the next Active or the filter's end.
    graph.StopAndWait();
    ComPtr<IMemAllocator> allocator;
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, TestGraph::FindPin(renderer->Filter(), PINDIR_INPUT).As(&input));
    ASSERT_EQ(S_OK, input->GetAllocator(allocator.GetAddressOf()));
    const LONG objectsBefore = CBaseObject::ObjectsActive();
    graph.Release();
    filter.Reset();
    source = nullptr;
    EXPECT_LT(CBaseObject::ObjectsActive(), objectsBefore);
    // Every buffer is free again: all six can be taken without waiting.
    ASSERT_EQ(S_OK, allocator->Commit());
    std::vector<ComPtr<IMediaSample>> taken(6);
    for (auto& t : taken)
        EXPECT_EQ(S_OK, allocator->GetBuffer(t.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT));
    taken.clear();
    allocator->Decommit();
}

// ---- TCP audio renderer -----------------------------------------------------

TEST_F(AudioFilters, TcpRendererTypesChannelAndRequirements)
{
    auto f = MakeFilter(CV77TcpAudioRendererFilter::CreateInstance);
    auto* r = static_cast<CV77TcpAudioRendererFilter*>(static_cast<CBaseFilter*>(f.Get()));
    CMediaType audio = MakeTestAudioType(8000);
    audio.SetSubtype(&MEDIASUBTYPE_IEEE_FLOAT);   // any audio subtype
    EXPECT_EQ(S_OK, r->CheckMediaType(&audio));
    audio.SetFormatType(&FORMAT_None);
    EXPECT_EQ(S_FALSE, r->CheckMediaType(&audio));
    EXPECT_EQ(nullptr, r->GetPin(1));

    ComPtr<IV77TCPChannel> channel = MakeChannel();
    ASSERT_TRUE(channel);
    ComPtr<IV77DsTCPAudioRenderer> control;
    ASSERT_EQ(S_OK, f.As(&control));
    EXPECT_EQ(S_OK, control->SetChannel(channel.Get()));
    channel->AddRef();
    const ULONG before = channel->Release();
    EXPECT_EQ(S_OK, control->SetChannel(channel.Get()));
    channel->AddRef();
    EXPECT_EQ(before, channel->Release());
    EXPECT_EQ(S_OK, control->SetChannel(nullptr));
    channel->AddRef();
    EXPECT_EQ(before - 1, channel->Release());

    // No channel: samples are dropped (S_FALSE), the graph keeps running.
    TestSourceConfig sc;
    sc.mediaType = MakeTestAudioType();
    sc.frameCount = 5;
    auto src = Adopt(CTestSource::Create(sc));
    ASSERT_EQ(S_OK, graph.Add(src->Filter(), L"src"));
    ASSERT_EQ(S_OK, graph.Add(f.Get(), L"tcp"));
    ASSERT_EQ(S_OK, graph.ConnectFilters(src->Filter(), f.Get()));
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, TestGraph::FindPin(f.Get(), PINDIR_INPUT).As(&input));
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(S_OK, input->GetAllocatorRequirements(&props));
    EXPECT_EQ(3, props.cBuffers);
    EXPECT_EQ(2, props.cbBuffer);
    EXPECT_EQ(1, props.cbAlign);
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, graph.RunAndWait());
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 5000));
    graph.StopAndWait();
}

// ---- UDP audio receiver component -------------------------------------------

// A sink whose callback takes a while, to catch Unadvise returning under it.
class CSlowUdpSink : public IUdpEvent {
public:
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnData(IMediaSample* data) override
    {
        calls++;
        lastLength = data->GetActualDataLength();
        SetEvent(entered);
        Sleep(300);
        finished++;
        return S_OK;
    }
    HANDLE entered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<long> calls{0};
    std::atomic<long> finished{0};
    std::atomic<long> lastLength{0};
};

TEST_F(AudioFilters, UdpReceiverUnadviseWaitsForTheCallbackInProgress)
{
    ComPtr<IV77UdpAudioReceiver> receiver;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77UdpAudioReceiver, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IV77UdpAudioReceiver, reinterpret_cast<void**>(receiver.GetAddressOf())));
    EXPECT_EQ(4, receiver->GetChannelCount());
    CSlowUdpSink sink;
    EXPECT_EQ(E_INVALIDARG, receiver->Advise(4, &sink));
    EXPECT_EQ(E_INVALIDARG, receiver->EnableChannel(-1, TRUE));
    const int port = FreeLoopbackPort(SOCK_DGRAM);
    ASSERT_EQ(S_OK, receiver->UdpMethod16(0, static_cast<DWORD>(port)));
    ASSERT_EQ(S_OK, receiver->Advise(0, &sink));
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, receiver->Advise(0, &sink));
    ASSERT_EQ(S_OK, receiver->EnableChannel(0, -1));

    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char bytes[777] = {};
    sendto(s, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sink.entered, 3000));
    EXPECT_EQ(777, sink.lastLength);
    EXPECT_EQ(S_OK, receiver->Unadvise(0));
    EXPECT_EQ(1, sink.finished) << "Unadvise returned while the callback still ran";
    for (int i = 0; i < 5; ++i)
        sendto(s, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    Sleep(200);
    EXPECT_EQ(1, sink.calls) << "no callback after Unadvise";
    EXPECT_EQ(CONNECT_E_NOCONNECTION, receiver->Unadvise(0));
    closesocket(s);
    WSACleanup();
    CloseHandle(sink.entered);
}

}  // namespace
