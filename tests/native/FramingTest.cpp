// The framings of the TCP channel and the stream server, natively: round
// trips, bytes fed in every split, and the corrupt inputs each must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "companions/framing/CV77FrameReader.h"
#include "companions/framing/CV77StreamReader.h"

using namespace v77framing;

namespace {

std::vector<uint8_t> Frame(uint32_t magic, const std::string& payload, uint32_t flags, int64_t start, int64_t stop)
{
    FrameHeader h;
    h.magic = magic;
    h.length = static_cast<uint32_t>(payload.size());
    h.flags = flags;
    h.start = start;
    h.stop = stop;
    std::vector<uint8_t> out(kFrameHeaderSize);
    EncodeFrameHeader(h, out.data());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

struct Seen {
    std::vector<std::string> payloads;
    std::vector<FrameHeader> headers;
};

CV77FrameReader::FrameHandler Collect(Seen* seen)
{
    return [seen](const FrameHeader& h, const uint8_t* p) {
        seen->headers.push_back(h);
        seen->payloads.emplace_back(reinterpret_cast<const char*>(p), h.length);
        return true;
    };
}

TEST(Framing, FramesSurviveEverySplitOfTheStream)
{
    std::vector<uint8_t> stream;
    for (const auto& f : {Frame(kPcmFrameMagic, "abc", kFrameTimeValid | kFrameStopValid, -5, 1LL << 40),
                          Frame(kPcmFrameMagic, "", kFrameSyncPoint, 0, 0),
                          Frame(kPcmFrameMagic, std::string(1000, 'x'), kFrameDiscontinuity, 7, 8)})
        stream.insert(stream.end(), f.begin(), f.end());
    for (size_t step : {size_t(1), size_t(3), size_t(31), size_t(32), size_t(33), stream.size()}) {
        SCOPED_TRACE(step);
        CV77FrameReader reader(kPcmFrameMagic);
        Seen seen;
        for (size_t at = 0; at < stream.size(); at += step)
            ASSERT_EQ(ParseStatus::Ok, reader.Push(stream.data() + at, std::min(step, stream.size() - at), Collect(&seen)));
        ASSERT_EQ(3u, seen.payloads.size());
        EXPECT_EQ("abc", seen.payloads[0]);
        EXPECT_EQ(-5, seen.headers[0].start);
        EXPECT_EQ(1LL << 40, seen.headers[0].stop);
        EXPECT_EQ("", seen.payloads[1]);
        EXPECT_EQ(kFrameSyncPoint, seen.headers[1].flags);
        EXPECT_EQ(std::string(1000, 'x'), seen.payloads[2]);
        EXPECT_EQ(0u, reader.Pending());
    }
}

TEST(Framing, CorruptHeadersStopTheReaderForGood)
{
    auto bad = [](std::vector<uint8_t> frame, const char* why) {
        CV77FrameReader reader(kPcmFrameMagic);
        Seen seen;
        EXPECT_EQ(ParseStatus::Bad, reader.Push(frame.data(), frame.size(), Collect(&seen))) << why;
        EXPECT_TRUE(seen.payloads.empty()) << why;
        const auto good = Frame(kPcmFrameMagic, "ok", 0, 0, 0);
        EXPECT_EQ(ParseStatus::Bad, reader.Push(good.data(), good.size(), Collect(&seen))) << why;
    };
    bad(Frame(kStreamFrameMagic, "x", 0, 0, 0), "other magic");
    bad(Frame(kPcmFrameMagic, "x", 1u << 9, 0, 0), "unknown flag");
    auto tooLong = Frame(kPcmFrameMagic, "", 0, 0, 0);
    PutU32(tooLong.data() + 4, kMaxFramePayload + 1);
    bad(tooLong, "length past the limit");
    auto reserved = Frame(kPcmFrameMagic, "x", 0, 0, 0);
    reserved[12] = 1;
    bad(reserved, "reserved word");
}

TEST(Framing, StreamDescriptionThenFramesInAnySplit)
{
    StreamDescription d;
    for (int i = 0; i < 32; ++i)
        d.sourceInformation[i] = static_cast<uint8_t>(i);
    d.majorType[0] = 0x76;
    d.subtype[3] = 0x30;
    d.formatType[15] = 9;
    d.fixedSizeSamples = 1;
    d.temporalCompression = 1;
    d.sampleSize = 77;
    d.format.assign(88, 0x5A);
    std::vector<uint8_t> stream = EncodeStreamDescription(d);
    ASSERT_EQ(kStreamFixedSize + 88, stream.size());
    const auto f1 = Frame(kStreamFrameMagic, "key", kFrameSyncPoint, 1, 2);
    const auto f2 = Frame(kStreamFrameMagic, "delta", 0, 3, 4);
    stream.insert(stream.end(), f1.begin(), f1.end());
    stream.insert(stream.end(), f2.begin(), f2.end());
    for (size_t step : {size_t(1), size_t(7), size_t(108), stream.size()}) {
        SCOPED_TRACE(step);
        CV77StreamReader reader;
        StreamDescription got;
        int descriptions = 0;
        Seen seen;
        for (size_t at = 0; at < stream.size(); at += step)
            ASSERT_EQ(ParseStatus::Ok,
                      reader.Push(stream.data() + at, std::min(step, stream.size() - at),
                                  [&](const StreamDescription& x) { got = x; ++descriptions; return true; },
                                  Collect(&seen)));
        EXPECT_EQ(1, descriptions);
        EXPECT_EQ(0, std::memcmp(d.sourceInformation, got.sourceInformation, 32));
        EXPECT_EQ(d.format, got.format);
        EXPECT_EQ(77u, got.sampleSize);
        EXPECT_EQ((std::vector<std::string>{"key", "delta"}), seen.payloads);
    }
}

TEST(Framing, CorruptDescriptionsAreRefused)
{
    StreamDescription d;
    d.format.assign(4, 1);
    const std::vector<uint8_t> good = EncodeStreamDescription(d);
    auto refuse = [](std::vector<uint8_t> bytes, const char* why) {
        StreamDescription out;
        size_t used = 0;
        EXPECT_EQ(ParseStatus::Bad, DecodeStreamDescription(bytes.data(), bytes.size(), &out, &used)) << why;
    };
    const struct { size_t at; uint32_t value; const char* why; } damages[] = {
        {0, 0x58585858u, "magic"},
        {4, 2, "version"},
        {104, 5, "format length disagrees with the record length"},
        {8, 0xFFFFFFF0u, "record length past the limit"},
        {92, 2, "flag other than 0 or 1"},
    };
    for (const auto& damage : damages) {
        auto v = good;
        PutU32(v.data() + damage.at, damage.value);
        refuse(v, damage.why);
    }
    StreamDescription out;
    size_t used = 0;
    EXPECT_EQ(ParseStatus::NeedMore, DecodeStreamDescription(good.data(), good.size() - 1, &out, &used));
    EXPECT_EQ(ParseStatus::Ok, DecodeStreamDescription(good.data(), good.size(), &out, &used));
    EXPECT_EQ(good.size(), used);
}

}  // namespace
