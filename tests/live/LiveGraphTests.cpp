// The network (RTP) and TCP live sources in Wine's filter graph with their
// real receivers, fed by Linux peers: ffmpeg sending RTP with its SDP file,
// and a Python server of ffmpeg's elementary stream. Every frame reaches a
// test renderer as ffmpeg made it (Adler-32 of the
// whole payload against ffmpeg's framecrc), in order, in a sample of the
// source's own pool; peers that close or stall end the stream with an
// event; state cycles leak nothing; Stop never hangs on an exhausted pool.
#include "tests/live/LiveTestSupport.h"  // Winsock before windows.h

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <wrl/client.h>

#include "sources/CV77DsNetworkSourceFilter.h"
#include "sources/CV77DsTcpSourceFilter.h"
#include "tests/audio/CUnixPeer.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/ProcessHandleCount.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/CTestRendererInputPin.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestWait.h"
#include "v77/IV77SamplePool.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;
using namespace live;

namespace {

constexpr DWORD kStateMs = 5000;
constexpr DWORD kFlowMs = 15000;
constexpr LONG kRecordBytes = 256 * 1024;  // whole MPEG-4 frames of 176x144
constexpr int kCycles = 200;

template <class I>
ComPtr<I> Query(IUnknown* object, REFIID iid)
{
    ComPtr<I> result;
    object->QueryInterface(iid, reinterpret_cast<void**>(result.GetAddressOf()));
    return result;
}

std::string UnixInput(const char* name)
{
    return std::string(V77_LIVE_INPUTS) + "/" + name;
}

class LiveGraph : public LiveTest {
protected:
    void SetUp() override
    {
        LiveTest::SetUp();
        reference = ReadFrameCrc("mpeg4.crc");
        ASSERT_EQ(50u, reference.size());
        ASSERT_EQ(S_OK, graph.Create());
    }
    void TearDown() override
    {
        ReleaseAll();
        LiveTest::TearDown();
    }
    void ReleaseAll()
    {
        graph.Release();
        renderer.Reset();
        pool.Reset();
        source.Reset();
        peer.reset();
    }
    // A new graph for the next part of a test.
    void Again()
    {
        ReleaseAll();
        ASSERT_EQ(S_OK, graph.Create());
    }

    // Starts the Linux peer; its port, 0 when it did not come up.
    int StartPeer(const std::string& modeAndArgs)
    {
        peer = std::make_unique<CUnixPeer>("live-peer");
        return peer->Start(modeAndArgs) ? peer->WaitPort(15000) : 0;
    }
    // ffmpeg sending mpeg4.avi's video as RTP, looped; the SDP path for Open.
    std::wstring StartRtpPeer()
    {
        const std::string sdp = AudioWorkDir() + "/live-" + std::to_string(GetCurrentProcessId()) + ".sdp";
        return StartPeer("rtp --file " + UnixInput("mpeg4.avi") + " --sdp " + sdp) ? WinePath(sdp) : std::wstring();
    }
    // The Python server of ffmpeg's elementary stream; the address for Open.
    std::wstring StartTcpPeer(const std::string& options)
    {
        const int port = StartPeer("tcp-es --file " + UnixInput("mpeg4.m4v") + " " + options);
        return port ? L"127.0.0.1:" + std::to_wstring(port) : std::wstring();
    }

