// The RTP receiver on ffmpeg's RTP stream (recorded datagrams replayed to a
// free loopback port): every frame's bytes against ffmpeg's framecrc, in
// order; loss, reordering, duplicates, garbage and an oversized frame; SDP
// files missing or malformed; a silent sender.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "tests/live/LiveTestSupport.h"

#include <dvdmedia.h>
#include "v77/V77Guids.h"

using namespace live;

namespace {

constexpr DWORD kBuffer = 256 * 1024;
using Datagrams = std::vector<std::vector<uint8_t>>;

// Index of the first datagram of each frame (a frame ends at a marker).
std::vector<size_t> FrameStarts(const Datagrams& datagrams)
{
    std::vector<size_t> starts{0};
    for (size_t i = 0; i + 1 < datagrams.size(); ++i) {
        if (datagrams[i][1] & 0x80)
            starts.push_back(i + 1);
    }
    return starts;
}

class NetworkReceiver : public LiveTest {
protected:
    void SetUp() override
    {
        LiveTest::SetUp();
        reference = ReadFrameCrc("mpeg4.crc");
        ASSERT_EQ(50u, reference.size());
        receiver = NewReceiver(CLSID_V77NetworkReceiver);
        ASSERT_TRUE(receiver);
    }
    void TearDown() override
    {
        receiver.Reset();
        LiveTest::TearDown();
    }

    // Opens on replay's SDP, streams, sends datagrams, waits for the frames
    // expected and then until the receiver has been quiet a while. (The
    // receiver may still be working through what was sent for longer than
    // that quiet time under load: 4.8 MB of an oversized frame, say.)
    std::vector<ReceivedFrame> Receive(CRtpReplay& replay, const Datagrams& datagrams, CTestEvents* events,
                                       size_t expected)
    {
        CBstr sdp(replay.SdpPath());
        EXPECT_EQ(S_OK, receiver->Open(sdp, nullptr, 0, 0, events));
        EXPECT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
        replay.Send(datagrams);
        events->WaitUntil([&] { return events->FrameCount() >= expected; }, 20000);
        size_t count = 0;
        do {
            count = events->FrameCount();
        } while (events->WaitUntil([&] { return events->FrameCount() != count; }, 500));
        EXPECT_EQ(S_OK, receiver->SetStreaming(0, 0));
        EXPECT_EQ(S_OK, receiver->Close());
        return events->Frames();
    }

    std::vector<Reference> reference;
    CRef<IV77LiveReceiver> receiver;
};

}  // namespace

TEST_F(NetworkReceiver, ReassemblesEveryFrameFfmpegSentWithItsConfigInTheMediaType)
{
    CRtpReplay replay("rtp-config");
    ASSERT_EQ(50u, FrameStarts(replay.Datagrams()).size());
    CTestEvents events(kBuffer, 8);
    CBstr sdp(replay.SdpPath());
    ASSERT_EQ(S_OK, receiver->Open(sdp, nullptr, 0, 0, &events));
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, receiver->GetSourceInformation(&info));
    EXPECT_EQ(176, info.Width);
    EXPECT_EQ(144, info.Height);
    EXPECT_EQ(static_cast<DWORD>(MAKEFOURCC('D', 'X', '5', '0')), info.Compression);
    EXPECT_EQ(400000, info.AvgTimePerFrame);
    AM_MEDIA_TYPE mt = {};
    ASSERT_EQ(S_OK, receiver->GetMediaType(&mt));
    EXPECT_EQ(MEDIASUBTYPE_V77_DX50, mt.subtype);
    // The SDP's config= (VOS, VO, VOL, user data) follows the header.
    const BYTE* config = mt.pbFormat + sizeof(VIDEOINFOHEADER2);
    ASSERT_GT(mt.cbFormat, sizeof(VIDEOINFOHEADER2) + 4);
    EXPECT_EQ(0xB0, config[3]);
    CoTaskMemFree(mt.pbFormat);
    EXPECT_EQ(S_OK, receiver->Close());

    const std::vector<ReceivedFrame> frames = Receive(replay, replay.Datagrams(), &events, 50);
    ASSERT_EQ(50u, frames.size());
    const std::vector<int> ids = Identify(frames, reference);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(static_cast<int>(i), ids[i]);
        EXPECT_EQ(reference[i].key, frames[i].sync) << i;
        EXPECT_EQ(i == 0, frames[i].discontinuity) << i;
        EXPECT_EQ(0u, frames[i].typeFlags) << i;
    }
    EXPECT_EQ(1, events.EventsA());
    double average = 0;
    EXPECT_EQ(S_OK, receiver->GetAverageFrameSize(&average));
    EXPECT_GT(average, 100.0);
}

