// The network renderer in Wine's filter graph with the stream server: the
// renderer's own rules (size average, stream description, one sink, cookie
// 0), and a recorded MPEG-4 stream re-published to a test client, written to
// an elementary stream that ffprobe and framemd5 compare with the original,
// while a second client that never reads does not slow the graph.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <uuids.h>
#include <algorithm>
#include <mmreg.h>
#include <cstdlib>
#include <sstream>
#include <cstring>
#include <fstream>

#include "framework/CMediaSample.h"
#include "sinks/CV77DsNetworkRendererFilter.h"
#include "tests/audio/CUnixPeer.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/RunStopCycles.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"
#include "tests/sinks/CPacketSource.h"
#include "tests/sinks/CStreamClient.h"
#include "v77/V77Interfaces.h"

#include <amvideo.h>

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IBaseFilter> MakeRenderer(CV77DsNetworkRendererFilter** raw = nullptr)
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsNetworkRendererFilter::CreateInstance(nullptr, &hr);
    ComPtr<IBaseFilter> filter;
    object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    if (raw)
        *raw = static_cast<CV77DsNetworkRendererFilter*>(object);
    return filter;
}

// A sink that counts what the renderer hands it.
class CCountingSink : public IV77StreamSink {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown)
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP DeliverSample(IMediaSample*, const LONGLONG* zero) override
    {
        ++delivered;
        return zero && *zero == 0 ? S_OK : E_FAIL;
    }
    STDMETHODIMP SetActive(BOOL active) override
    {
        activeCalls.push_back(active);
        return S_OK;
    }
    long refs = 1;
    long delivered = 0;
    std::vector<BOOL> activeCalls;
};

class NetworkRenderer : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        ASSERT_EQ(S_OK, graph.Create());
    }
    void TearDown() override { WSACleanup(); }

    CComInit com;
    TestGraph graph;
};

TEST_F(NetworkRenderer, AverageSizeDescriptionAndOneSinkWithCookieZero)
{
    CV77DsNetworkRendererFilter* raw = nullptr;
    auto filter = MakeRenderer(&raw);
    ComPtr<IV77ImageSource> source;
    ASSERT_EQ(S_OK, filter.As(&source));

    // 1,000 samples of 1,000 bytes: 1,000 x (1 - 0.996^1000) = 981.8.
    std::vector<BYTE> data(1000);
    HRESULT hr = S_OK;
    CMediaSample sample("sample", nullptr, &hr, data.data(), 1000);
    sample.SetActualDataLength(1000);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(S_OK, raw->DoRenderSample(&sample));   // no sink: S_OK, nothing sent
    double average = 0;
    ASSERT_EQ(S_OK, source->GetAverageSampleSize(&average));
    EXPECT_NEAR(981.8, average, 0.2);

    CCountingSink sink;
    DWORD cookie = 7;
    ASSERT_EQ(S_OK, source->Advise(&sink, &cookie));
    EXPECT_EQ(0u, cookie);
    EXPECT_EQ(E_FAIL, source->Advise(&sink, &cookie));
    EXPECT_EQ(E_FAIL, source->Unadvise(1));   // wrong cookie: the sink stays
    EXPECT_EQ(S_OK, raw->DoRenderSample(&sample));
    EXPECT_EQ(1, sink.delivered);
    ComPtr<IV77DsNetworkRenderer> control;
    ASSERT_EQ(S_OK, filter.As(&control));
    EXPECT_EQ(S_OK, control->PushSample(&sample));
    EXPECT_EQ(2, sink.delivered);
    EXPECT_EQ(S_OK, source->Unadvise(0));
    EXPECT_EQ(1, sink.refs) << "the renderer held one reference between Advise and Unadvise";
    EXPECT_EQ(E_FAIL, source->Unadvise(0));
    EXPECT_EQ(E_FAIL, control->PushSample(&sample));
    EXPECT_EQ(S_OK, source->Reserved7(1));
    EXPECT_EQ(E_NOTIMPL, source->Reserved11(1, 2, 3, 4, 5));

    // Audio fills offsets 8, 20 and 24 by itself; video needs SetSourceInformation first.
    TestGraph g;
    ASSERT_EQ(S_OK, g.Create());
    auto audioRenderer = MakeRenderer();
    ComPtr<IV77ImageSource> audioSource;
    ASSERT_EQ(S_OK, audioRenderer.As(&audioSource));
    CMediaType audio = MakeTestAudioType(11025);
    std::vector<Packet> none;
    auto audioFeed = Adopt(CPacketSource::Create(audio, none, 0));
    ASSERT_EQ(S_OK, g.Add(audioFeed->Filter(), L"audio"));
    ASSERT_EQ(S_OK, g.Add(audioRenderer.Get(), L"net"));
    ASSERT_EQ(S_OK, g.ConnectFilters(audioFeed->Filter(), audioRenderer.Get()));
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, audioSource->GetSourceInformation(&info));
    EXPECT_EQ(11025u, info.Parameter);
    EXPECT_EQ(MEDIASUBTYPE_PCM.Data1, info.Compression);
    EXPECT_EQ(16, info.BitCount);
    AM_MEDIA_TYPE copy = {};
    ASSERT_EQ(S_OK, audioSource->GetMediaType(&copy));
    EXPECT_EQ(MEDIATYPE_Audio, copy.majortype);
    FreeMediaType(copy);

    auto videoFeed = Adopt(CPacketSource::Create(MakeTestVideoType(), none, 0));
    auto videoRenderer = MakeRenderer();
    ASSERT_EQ(S_OK, g.Add(videoFeed->Filter(), L"video"));
    ASSERT_EQ(S_OK, g.Add(videoRenderer.Get(), L"net video"));
    EXPECT_FALSE(SUCCEEDED(g.ConnectFilters(videoFeed->Filter(), videoRenderer.Get())));
    ComPtr<IV77DsNetworkRenderer> videoControl;
    ASSERT_EQ(S_OK, videoRenderer.As(&videoControl));
    SOURCE_INFORMATION videoInfo = {400000, 0, 4, 4, 0, 32, 0, 0};
    ASSERT_EQ(S_OK, videoControl->SetSourceInformation(&videoInfo));
    EXPECT_EQ(S_OK, g.ConnectFilters(videoFeed->Filter(), videoRenderer.Get()));
}