    // A live source of type T opened on source1, connected to a test
    // renderer that keeps whole frames. The stream is MPEG-4 (DX50), which
    // the buffer filter's input refuses (it queues uncompressed video and
    // PCM only), so no buffer stands between them.
    template <class T>
    void Build(const std::wstring& source1)
    {
        ASSERT_FALSE(source1.empty()) << "the peer did not start";
        HRESULT hr = S_OK;
        source = new T(TEXT("live source"), nullptr, &hr);
        ASSERT_EQ(S_OK, hr);
        ComPtr<IV77DsNetworkSource> control = Query<IV77DsNetworkSource>(source.Get(), IID_IV77DsNetworkSource);
        ASSERT_TRUE(control);
        BSTR name = SysAllocString(source1.c_str());
        SOURCE_INFORMATION info = {};
        hr = control->Open(name, nullptr, 0, 0, 0, &info);
        SysFreeString(name);
        ASSERT_EQ(S_OK, hr);
        EXPECT_EQ(176, info.Width);
        EXPECT_EQ(144, info.Height);

        TestRendererConfig config;
        config.waitForSampleTime = false;
        config.bytesRecorded = kRecordBytes;
        renderer = Adopt(CTestRenderer::Create(config));
        ASSERT_TRUE(renderer);
        ASSERT_EQ(S_OK, graph.Add(source.Get(), L"source"));
        ASSERT_EQ(S_OK, graph.Add(renderer->Filter(), L"renderer"));
        ASSERT_EQ(S_OK, graph.ConnectFilters(source.Get(), renderer->Filter()));
    }
    // Runs the graph; the source's pool exists from then on.
    void Run()
    {
        ASSERT_EQ(S_OK, graph.RunAndWait(kStateMs));
        pool = Query<IV77SamplePool>(source.Get(), IID_IV77SamplePool);
        ASSERT_TRUE(pool);
    }

    // Every rendered sample is ffmpeg's frame (first + i) modulo the file
    // (the RTP peer loops it), whole, in a sample of the source's pool; the
    // run starts at a key frame marked as a discontinuity.
    void ExpectFfmpegFramesUncopied(const std::vector<RenderedSample>& samples, size_t firstFrame)
    {
        ASSERT_FALSE(samples.empty());
        EXPECT_TRUE(samples[0].syncPoint);
        EXPECT_TRUE(samples[0].discontinuity);
        std::set<IMediaSample*> items;
        for (size_t i = 0; i < samples.size(); ++i) {
            SCOPED_TRACE(i);
            const RenderedSample& s = samples[i];
            const Reference& expected = reference[(firstFrame + i) % reference.size()];
            ASSERT_EQ(static_cast<size_t>(s.length), s.bytes.size());
            EXPECT_EQ(expected.size, s.bytes.size());
            ASSERT_EQ(expected.crc, Adler32(s.bytes.data(), s.bytes.size()))
                << "sample " << i << " is not ffmpeg's frame " << (firstFrame + i) % reference.size();
            EXPECT_EQ(expected.key, s.syncPoint);
            EXPECT_EQ(static_cast<const void*>(pool.Get()), s.pool) << "a copy was made on the way";
            if (i > 0) {
                EXPECT_LE(samples[i - 1].start, s.start) << "capture times go forward";
            }
            items.insert(s.identity);
        }
        EXPECT_LE(items.size(), pool->GetItemCount()) << "samples other than the pool's own items arrived";
    }
    // Index in the reference of the frame a sample carries, -1 when none.
    int FrameOf(const RenderedSample& s) const
    {
        const uint32_t crc = Adler32(s.bytes.data(), s.bytes.size());
        for (size_t i = 0; i < reference.size(); ++i) {
            if (reference[i].crc == crc && reference[i].size == s.bytes.size())
                return static_cast<int>(i);
        }
        return -1;
    }

