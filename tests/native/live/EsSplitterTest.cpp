// The elementary-stream splitter on ffmpeg's m4v output, fed in chunks of
// every size a socket may deliver, and on damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "companions/components/parsers/CV77Mpeg4EsSplitter.h"
#include "tests/native/live/FfmpegPeer.h"

using namespace v77test;

namespace {

constexpr int kFrames = 30;
constexpr int kGop = 10;

struct Stream {
    std::vector<uint8_t> bytes;
    std::vector<PacketCrc> reference;
};

const Stream& SharedStream()
{
    static const Stream stream = [] {
        Stream s;
        TempDir dir;
        const std::string avi = dir.Path("in.avi");
        const std::string es = dir.Path("in.m4v");
        if (MakeMpeg4Avi(avi, kFrames, kGop) && Run("ffmpeg -v error -y -i '" + avi + "' -c copy -f m4v '" + es + "'")) {
            s.bytes = ReadFile(es);
            s.reference = FrameCrcs(avi);
        }
        return s;
    }();
    return stream;
}

std::vector<Mpeg4EsFrame> Split(const std::vector<uint8_t>& bytes, size_t chunk, size_t maxFrame = 1 << 20,
                                EsSplitterStats* stats = nullptr, CV77Mpeg4EsSplitter* keep = nullptr)
{
    CV77Mpeg4EsSplitter local(maxFrame);
    CV77Mpeg4EsSplitter& splitter = keep ? *keep : local;
    std::vector<Mpeg4EsFrame> frames;
    for (size_t at = 0; at < bytes.size(); at += chunk)
        splitter.Push(bytes.data() + at, std::min(chunk, bytes.size() - at), &frames);
    splitter.Finish();
    if (stats)
        *stats = splitter.Stats();
    return frames;
}

class EsSplitter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(size_t(kFrames), SharedStream().reference.size()) << "ffmpeg made no input"; }
};

}  // namespace

TEST_F(EsSplitter, SplitsFfmpegsStreamIntoItsPacketsWhateverTheChunkSize)
{
    const Stream& s = SharedStream();
    for (size_t chunk : {size_t(1), size_t(3), size_t(7), size_t(1500), s.bytes.size()}) {
        CV77Mpeg4EsSplitter splitter(1 << 20);
        const auto frames = Split(s.bytes, chunk, 1 << 20, nullptr, &splitter);
        // The last frame has no start code after it: at the end of the stream
        // it may be cut short, so it is not handed out.
        ASSERT_EQ(size_t(kFrames - 1), frames.size()) << "chunk " << chunk;
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(s.reference[i].crc, Adler32(frames[i].data.data(), frames[i].data.size())) << i;
            EXPECT_EQ(s.reference[i].key, frames[i].keyFrame) << i;
            EXPECT_EQ(i == 0, frames[i].discontinuity) << i;
            EXPECT_NEAR(i / 25.0, frames[i].time, 1e-9) << i;
        }
        ASSERT_TRUE(splitter.HaveVol());
        EXPECT_EQ(176u, splitter.Vol().width);
        EXPECT_EQ(144u, splitter.Vol().height);
        EXPECT_EQ(25u, splitter.Vol().timeIncrementResolution);
    }
}

TEST_F(EsSplitter, GarbageBeforeAndInsideTheStreamIsSkipped)
{
    const Stream& s = SharedStream();
    std::mt19937 random(3);
    std::vector<uint8_t> bytes(1000);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random() | 0x80);  // no start code in the garbage
    bytes.insert(bytes.end(), s.bytes.begin(), s.bytes.end());
    EsSplitterStats stats;
    const auto frames = Split(bytes, 512, 1 << 20, &stats);
    ASSERT_EQ(size_t(kFrames - 1), frames.size());
    EXPECT_EQ(1000u, stats.garbageBytes);
    EXPECT_EQ(s.reference[0].crc, Adler32(frames[0].data.data(), frames[0].data.size()));

    // A stream joined in the middle waits for its next key frame.
    const std::vector<uint8_t> middle(s.bytes.begin() + static_cast<std::ptrdiff_t>(s.bytes.size() / 5), s.bytes.end());
    const auto joined = Split(middle, 4096, 1 << 20, &stats);
    ASSERT_FALSE(joined.empty());
    EXPECT_TRUE(joined[0].keyFrame);
    EXPECT_TRUE(joined[0].discontinuity);
    EXPECT_GT(stats.withheldFrames + stats.garbageBytes, 0u);

    // Pure garbage, start codes of no frame, truncated headers: nothing comes out.
    const std::vector<uint8_t> junk = {0, 0, 1, 0x20, 0xFF, 0, 0, 1, 0xB6, 0, 0, 1, 0xC5, 1, 2, 0, 0, 1};
    EXPECT_TRUE(Split(junk, 1).empty());
    EXPECT_TRUE(Split(std::vector<uint8_t>(10000, 0), 333).empty());
}

TEST_F(EsSplitter, OversizedFramesAreDroppedAndTheSplitterResynchronises)
{
    const Stream& s = SharedStream();
    const size_t limit = LargestKeyFrame(s.reference) - 1;
    EsSplitterStats stats;
    const auto frames = Split(s.bytes, 256, limit, &stats);
    std::vector<int> expected = ExpectedWithLimit(s.reference, limit);
    if (!expected.empty() && expected.back() == kFrames - 1)
        expected.pop_back();  // the last frame is never handed out
    ASSERT_LT(expected.size(), size_t(kFrames - 1)) << "the limit should drop a GOP";
    ASSERT_EQ(expected.size(), frames.size());
    EXPECT_GE(stats.oversizedFrames, 1u);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(s.reference[expected[i]].crc, Adler32(frames[i].data.data(), frames[i].data.size())) << i;
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(frames[0].keyFrame);
    EXPECT_TRUE(frames[0].discontinuity);
}
