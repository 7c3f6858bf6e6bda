// The audio filters chained in Wine's filter graph between Python peers:
// UDP sender -> UDP audio source -> audio mute -> TCP audio renderer -> TCP
// channel -> TCP receiver, and the reverse path through the TCP audio source.
// Byte-exact while not muted, zeros while muted (and sox hears the tone);
// bounded Stop with a peer that stopped reading; 200 Stop/Run cycles.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <uuids.h>
#include <algorithm>

#include "audio/CAudioMuteFilter.h"
#include "audio/CV77TcpAudioRendererFilter.h"
#include "audio/CV77TcpAudioSourceFilter.h"
#include "audio/CV77UdpAudioSourceFilter.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/CUnixPeer.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/CTestSource.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/RunStopCycles.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestMediaTypes.h"
#include "tests/kit/TestWait.h"

namespace {

constexpr LONG kBlock = 1024;

class AudioChain : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, graph.Create()); }

    // Mute and TCP renderer, the renderer sending through a channel connected to a Python receiver.
    void BuildTail(IBaseFilter* upstream)
    {
        mute = MakeFilter(CAudioMuteFilter::CreateInstance);
        renderer = MakeFilter(CV77TcpAudioRendererFilter::CreateInstance);
        ASSERT_EQ(S_OK, mute.As(&muteControl));
        ASSERT_TRUE(receiver.Start("tcp-recv --out " + receiver.File(".out")));
        const int port = receiver.WaitPort();
        ASSERT_NE(0, port);
        sendChannel = MakeChannel();
        ASSERT_TRUE(sendChannel);
        ASSERT_EQ(S_OK, sendChannel->Connect(static_cast<DWORD>(port)));
        ComPtr<IV77DsTCPAudioRenderer> control;
        ASSERT_EQ(S_OK, renderer.As(&control));
        ASSERT_EQ(S_OK, control->SetChannel(sendChannel.Get()));
        ASSERT_EQ(S_OK, graph.Add(mute.Get(), L"mute"));
        ASSERT_EQ(S_OK, graph.Add(renderer.Get(), L"tcp renderer"));
        ASSERT_EQ(S_OK, graph.ConnectFilters(upstream, mute.Get()));
        ASSERT_EQ(S_OK, graph.ConnectFilters(mute.Get(), renderer.Get()));
    }

    void BuildUdpHead(LONG buffers)
    {
        udp = MakeFilter(CV77UdpAudioSourceFilter::CreateInstance);
        ComPtr<IV77DsUdpAudioSource> control;
        ASSERT_EQ(S_OK, udp.As(&control));
        AM_MEDIA_TYPE mt = {};
        ASSERT_EQ(S_OK, control->OpenChannel(&mt, 0));
        FreeMediaType(mt);
        udpPort = FreeLoopbackPort(SOCK_DGRAM);
        ASSERT_EQ(S_OK, control->UdpMethod16(0, static_cast<DWORD>(udpPort)));
        ComPtr<IAMBufferNegotiation> negotiation;
        ASSERT_EQ(S_OK, OutputPin(udp.Get()).As(&negotiation));
        ALLOCATOR_PROPERTIES props = {buffers, kBlock, 1, 0};
        ASSERT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&props));
        ASSERT_EQ(S_OK, graph.Add(udp.Get(), L"udp"));
        BuildTail(udp.Get());
    }

    ComPtr<IBaseFilter> BuildTcpHead()
    {
        auto source = MakeFilter(CV77TcpAudioSourceFilter::CreateInstance);
        ComPtr<IAMStreamConfig> config;
        EXPECT_EQ(S_OK, OutputPin(source.Get()).As(&config));
        CMediaType mt = MakeTestAudioType(8000);
        EXPECT_EQ(S_OK, config->SetFormat(&mt));
        // Frame-sized buffers, fewer than the source's queue trims at: nothing is lost.
        ComPtr<IAMBufferNegotiation> negotiation;
        EXPECT_EQ(S_OK, OutputPin(source.Get()).As(&negotiation));
        ALLOCATOR_PROPERTIES props = {8, 320, 1, 0};
        EXPECT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&props));
        EXPECT_EQ(S_OK, graph.Add(source.Get(), L"tcp source"));
        BuildTail(source.Get());
        return source;
    }

    // A Python TCP sender of these bytes, and a channel from it delivering to source.
    ComPtr<IV77TCPChannel> ReceiveFromTcpSender(CUnixPeer& sender, IBaseFilter* source, const std::string& bytes,
                                                const std::string& options)
    {
        const std::string file = sender.File(".pcm");
        WriteUnixFile(file, bytes);
        EXPECT_TRUE(sender.Start("tcp-send --file " + file + " --chunk 320 " + options));
        const int port = sender.WaitPort();
        EXPECT_NE(0, port);
        auto channel = MakeChannel();
        // Events first: frames that arrive with nobody to take them are dropped.
        EXPECT_EQ(S_OK, channel->SetDataEvents(source));
        EXPECT_EQ(S_OK, channel->Connect(static_cast<DWORD>(port)));
        return channel;
    }

    // Stop (and whatever else) returns within a second.
    template <typename Call>
    static void ExpectPrompt(Call call)
    {
        const ULONGLONG t0 = NowMs();
        EXPECT_EQ(S_OK, call());
        EXPECT_LT(NowMs() - t0, 1000u);
    }
    void ExpectPromptStop()
    {
        ExpectPrompt([this] { return graph.StopAndWait(1000); });
    }

    // 200 Run/Stop cycles while data flows: every Stop prompt, no object left behind.
    void CycleTwoHundredTimes()
    {
        ASSERT_NO_FATAL_FAILURE(ExpectPromptRunStopCycles(graph, 200));
        EXPECT_GT(Received(), 0u);
    }

    // Bytes the receiver has written so far.
    size_t Received() { return ReadBinaryFile(receiver.File(".out")).size(); }

    void SendUdp(const std::string& bytes, const std::string& name)
    {
        const std::string file = AudioWorkDir() + "/" + name + ".pcm";
        WriteUnixFile(file, bytes);
        CUnixPeer sender(name);
        ASSERT_TRUE(sender.Start("udp-send --port " + std::to_string(udpPort) + " --file " + file +
                                 " --sizes 320 --interval-ms 1"));
        ASSERT_NE("", sender.WaitDone(20000));
    }

    CComInit com;
    TestGraph graph;
    CUnixPeer receiver{"tcp-recv"};
    ComPtr<IBaseFilter> udp, mute, renderer;
    ComPtr<IV77AudioMute> muteControl;
    ComPtr<IV77TCPChannel> sendChannel;
    int udpPort = 0;
};