    // Stop/Pause/Run cycles, each with a new frame rendered, leave no object
    // or handle behind and never hang.
    void CyclesLeakNothing()
    {
        LONG objects = 0;
        DWORD handles = 0;
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            SCOPED_TRACE(cycle);
            ASSERT_TRUE(SUCCEEDED(graph.PauseAndWait(kStateMs)));
            const size_t seen = renderer->SampleCount();
            ASSERT_EQ(S_OK, graph.RunAndWait(kStateMs));
            ASSERT_TRUE(renderer->WaitForSamples(seen + 1, kFlowMs));
            ASSERT_TRUE(FinishesWithin(kStateMs, [&] { graph.Stop(); })) << "Stop hangs";
            if (cycle == 1) {  // what the first runs make once is made
                objects = CBaseObject::ObjectsActive();
                handles = ProcessHandleCount();
            }
            if (cycle % 50 == 0)
                renderer->ClearSamples();
        }
        const DWORD after = ProcessHandleCount();
        ASSERT_NE(0u, handles);
        EXPECT_LE(after, handles + 8) << "handles leaked over the cycles";
        EXPECT_EQ(objects, CBaseObject::ObjectsActive()) << "filter objects leaked over the cycles";
        ReleaseAll();
        EXPECT_EQ(S_OK, ComponentsCanUnloadNow()) << "a receiver or pool object outlived its graph";
    }

    // The test takes every free sample of the source's pool, so the
    // receiver's thread waits in GetBuffer; Stop returns anyway, and the
    // graph streams again once the samples are back.
    void StopWithThePoolExhausted()
    {
        ASSERT_NO_FATAL_FAILURE(Run());
        ASSERT_TRUE(renderer->WaitForSamples(3, kFlowMs));
        std::vector<ComPtr<IUnknown>> taken;
        ASSERT_TRUE(WaitUntil([&] {
            ComPtr<IUnknown> item;
            while (pool->TryGetItem(item.ReleaseAndGetAddressOf()) == S_OK && item)
                taken.push_back(item);
            return taken.size() == pool->GetItemCount();
        }, kFlowMs)) << "the pool never gave all its samples";
        const size_t seen = renderer->SampleCount();
        Sleep(500);  // frames keep arriving: the receiver now waits for a sample
        EXPECT_EQ(seen, renderer->SampleCount());
        EXPECT_TRUE(FinishesWithin(kStateMs, [&] { graph.Stop(); })) << "Stop hangs on GetBuffer";
        taken.clear();
        ASSERT_EQ(S_OK, graph.RunAndWait(kStateMs));
        EXPECT_TRUE(renderer->WaitForSamples(seen + 5, kFlowMs)) << "the graph did not stream again";
        EXPECT_TRUE(FinishesWithin(kStateMs, [&] { graph.Stop(); }));
    }

    std::vector<Reference> reference;
    std::unique_ptr<CUnixPeer> peer;
    TestGraph graph;
    ComPtr<IBaseFilter> source;
    ComPtr<IV77SamplePool> pool;
    ComPtr<CTestRenderer> renderer;
};

}  // namespace

TEST_F(LiveGraph, FfmpegsRtpStreamReachesTheRendererFrameByFrameInItsOwnPool)
{
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsNetworkSourceFilter>(StartRtpPeer()));
    ASSERT_NO_FATAL_FAILURE(Run());
    // Past the end of the file: the loop's first frames come again.
    ASSERT_TRUE(renderer->WaitForSamples(60, kFlowMs));
    ASSERT_TRUE(FinishesWithin(kStateMs, [&] { graph.Stop(); }));
    const std::vector<RenderedSample> samples = renderer->Samples();
    const int first = FrameOf(samples[0]);
    ASSERT_NE(-1, first) << "the first frame is not one ffmpeg sent";
    ExpectFfmpegFramesUncopied(samples, static_cast<size_t>(first));
    graph.DrainEvents();
    EXPECT_EQ(1, graph.CountEvents(EC_V77_STREAM_EVENT_1)) << "frames started flowing once";
}

TEST_F(LiveGraph, ThePythonServersStreamReachesTheRendererFrameByFrameAndEndsWithAnEvent)
{
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsTcpSourceFilter>(StartTcpPeer("")));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_TRUE(graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowMs)) << "the server closed: the stream ends";
    // The last frame has no start code after it and may be cut: not handed out.
    ASSERT_TRUE(renderer->WaitForSamples(49, kFlowMs));
    ASSERT_TRUE(FinishesWithin(kStateMs, [&] { graph.Stop(); }));
    const std::vector<RenderedSample> samples = renderer->Samples();
    ASSERT_EQ(49u, samples.size());
    ExpectFfmpegFramesUncopied(samples, 0);
}