// The packets of an MPEG-4 elementary stream, cut where ffprobe says they are.
std::vector<Packet> ReadPackets(const std::string& m4v, const std::string& csv)
{
    const std::string stream = ReadBinaryFile(m4v);
    std::vector<size_t> starts;
    std::vector<bool> keys;
    std::istringstream lines(ReadTextFile(csv));
    std::string line;
    while (std::getline(lines, line)) {
        // packet|size=<n>|pos=<n>|flags=<K_ or __>, in whatever order ffprobe prints them
        if (line.compare(0, 7, "packet|") != 0)
            continue;
        auto field = [&line](const std::string& key) {
            const size_t at = line.find("|" + key + "=");
            if (at == std::string::npos)
                return std::string();
            const size_t from = at + key.size() + 2;
            return line.substr(from, line.find('|', from) - from);
        };
        const std::string pos = field("pos");
        const std::string flags = field("flags");
        starts.push_back(starts.empty() ? 0 : std::strtoull(pos.c_str(), nullptr, 10));
        keys.push_back(flags.find('K') != std::string::npos);
    }
    // Each packet runs to the next one, so the stream headers before the first
    // picture travel with it and the packets together are the whole file.
    std::vector<Packet> packets;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
        packets.push_back({stream.substr(starts[i], end - starts[i]), keys[i]});
    }
    return packets;
}

