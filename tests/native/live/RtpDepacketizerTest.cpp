// RTP parsing and MPEG-4 frame reassembly against ffmpeg's own RTP muxer:
// every frame handed out must be byte-identical (by ffmpeg's framecrc) to the
// packet ffmpeg sent, in order, whatever happens to the datagrams on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "companions/components/parsers/CV77Mpeg4Depacketizer.h"
#include "companions/components/parsers/CV77SdpReader.h"
#include "companions/components/parsers/Mpeg4Headers.h"
#include "companions/components/parsers/RtpPacket.h"
#include "tests/native/live/FfmpegPeer.h"

using namespace v77test;
using Datagrams = std::vector<std::vector<uint8_t>>;

namespace {

constexpr int kFrames = 50;
constexpr int kGop = 10;

struct Capture {
    std::vector<PacketCrc> reference;
    Datagrams datagrams;
    SdpVideoStream sdp;
};

// One ffmpeg run shared by the suite: encoding and sending take seconds.
const Capture& SharedCapture()
{
    static const Capture capture = [] {
        Capture c;
        TempDir dir;
        const std::string avi = dir.Path("in.avi");
        if (!MakeMpeg4Avi(avi, kFrames, kGop, "352x288"))
            return c;
        c.reference = FrameCrcs(avi);
        // A small payload size makes frames span several packets.
        c.datagrams = CaptureRtp("-i '" + avi + "'", dir.Path("s.sdp"), "-c copy -pkt_size 300");
        const std::vector<uint8_t> text = ReadFile(dir.Path("s.sdp"));
        CV77SdpReader reader;
        if (reader.Parse(reinterpret_cast<const char*>(text.data()), text.size()))
            c.sdp = reader.Stream();
        return c;
    }();
    return capture;
}

std::vector<Mpeg4Frame> Depacketize(const Datagrams& datagrams, size_t maxFrame = 1 << 20,
                                    DepacketizerStats* stats = nullptr)
{
    CV77Mpeg4Depacketizer depacketizer(SharedCapture().sdp.payloadType, maxFrame);
    std::vector<Mpeg4Frame> frames;
    for (const auto& d : datagrams)
        depacketizer.Push(d.data(), d.size(), &frames);
    depacketizer.Flush(&frames);
    if (stats)
        *stats = depacketizer.Stats();
    return frames;
}

// The index into the reference of each frame, or -1 for a frame ffmpeg never sent.
std::vector<int> Identify(const std::vector<Mpeg4Frame>& frames)
{
    const auto& reference = SharedCapture().reference;
    std::vector<int> indexes;
    size_t from = 0;
    for (const Mpeg4Frame& f : frames) {
        const uint32_t crc = Adler32(f.data.data(), f.data.size());
        int found = -1;
        for (size_t i = from; i < reference.size(); ++i) {
            if (reference[i].crc == crc && reference[i].size == f.data.size()) {
                found = static_cast<int>(i);
                from = i + 1;
                break;
            }
        }
        indexes.push_back(found);
    }
    return indexes;
}

uint16_t SequenceOf(const std::vector<uint8_t>& d) { return static_cast<uint16_t>((d[2] << 8) | d[3]); }

class RtpDepacketizer : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Capture& c = SharedCapture();
        ASSERT_EQ(size_t(kFrames), c.reference.size()) << "ffmpeg did not make the input";
        ASSERT_GT(c.datagrams.size(), size_t(kFrames)) << "frames should span several packets";
        ASSERT_EQ("MP4V-ES", c.sdp.encoding);
    }
};

}  // namespace

TEST_F(RtpDepacketizer, ReassemblesEveryFrameOfFfmpegsStreamInOrder)
{
    const auto frames = Depacketize(SharedCapture().datagrams);
    ASSERT_EQ(size_t(kFrames), frames.size());
    const auto ids = Identify(frames);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(i, ids[i]);
        EXPECT_EQ(SharedCapture().reference[i].key, frames[i].keyFrame) << i;
        EXPECT_EQ(i == 0, frames[i].discontinuity) << i;
    }
    // ffmpeg puts the VOL in front of key frames when the SDP carries no config.
    v77mpeg4::VolInfo vol;
    ASSERT_TRUE(v77mpeg4::FindVol(frames[0].data.data(), frames[0].data.size(), &vol));
    EXPECT_EQ(352u, vol.width);
    EXPECT_EQ(288u, vol.height);
}

TEST_F(RtpDepacketizer, LossDropsTheFrameAndWithholdsFramesUntilTheNextKeyFrame)
{
    Datagrams datagrams = SharedCapture().datagrams;
    // Lose the second packet of the 13th frame (a P-frame in the second GOP).
    size_t frameStart = 0;
    for (int frame = 0, i = 0; i < static_cast<int>(datagrams.size()); ++i) {
        if (frame == 12) {
            frameStart = static_cast<size_t>(i);
            break;
        }
        if (datagrams[i][1] & 0x80)
            ++frame;
    }
    ASSERT_FALSE(datagrams[frameStart][1] & 0x80) << "the frame should span several packets";
    datagrams.erase(datagrams.begin() + static_cast<std::ptrdiff_t>(frameStart) + 1);

    DepacketizerStats stats;
    const auto frames = Depacketize(datagrams, 1 << 20, &stats);
    const auto ids = Identify(frames);
    std::vector<int> expected;
    for (int i = 0; i < kFrames; ++i) {
        if (i < 12 || i >= 20)
            expected.push_back(i);
    }
    EXPECT_EQ(expected, ids);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(ids[i] == 0 || ids[i] == 20, frames[i].discontinuity) << ids[i];
    EXPECT_EQ(1u, stats.lostPackets);
    EXPECT_EQ(8u, stats.droppedFrames);
}