TEST_F(AudioChain, UdpToTcpIsByteExactUnmutedAndSilentAfterTheMuteIsSwitchedOn)
{
    BuildUdpHead(8);
    const std::string tone = TonePcm();
    const std::string sine = tone.substr(0, 16 * kBlock);
    const std::string noise = tone.substr(tone.size() / 2, 16 * kBlock);
    ASSERT_EQ(S_OK, graph.RunAndWait());
    SendUdp(sine, "udp-sine");
    ASSERT_TRUE(WaitUntil([&] { return Received() >= sine.size(); }, 5000)) << Received();
    ASSERT_EQ(S_OK, muteControl->SetMute(TRUE));
    SendUdp(noise, "udp-noise");
    ASSERT_TRUE(WaitUntil([&] { return Received() >= sine.size() + noise.size() - kBlock; }, 5000)) << Received();
    ExpectPromptStop();

    const std::string out = ReadBinaryFile(receiver.File(".out"));
    ASSERT_GE(out.size(), sine.size());
    EXPECT_TRUE(out.substr(0, sine.size()) == sine) << "the unmuted part arrives byte for byte";
    const std::string muted = out.substr(sine.size());
    EXPECT_EQ(std::string(muted.size(), '\0'), muted) << "everything after the switch is silence";
    EXPECT_GE(muted.size(), noise.size() - kBlock);

    WriteUnixFile(receiver.File(".unmuted"), out.substr(0, sine.size()));
    WriteUnixFile(receiver.File(".muted"), muted);
    const SoxStat heard = MeasureWithSox(receiver.File(".unmuted"));
    ASSERT_TRUE(heard.valid);
    EXPECT_NEAR(440.0, heard.frequency, 25.0);
    EXPECT_GT(heard.rms, 0.05);
    const SoxStat silence = MeasureWithSox(receiver.File(".muted"));
    ASSERT_TRUE(silence.valid);
    EXPECT_EQ(0.0, silence.rms);
}

