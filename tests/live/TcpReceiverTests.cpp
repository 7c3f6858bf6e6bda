// The TCP receiver reading ffmpeg's MPEG-4 elementary stream from a loopback
// server: every frame against ffmpeg's framecrc; a peer that closes in the
// middle of a frame, sends garbage, or is not there. (Stalled and dead peers
// are checked in the graph, by LiveGraphTests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>

#include "tests/live/LiveTestSupport.h"
#include "v77/V77Guids.h"

using namespace live;

namespace {

constexpr DWORD kBuffer = 256 * 1024;

class TcpReceiver : public LiveTest {
protected:
    void SetUp() override
    {
        LiveTest::SetUp();
        reference = ReadFrameCrc("mpeg4.crc");
        stream = ReadBytes(Input("mpeg4.m4v"));
        ASSERT_EQ(50u, reference.size());
        size_t total = 0;
        for (const Reference& r : reference)
            total += r.size;
        ASSERT_EQ(total, stream.size()) << "the stream is the AVI's packets back to back";
        receiver = NewReceiver(CLSID_V77TcpReceiver);
        ASSERT_TRUE(receiver);
    }
    void TearDown() override
    {
        receiver.Reset();
        LiveTest::TearDown();
    }

    // Streams from peer until stream event B; returns the frames.
    std::vector<ReceivedFrame> ReceiveAll(CTcpPeer& peer, CTestEvents* events)
    {
        CBstr address(peer.Address());
        EXPECT_EQ(S_OK, receiver->Open(address, nullptr, 0, 0, events));
        EXPECT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
        EXPECT_TRUE(events->WaitUntil([&] { return events->EventsB() > 0; }, 10000));
        EXPECT_EQ(S_OK, receiver->Close());
        return events->Frames();
    }

    std::vector<Reference> reference;
    std::vector<uint8_t> stream;
    CRef<IV77LiveReceiver> receiver;
};

}  // namespace

TEST_F(TcpReceiver, SplitsEveryFrameOfTheStreamAndEndsWhenThePeerCloses)
{
    CTcpPeer peer([&](SOCKET s, const std::atomic<bool>&) {
        // Odd-sized writes: frames straddle them.
        for (size_t at = 0; at < stream.size(); at += 997)
            SendAll(s, stream.data() + at, std::min<size_t>(997, stream.size() - at));
    });
    CTestEvents events(kBuffer, 8);
    CBstr address(peer.Address());
    ASSERT_EQ(S_OK, receiver->Open(address, nullptr, 0, 0, &events));
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, receiver->GetSourceInformation(&info));
    EXPECT_EQ(176, info.Width);
    EXPECT_EQ(144, info.Height);
    EXPECT_EQ(400000, info.AvgTimePerFrame) << "from the VOP times, 25 a second";
    EXPECT_EQ(static_cast<DWORD>(MAKEFOURCC('D', 'X', '5', '0')), info.Compression);
    ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    ASSERT_TRUE(events.WaitUntil([&] { return events.EventsB() > 0; }, 10000));
    EXPECT_EQ(S_FALSE, receiver->IsOpen());
    EXPECT_EQ(S_OK, receiver->Close());
    // The last frame has no start code after it: at the close it may be
    // cut short, so it is not handed out.
    const std::vector<ReceivedFrame> frames = events.Frames();
    ASSERT_EQ(49u, frames.size());
    const std::vector<int> ids = Identify(frames, reference);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(static_cast<int>(i), ids[i]);
        EXPECT_EQ(reference[i].key, frames[i].sync) << i;
        EXPECT_EQ(i == 0, frames[i].discontinuity) << i;
    }
    EXPECT_EQ(1, events.EventsA());
}