TEST_F(NetworkReceiver, WithoutConfigInTheSdpOpenWaitsForTheInBandVol)
{
    CRtpReplay replay("rtp-inband");
    CTestEvents events(kBuffer, 8);
    CBstr sdp(replay.SdpPath());
    // The sender starts after Open began; Open returns once a key frame
    // brought its VOL, and frames flow from the next key frame on.
    std::thread sender([&] {
        Sleep(300);
        replay.Send(replay.Datagrams(), 1);
    });
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = receiver->Open(sdp, nullptr, 0, 0, &events);
    const double openMs = ElapsedMs(start);
    ASSERT_EQ(S_OK, hr);
    EXPECT_GT(openMs, 250.0);
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, receiver->GetSourceInformation(&info));
    EXPECT_EQ(176, info.Width);
    EXPECT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    sender.join();
    events.WaitUntil([&] { return events.FrameCount() > 0; }, 20000);
    events.WaitUntil([&] { return false; }, 300);
    EXPECT_EQ(S_OK, receiver->Close());
    const std::vector<ReceivedFrame> frames = events.Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(frames[0].sync);
    EXPECT_TRUE(frames[0].discontinuity);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_FALSE(frames[i].discontinuity);
}

TEST_F(NetworkReceiver, LossDropsFramesUpToTheNextKeyFrameWhichCarriesTheLossStatus)
{
    CRtpReplay replay("rtp-config");
    Datagrams datagrams = replay.Datagrams();
    const std::vector<size_t> starts = FrameStarts(datagrams);
    // Frame 12 (a P-frame) loses its first packet.
    datagrams.erase(datagrams.begin() + static_cast<std::ptrdiff_t>(starts[12]));
    CTestEvents events(kBuffer, 8);
    const std::vector<ReceivedFrame> frames = Receive(replay, datagrams, &events, 42);
    const std::vector<int> ids = Identify(frames, reference);
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i) {
        if (i < 12 || i >= 20)
            expected.push_back(i);
    }
    EXPECT_EQ(expected, ids);
    for (size_t i = 0; i < frames.size(); ++i) {
        const bool afterLoss = ids[i] == 20;
        EXPECT_EQ(ids[i] == 0 || afterLoss, frames[i].discontinuity) << ids[i];
        EXPECT_EQ(afterLoss ? 0x00080000u : 0u, frames[i].typeFlags) << ids[i];
    }
}

TEST_F(NetworkReceiver, ReorderingDuplicatesAndGarbageLoseNoFrame)
{
    CRtpReplay replay("rtp-config");
    const Datagrams& original = replay.Datagrams();
    std::mt19937 random(11);
    Datagrams mixed;
    for (size_t i = 0; i < original.size(); ++i) {
        mixed.push_back(original[i]);
        if (i % 4 == 1 && i > 4)  // the first packet received starts the sequence
            std::swap(mixed[mixed.size() - 1], mixed[mixed.size() - 2]);
        if (i % 6 == 2)
            mixed.push_back(original[i]);
        if (i % 5 == 3) {
            // Not RTP (version 0), or RTP of another payload type. Random
            // bytes that claim our payload type under another SSRC would be
            // a new sender, and rightly restart the stream.
            std::vector<uint8_t> junk(1 + random() % 300);
            for (auto& b : junk)
                b = static_cast<uint8_t>(random());
            junk[0] &= 0x3F;
            mixed.push_back(junk);
            std::vector<uint8_t> other = original[i];
            other[1] = static_cast<uint8_t>((other[1] & 0x80) | 97);
            mixed.push_back(other);
        }
    }
    CTestEvents events(kBuffer, 8);
    const std::vector<ReceivedFrame> frames = Receive(replay, mixed, &events, 50);
    ASSERT_EQ(50u, frames.size());
    const std::vector<int> ids = Identify(frames, reference);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(static_cast<int>(i), ids[i]);
}