TEST_F(NetworkRenderer, RepublishedMpeg4MatchesFrameForFrameWhileAStalledClientIsDropped)
{
    const std::string dir = AudioWorkDir();
    const std::string m4v = dir + "/input.m4v";
    ASSERT_EQ(0, RunUnix("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=4 -c:v mpeg4 -g 10 "
                         "-q:v 3 -f m4v " + m4v + " && ffprobe -v error -show_entries packet=pos,size,flags -of compact " +
                         m4v + " > " + m4v + ".csv"));
    const std::vector<Packet> packets = ReadPackets(m4v, m4v + ".csv");
    ASSERT_EQ(100u, packets.size());

    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_V77_DX50);
    mt.SetFormatType(&FORMAT_VideoInfo);
    mt.SetTemporalCompression(TRUE);
    mt.SetVariableSize();
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = 400000;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 320;
    vih.bmiHeader.biHeight = 240;
    vih.bmiHeader.biCompression = MAKEFOURCC('D', 'X', '5', '0');
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    auto feed = Adopt(CPacketSource::Create(mt, packets, 3));
    auto renderer = MakeRenderer();
    ComPtr<IV77DsNetworkRenderer> control;
    ASSERT_EQ(S_OK, renderer.As(&control));
    SOURCE_INFORMATION info = {400000, 0, 320, 240, MAKEFOURCC('D', 'X', '5', '0'), 24, 0, 0};
    ASSERT_EQ(S_OK, control->SetSourceInformation(&info));
    ASSERT_EQ(S_OK, graph.Add(feed->Filter(), L"feed"));
    ASSERT_EQ(S_OK, graph.Add(renderer.Get(), L"net"));
    ASSERT_EQ(S_OK, graph.ConnectFilters(feed->Filter(), renderer.Get()));

    ComPtr<IV77StreamServer> server;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77StreamServer, nullptr, CLSCTX_INPROC_SERVER, IID_IV77StreamServer,
                                     reinterpret_cast<void**>(server.GetAddressOf())));
    ASSERT_EQ(S_OK, control->Publish(0, 16, server.Get()));
    EXPECT_EQ(VFW_E_WRONG_STATE, control->Publish(0, 16, server.Get()));
    DWORD port = 0;
    ASSERT_EQ(S_OK, server->GetPort(&port));
    ASSERT_NE(0u, port);

    CStreamClient client;
    ASSERT_TRUE(client.Connect(static_cast<int>(port)));
    // A client that connects with a tiny window and never reads.
    SOCKET stalled = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int small = 2048;
    setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address));
    DWORD clients = 0;
    ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(server->GetClientCount(&clients)) && clients == 2; }, 3000));
    ASSERT_TRUE(WaitUntil([&] { return client.HaveDescription(); }, 3000));

    const ULONGLONG t0 = NowMs();
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    DWORD delivered = 0, dropped = 0;
    ASSERT_TRUE(WaitUntil([&] {
        server->GetStatistics(&delivered, &dropped);
        return delivered == packets.size();
    }, 10000));
    const ULONGLONG elapsed = NowMs() - t0;
    // 100 packets 3 ms apart, rendered on arrival: the stalled client must not add its send time.
    EXPECT_LT(elapsed, 3000u);
    ASSERT_TRUE(WaitUntil([&] { return client.FrameCount() == packets.size(); }, 5000)) << client.FrameCount();
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 10000));
    EXPECT_EQ(100u, delivered);
    EXPECT_GT(dropped, 0u) << "the stalled client's frames were dropped";
    EXPECT_FALSE(client.Failed());

    const auto description = client.Description();
    EXPECT_EQ(0, std::memcmp(description.sourceInformation, &info, sizeof info));
    EXPECT_EQ(0, std::memcmp(description.subtype, &MEDIASUBTYPE_V77_DX50, 16));
    EXPECT_EQ(1u, description.temporalCompression);
    EXPECT_EQ(sizeof vih, description.format.size());

    const auto frames = client.Frames();
    ASSERT_EQ(packets.size(), frames.size());
    std::string out;
    for (size_t i = 0; i < frames.size(); ++i) {
        out += frames[i].payload;
        EXPECT_EQ(packets[i].key, (frames[i].flags & 4) != 0) << i;
        EXPECT_EQ(static_cast<int64_t>(i) * 400000, frames[i].start) << i;
    }
    const std::string copy = dir + "/republished.m4v";
    DeleteFileW(WinePath(copy).c_str());   // an open for writing under Wine does not truncate
    {
        std::ofstream file(WinePath(copy).c_str(), std::ios::binary | std::ios::trunc);
        file.write(out.data(), static_cast<std::streamsize>(out.size()));
    }
    ASSERT_EQ(0, RunUnix("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                         "-of csv=p=0 " + copy + " > " + copy + ".count"));
    EXPECT_EQ(100, std::atoi(ReadTextFile(copy + ".count").c_str()));
    ASSERT_EQ(0, RunUnix("ffmpeg -v error -i " + m4v + " -f framemd5 - | grep -v '^#' > " + m4v + ".md5 && "
                         "ffmpeg -v error -i " + copy + " -f framemd5 - | grep -v '^#' > " + copy + ".md5"));
    const std::string want = ReadTextFile(m4v + ".md5");
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(want, ReadTextFile(copy + ".md5"));

    graph.StopAndWait();
    closesocket(stalled);
    client.Stop();
    const ULONGLONG t1 = NowMs();
    EXPECT_EQ(S_OK, server->Revoke());
    EXPECT_LT(NowMs() - t1, 1000u);
    EXPECT_EQ(S_FALSE, server->Revoke());
    ComPtr<IV77ImageSource> source;
    ASSERT_EQ(S_OK, renderer.As(&source));
    EXPECT_EQ(E_FAIL, source->Unadvise(0)) << "Revoke unsubscribed the server";
}

TEST_F(NetworkRenderer, TwoHundredStopRunCyclesWhilePublishedLeakNothing)
{
    std::vector<Packet> packets(20);
    for (size_t i = 0; i < packets.size(); ++i)
        packets[i] = {std::string(4000, static_cast<char>(i)), i % 5 == 0};
    auto feed = Adopt(CPacketSource::Create(MakeTestAudioType(8000), packets, 1));
    auto renderer = MakeRenderer();
    ASSERT_EQ(S_OK, graph.Add(feed->Filter(), L"feed"));
    ASSERT_EQ(S_OK, graph.Add(renderer.Get(), L"net"));
    ASSERT_EQ(S_OK, graph.ConnectFilters(feed->Filter(), renderer.Get()));
    ComPtr<IV77DsNetworkRenderer> control;
    ASSERT_EQ(S_OK, renderer.As(&control));
    ComPtr<IV77StreamServer> server;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_V77StreamServer, nullptr, CLSCTX_INPROC_SERVER, IID_IV77StreamServer,
                                     reinterpret_cast<void**>(server.GetAddressOf())));
    ASSERT_EQ(S_OK, control->Publish(0, 8, server.Get()));
    DWORD port = 0;
    server->GetPort(&port);
    CStreamClient client;
    ASSERT_TRUE(client.Connect(static_cast<int>(port)));
    ASSERT_NO_FATAL_FAILURE(ExpectPromptRunStopCycles(graph, 200));
    EXPECT_GT(client.FrameCount(), 20u);
    EXPECT_FALSE(client.Failed());
    client.Stop();
    EXPECT_EQ(S_OK, server->Revoke());
}

}  // namespace