TEST_F(TcpReceiver, ConfiguredFrameRateAndAddressesThatCannotWork)
{
    CRef<IV77TcpReceiver> tcp;
    ASSERT_EQ(S_OK, receiver->QueryInterface(IID_IV77TcpReceiver, tcp.OutVoid()));
    EXPECT_EQ(E_INVALIDARG, tcp->Configure(0, -1.0, 0));
    EXPECT_EQ(E_INVALIDARG, tcp->Configure(0, 5000.0, 0));
    ASSERT_EQ(S_OK, tcp->Configure(0, 10.0, 0));
    {
        CTcpPeer peer([&](SOCKET s, const std::atomic<bool>&) { SendAll(s, stream.data(), stream.size()); });
        CTestEvents events(kBuffer, 8);
        CBstr address(peer.Address());
        ASSERT_EQ(S_OK, receiver->Open(address, nullptr, 0, 0, &events));
        SOURCE_INFORMATION info = {};
        ASSERT_EQ(S_OK, receiver->GetSourceInformation(&info));
        EXPECT_EQ(1000000, info.AvgTimePerFrame) << "the VOL has no fixed rate: the configured one counts";
        EXPECT_EQ(S_OK, receiver->Close());
    }
    CTestEvents events(kBuffer, 4);
    for (const wchar_t* bad : {L"", L"127.0.0.1", L"127.0.0.1:", L":80", L"127.0.0.1:0", L"127.0.0.1:99999",
                               L"127.0.0.1:12ab"}) {
        CBstr address(bad);
        EXPECT_EQ(E_INVALIDARG, receiver->Open(address, nullptr, 0, 0, &events)) << bad;
    }
    const auto start = std::chrono::steady_clock::now();
    CBstr nobody(L"127.0.0.1:" + std::to_wstring(FreePort(SOCK_STREAM)));
    EXPECT_TRUE(FAILED(receiver->Open(nobody, nullptr, 0, 0, &events)));
    EXPECT_LT(ElapsedMs(start), 5000.0);
    EXPECT_EQ(S_FALSE, receiver->IsOpen());
}

TEST_F(TcpReceiver, APeerClosingMidFrameOrSendingGarbage)
{
    // Closes in the middle of frame 30: frames 0..28 arrive whole, frame 29
    // is followed by a cut-short frame and ends with it.
    size_t cut = 0;
    for (int i = 0; i < 30; ++i)
        cut += reference[i].size;
    cut += reference[30].size / 2;
    {
        CTcpPeer peer([&](SOCKET s, const std::atomic<bool>&) { SendAll(s, stream.data(), cut); });
        CTestEvents events(kBuffer, 8);
        const std::vector<ReceivedFrame> frames = ReceiveAll(peer, &events);
        const std::vector<int> ids = Identify(frames, reference);
        ASSERT_EQ(30u, ids.size());
        for (size_t i = 0; i < ids.size(); ++i)
            EXPECT_EQ(static_cast<int>(i), ids[i]);
    }
    // Garbage in front of the stream is skipped.
    {
        std::vector<uint8_t> noisy;
        noisy.reserve(5000 + stream.size());
        noisy.resize(5000, 0xA5);
        std::copy(stream.begin(), stream.end(), std::back_inserter(noisy));
        CTcpPeer peer([&](SOCKET s, const std::atomic<bool>&) { SendAll(s, noisy.data(), noisy.size()); });
        CTestEvents events(kBuffer, 8);
        const std::vector<ReceivedFrame> frames = ReceiveAll(peer, &events);
        EXPECT_EQ(49u, frames.size());
        for (int id : Identify(frames, reference))
            EXPECT_NE(-1, id);
    }
    // Nothing but garbage: Open fails after its bounded wait.
    {
        std::vector<uint8_t> junk(200000);
        for (size_t i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<uint8_t>(i * 7 + 3) | 0x80;
        CTcpPeer peer([&](SOCKET s, const std::atomic<bool>& stop) {
            SendAll(s, junk.data(), junk.size());
            while (!stop)
                Sleep(10);
        });
        CTestEvents events(kBuffer, 4);
        CBstr address(peer.Address());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(VFW_E_INVALID_FILE_FORMAT, receiver->Open(address, nullptr, 0, 0, &events));
        EXPECT_LT(ElapsedMs(start), 6000.0);
    }
}