TEST_F(RtpDepacketizer, ReorderingDuplicatesAndGarbageChangeNothing)
{
    Datagrams datagrams = SharedCapture().datagrams;
    std::mt19937 random(7);
    // Swap neighbours, repeat some packets, and mix in foreign datagrams.
    for (size_t i = 1; i + 1 < datagrams.size(); i += 5)
        std::swap(datagrams[i], datagrams[i + 1]);
    Datagrams mixed;
    for (size_t i = 0; i < datagrams.size(); ++i) {
        mixed.push_back(datagrams[i]);
        if (i % 7 == 3)
            mixed.push_back(datagrams[i]);          // duplicate
        if (i % 11 == 5 && i > 3)
            mixed.push_back(datagrams[i - 3]);      // late repeat
        if (i % 9 == 4) {
            std::vector<uint8_t> junk(random() % 200);
            for (auto& b : junk)
                b = static_cast<uint8_t>(random());
            mixed.push_back(junk);                  // not RTP, or RTP of some payload type
        }
        if (i % 13 == 6) {
            std::vector<uint8_t> other = datagrams[i];
            other[1] = static_cast<uint8_t>((other[1] & 0x80) | 97);
            mixed.push_back(other);                 // another payload type
        }
    }
    DepacketizerStats stats;
    const auto frames = Depacketize(mixed, 1 << 20, &stats);
    const auto ids = Identify(frames);
    std::vector<int> all(kFrames);
    for (int i = 0; i < kFrames; ++i)
        all[i] = i;
    EXPECT_EQ(all, ids);
    EXPECT_EQ(0u, stats.lostPackets);
    EXPECT_GT(stats.duplicates, 0u);
    EXPECT_GT(stats.garbage, 0u);
}

TEST_F(RtpDepacketizer, SequenceWrapAndSenderRestart)
{
    Datagrams datagrams = SharedCapture().datagrams;
    const uint16_t first = SequenceOf(datagrams[0]);
    for (auto& d : datagrams) {
        const uint16_t s = static_cast<uint16_t>(SequenceOf(d) - first + 65500);
        d[2] = static_cast<uint8_t>(s >> 8);
        d[3] = static_cast<uint8_t>(s);
    }
    EXPECT_EQ(size_t(kFrames), Depacketize(datagrams).size());

    // A second sender (new SSRC) takes over: its stream is followed from its
    // first key frame, flagged as a discontinuity.
    Datagrams both = datagrams;
    for (auto d : datagrams) {
        d[8] ^= 0xFF;
        both.push_back(d);
    }
    const auto frames = Depacketize(both);
    ASSERT_EQ(size_t(2 * kFrames), frames.size());
    EXPECT_TRUE(frames[kFrames].discontinuity);
    EXPECT_TRUE(frames[kFrames].keyFrame);
}

TEST_F(RtpDepacketizer, OversizedFramesAreDroppedUntilTheNextKeyFrame)
{
    const auto& reference = SharedCapture().reference;
    const size_t limit = LargestKeyFrame(reference) - 1;
    DepacketizerStats stats;
    const auto frames = Depacketize(SharedCapture().datagrams, limit, &stats);
    const auto ids = Identify(frames);
    const std::vector<int> expected = ExpectedWithLimit(reference, limit);
    ASSERT_FALSE(expected.empty());
    ASSERT_LT(expected.size(), reference.size()) << "the limit should drop a GOP";
    EXPECT_EQ(expected, ids);
    EXPECT_TRUE(frames.front().discontinuity);
    EXPECT_GE(stats.oversizedFrames, 1u);
}

TEST(RtpPacketParser, RejectsMalformedHeaders)
{
    RtpPacket p;
    uint8_t good[16] = {0x80, 0xE0, 0x12, 0x34, 0, 0, 0, 9, 1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD};
    ASSERT_TRUE(ParseRtpPacket(good, sizeof good, &p));
    EXPECT_TRUE(p.marker);
    EXPECT_EQ(0x60, p.payloadType);
    EXPECT_EQ(0x1234, p.sequence);
    EXPECT_EQ(9u, p.timestamp);
    EXPECT_EQ(4u, p.payloadSize);
    EXPECT_EQ(0xAA, p.payload[0]);

    EXPECT_FALSE(ParseRtpPacket(good, 11, &p));  // shorter than the fixed header
    EXPECT_FALSE(ParseRtpPacket(nullptr, 16, &p));
    // The first byte changed, the last two set to 0 and last: whether it still parses.
    const struct { uint8_t first, last; bool parses; } damages[] = {
        {0x40, 0xDD, false},  // version 1
        {0x82, 0xDD, false},  // two CSRCs: 8 bytes beyond the 4 there are
        {0x90, 1, false},     // one extension word, absent
        {0xA0, 5, false},     // more padding than payload
        {0xA0, 4, true},      // padding eats the whole payload
    };
    for (const auto& damage : damages) {
        uint8_t bytes[16];
        std::copy(good, good + 14, bytes);
        bytes[0] = damage.first;
        bytes[14] = 0;
        bytes[15] = damage.last;
        EXPECT_EQ(damage.parses, ParseRtpPacket(bytes, 16, &p)) << int(damage.first) << " " << int(damage.last);
    }
    EXPECT_EQ(0u, p.payloadSize);
}