TEST_F(AudioChain, TcpSourceChainIsByteExactAndSurvivesABadLengthFromThePeer)
{
    auto source = BuildTcpHead();
    ASSERT_EQ(S_OK, graph.RunAndWait());

    const std::string input = TonePcm().substr(0, 32000);
    CUnixPeer sender("tcp-send");
    // Paced like a live peer (still ten times real time): the chain's queues
    // drop frames rather than block when a stage falls behind, so an unpaced
    // burst of 100 frames on a loaded machine loses some.
    auto receiveChannel = ReceiveFromTcpSender(sender, source.Get(), input, "--interval-ms 2 --bad-length");
    ASSERT_TRUE(WaitUntil([&] { return Received() >= input.size(); }, 10000)) << Received();
    // The corrupt header after the last frame ends the connection, not the graph.
    ASSERT_TRUE(WaitUntil([&] {
        DWORD received = 0;
        receiveChannel->GetStatistics(nullptr, &received, nullptr);
        return received == 100;
    }, 3000));
    EXPECT_TRUE(ReadBinaryFile(receiver.File(".out")) == input);
    OAFilterState state;
    EXPECT_EQ(S_OK, graph.GetState(0, &state));
    EXPECT_EQ(State_Running, state);
    ExpectPromptStop();
    EXPECT_EQ(S_OK, receiveChannel->SetDataEvents(nullptr));
    EXPECT_EQ(S_OK, receiveChannel->Close());
}

TEST_F(AudioChain, APeerClosingMidFrameNeitherHangsNorDeliversTheCutFrame)
{
    auto source = BuildTcpHead();
    ASSERT_EQ(S_OK, graph.RunAndWait());
    const std::string input = TonePcm().substr(0, 3200);
    CUnixPeer sender("tcp-cut");
    auto receiveChannel = ReceiveFromTcpSender(sender, source.Get(), input, "--close-mid");
    ASSERT_NE("", sender.WaitDone(10000));
    ASSERT_TRUE(WaitUntil([&] { return Received() >= input.size(); }, 5000));
    Sleep(700);   // the peer closes 0.5 s after its cut frame
    EXPECT_TRUE(ReadBinaryFile(receiver.File(".out")) == input) << "the cut frame is not delivered";
    ExpectPromptStop();
    EXPECT_EQ(S_OK, receiveChannel->Close());
}

TEST_F(AudioChain, StopIsPromptWhileThePeerHasStoppedReading)
{
    TestSourceConfig sc;
    sc.mediaType = MakeTestAudioType();
    sc.frameCount = 100000;
    sc.frameBytes = 16000;
    sc.bufferSize = 16000;
    sc.timeStamps = false;
    auto source = Adopt(CTestSource::Create(sc));
    renderer = MakeFilter(CV77TcpAudioRendererFilter::CreateInstance);
    CUnixPeer stalled("tcp-stalled");
    ASSERT_TRUE(stalled.Start("tcp-recv --stop-reading --out " + stalled.File(".out")));
    auto channel = MakeChannel();
    ASSERT_EQ(S_OK, channel->Connect(static_cast<DWORD>(stalled.WaitPort())));
    ComPtr<IV77DsTCPAudioRenderer> control;
    ASSERT_EQ(S_OK, renderer.As(&control));
    ASSERT_EQ(S_OK, control->SetChannel(channel.Get()));
    ASSERT_EQ(S_OK, graph.Add(source->Filter(), L"src"));
    ASSERT_EQ(S_OK, graph.Add(renderer.Get(), L"tcp renderer"));
    ASSERT_EQ(S_OK, graph.ConnectFilters(source->Filter(), renderer.Get()));
    ASSERT_EQ(S_OK, graph.RunAndWait());
    DWORD dropped = 0;
    ASSERT_TRUE(WaitUntil([&] {
        channel->GetStatistics(nullptr, nullptr, &dropped);
        return dropped > 100;
    }, 10000)) << "the socket buffers fill, then frames are dropped instead of blocking";
    ExpectPromptStop();
    ExpectPrompt([&] { return channel->Close(); });
}

TEST_F(AudioChain, TwoHundredStopRunCyclesWithDataFlowingLeakNothing)
{
    BuildUdpHead(4);
    const std::string file = AudioWorkDir() + "/udp-cycles.pcm";
    WriteUnixFile(file, TonePcm());
    CUnixPeer sender("udp-cycles");
    ASSERT_TRUE(sender.Start("udp-send --port " + std::to_string(udpPort) + " --file " + file +
                             " --sizes 320 --interval-ms 2"));
    CycleTwoHundredTimes();
}

TEST_F(AudioChain, TwoHundredStopRunCyclesOfTheTcpSourcePathLeakNothing)
{
    auto source = BuildTcpHead();
    CUnixPeer sender("tcp-cycles");
    auto receiveChannel = ReceiveFromTcpSender(sender, source.Get(), TonePcm(), "--interval-ms 5");
    CycleTwoHundredTimes();
    ExpectPrompt([&] { return receiveChannel->Close(); });
}

}  // namespace