TEST_F(LiveGraph, AServerThatClosesMidFrameStallsOrDiesEndsTheStreamAndStopNeverWaitsForIt)
{
    size_t head = 0;
    for (int i = 0; i < 30; ++i)
        head += reference[i].size;
    // Closes in the middle of frame 30: frames 0..29 arrive, then the event.
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsTcpSourceFilter>(StartTcpPeer("--cut " + std::to_string(head + reference[30].size / 2))));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_TRUE(graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowMs));
    ASSERT_TRUE(renderer->WaitForSamples(30, kFlowMs));
    EXPECT_TRUE(FinishesWithin(1000, [&] { graph.Stop(); }));
    ExpectFfmpegFramesUncopied(renderer->Samples(), 0);
    EXPECT_EQ(30u, renderer->SampleCount());
    ASSERT_NO_FATAL_FAILURE(Again());

    // Stalls after 30 whole frames: with a 400 ms silence time the stream
    // ends; before it, Stop and the source's release return at once.
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsTcpSourceFilter>(StartTcpPeer("--stall " + std::to_string(head))));
    ComPtr<IV77TcpReceiver> tcp = Query<IV77TcpReceiver>(source.Get(), IID_IV77TcpReceiver);
    ASSERT_TRUE(tcp);
    ASSERT_EQ(S_OK, tcp->Configure(0, 0.0, 400));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_TRUE(graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowMs)) << "a silent server ends the stream";
    EXPECT_EQ(29u, renderer->SampleCount()) << "frame 29 waits for a start code that never comes";
    EXPECT_TRUE(FinishesWithin(1000, [&] { graph.Stop(); }));
    ASSERT_EQ(S_OK, tcp->Configure(0, 0.0, 60000));
    ASSERT_EQ(S_OK, graph.RunAndWait(kStateMs));  // reconnects: the server stalls again, silently
    ASSERT_TRUE(renderer->WaitForSamples(29 + 29, kFlowMs));
    EXPECT_TRUE(FinishesWithin(1000, [&] { graph.Stop(); })) << "Stop waits for a stalled socket";
    EXPECT_TRUE(FinishesWithin(kStateMs, [&] { graph.Release(); })) << "Close waits for a stalled socket";
    ASSERT_NO_FATAL_FAILURE(Again());

    // A server that dies while streaming.
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsTcpSourceFilter>(StartTcpPeer("--loop")));
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_TRUE(renderer->WaitForSamples(20, kFlowMs));
    peer->Stop();
    ASSERT_TRUE(graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowMs)) << "a dead server ends the stream";
    EXPECT_TRUE(FinishesWithin(1000, [&] { graph.Stop(); }));
    EXPECT_TRUE(FinishesWithin(kStateMs, [&] { graph.Release(); }));
}

TEST_F(LiveGraph, TwoHundredStateCyclesOfAnRtpGraphLeakNothing)
{
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsNetworkSourceFilter>(StartRtpPeer()));
    CyclesLeakNothing();
}

TEST_F(LiveGraph, TwoHundredStateCyclesOfATcpGraphLeakNothing)
{
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsTcpSourceFilter>(StartTcpPeer("--loop")));
    CyclesLeakNothing();
}

TEST_F(LiveGraph, StopReturnsWhileTheRtpReceiverWaitsForAnExhaustedPool)
{
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsNetworkSourceFilter>(StartRtpPeer()));
    StopWithThePoolExhausted();
}

TEST_F(LiveGraph, StopReturnsWhileTheTcpReceiverWaitsForAnExhaustedPool)
{
    ASSERT_NO_FATAL_FAILURE(Build<CV77DsTcpSourceFilter>(StartTcpPeer("--loop")));
    StopWithThePoolExhausted();
}