TEST_F(NetworkReceiver, AnOversizedFrameIsDroppedAndTheStreamResumesAtAKeyFrame)
{
    CRtpReplay replay("rtp-config");
    const Datagrams& original = replay.Datagrams();
    const std::vector<size_t> starts = FrameStarts(original);
    // Between frames 4 and 5: 80 packets of 60000 bytes with one timestamp, a
    // single frame of 4.8 MB, more than the receiver takes.
    Datagrams datagrams(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(starts[5]));
    std::vector<uint8_t> header(original[starts[5]].begin(), original[starts[5]].begin() + 12);
    uint16_t sequence = static_cast<uint16_t>((header[2] << 8) | header[3]);
    for (int i = 0; i < 80; ++i) {
        std::vector<uint8_t> big(header);
        big[1] = static_cast<uint8_t>((big[1] & 0x7F) | (i == 79 ? 0x80 : 0));
        big[2] = static_cast<uint8_t>(sequence >> 8);
        big[3] = static_cast<uint8_t>(sequence);
        big[7] ^= 0x55;  // a timestamp of its own
        ++sequence;
        big.resize(60012, 0x11);
        datagrams.push_back(big);
    }
    for (size_t i = starts[5]; i < original.size(); ++i) {
        std::vector<uint8_t> d = original[i];
        const uint16_t s = static_cast<uint16_t>(sequence++);
        d[2] = static_cast<uint8_t>(s >> 8);
        d[3] = static_cast<uint8_t>(s);
        datagrams.push_back(d);
    }
    CTestEvents events(kBuffer, 8);
    const std::vector<ReceivedFrame> frames = Receive(replay, datagrams, &events, 45);
    const std::vector<int> ids = Identify(frames, reference);
    ASSERT_EQ(45u, ids.size());  // 0..4, then 10..49
    EXPECT_EQ(4, ids[4]);
    EXPECT_EQ(10, ids[5]);
    EXPECT_TRUE(frames[5].discontinuity);
    EXPECT_EQ(49, ids.back());
}

TEST_F(NetworkReceiver, MissingOrMalformedSdpAndASilentSender)
{
    CTestEvents events(kBuffer, 4);
    CBstr missing(InputW("no-such.sdp"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), receiver->Open(missing, nullptr, 0, 0, &events));
    CBstr malformed(InputW("malformed.sdp"));
    EXPECT_EQ(VFW_E_INVALID_FILE_FORMAT, receiver->Open(malformed, nullptr, 0, 0, &events));
    CBstr binary(InputW("mpeg4.avi"));
    EXPECT_EQ(VFW_E_INVALID_FILE_FORMAT, receiver->Open(binary, nullptr, 0, 0, &events));
    EXPECT_EQ(S_FALSE, receiver->IsOpen());

    // No config= and nobody sending: Open gives up after its bounded wait.
    CRtpReplay inband("rtp-inband");
    CBstr sdp(inband.SdpPath());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VFW_E_TIMEOUT, receiver->Open(sdp, nullptr, 0, 0, &events));
    EXPECT_LT(ElapsedMs(start), 8000.0);

    // A sender that stops: stream event B after the silence time, A again
    // when it is back.
    CRtpReplay replay("rtp-config");
    CBstr configured(replay.SdpPath());
    ASSERT_EQ(S_OK, receiver->Open(configured, nullptr, 0, 0, &events));
    ASSERT_EQ(S_OK, receiver->SetTimeParameter(3000000));  // 0.3 s
    ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    replay.Send(replay.Datagrams());
    ASSERT_TRUE(events.WaitUntil([&] { return events.EventsB() == 1; }, 5000));
    EXPECT_EQ(1, events.EventsA());
    EXPECT_EQ(S_FALSE, receiver->IsOpen());
    // The sender carries on after its pause: later sequence numbers.
    Datagrams later = replay.Datagrams();
    for (auto& d : later) {
        const uint16_t s = static_cast<uint16_t>(((d[2] << 8) | d[3]) + later.size());
        d[2] = static_cast<uint8_t>(s >> 8);
        d[3] = static_cast<uint8_t>(s);
    }
    replay.Send(later);
    EXPECT_TRUE(events.WaitUntil([&] { return events.EventsA() == 2; }, 5000));
    EXPECT_EQ(S_OK, receiver->IsOpen());
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(S_OK, receiver->SetStreaming(0, 0));
    EXPECT_EQ(S_OK, receiver->Close());
    EXPECT_LT(ElapsedMs(start), 1000.0);
}
