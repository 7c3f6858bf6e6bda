// The archive protocol's headers: what one side encodes the other decodes,
// and what breaks a limit or a tag is refused before anything is allocated.
#include <gtest/gtest.h>

#include <vector>

#include "companions/components/recording/V77ArchiveProtocol.h"
#include "companions/components/recording/V77CaptureArchive.h"

namespace P = V77ArchiveProtocol;

namespace {

TEST(ArchiveProtocolTest, EveryHeaderDecodesToWhatWasEncoded)
{
    std::vector<uint8_t> bytes;
    P::Request request;
    request.kind = P::kStretch;
    request.position = -5;  // before the recording: the server answers from its start
    request.type = 3;
    request.maxFrames = 10;
    P::Encode(request, &bytes);
    ASSERT_EQ(P::kRequestSize, bytes.size());
    P::Request readRequest;
    ASSERT_TRUE(P::Decode(bytes.data(), bytes.size(), &readRequest));
    EXPECT_EQ(-5, readRequest.position);
    EXPECT_EQ(3u, readRequest.type);
    EXPECT_EQ(10u, readRequest.maxFrames);

    bytes.clear();
    P::FrameHeader frame;
    frame.key = true;
    frame.time = 133485408000000000LL;
    frame.duration = 400000;
    frame.size = 512;
    P::Encode(frame, &bytes);
    P::FrameHeader readFrame;
    ASSERT_TRUE(P::Decode(bytes.data(), bytes.size(), &readFrame));
    EXPECT_TRUE(readFrame.key);
    EXPECT_EQ(frame.time, readFrame.time);
    EXPECT_EQ(512u, readFrame.size);

    bytes.clear();
    P::Encode(P::StretchHeader{10, frame.time}, &bytes);
    P::StretchHeader stretch;
    EXPECT_TRUE(P::Decode(bytes.data(), bytes.size(), 10, &stretch));
    EXPECT_EQ(frame.time, stretch.next);
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), 9, &stretch)) << "more frames than were asked for";
}

TEST(ArchiveProtocolTest, WrongTagsSizesKindsAndLimitsAreRefused)
{
    std::vector<uint8_t> bytes;
    P::Request request;
    request.kind = P::kStretch;
    request.maxFrames = 1;
    P::Encode(request, &bytes);
    P::Request read;
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size() - 1, &read)) << "short";
    for (uint32_t type : {1u, 4u}) {
        bytes[16] = static_cast<uint8_t>(type);
        EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), &read)) << "type " << type;
    }
    bytes[16] = 0;
    bytes[20] = 0;  // maxFrames 0
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), &read));
    bytes[4] = 7;  // kind
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), &read));

    P::Description description;
    description.frameTime = 400000;
    description.formatLength = P::kMaxFormatLength + 1;
    bytes.clear();
    P::Encode(description, &bytes);
    P::Description readDescription;
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), &readDescription)) << "a format beyond the limit";

    P::FrameHeader frame;
    frame.time = 1;
    frame.duration = 1;
    frame.size = P::kMaxFrameBytes + 1;
    bytes.clear();
    P::Encode(frame, &bytes);
    P::FrameHeader readFrame;
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), &readFrame)) << "a frame beyond the limit";
    bytes[0] = 'X';
    frame.size = 1;
    EXPECT_FALSE(P::Decode(bytes.data(), bytes.size(), &readFrame)) << "wrong tag";
}

}  // namespace

namespace {

TEST(CaptureArchiveDescribeTest, TheRingNameFollowsTheFormatAndMustBeAPlainName)
{
    namespace A = V77CaptureArchive;
    A::Describe describe;
    describe.description.frameCount = 120;
    describe.description.frameTime = 400000;
    describe.format.assign(40, 7);
    describe.ring = "V77Archive.316.1";
    std::vector<uint8_t> bytes;
    A::Encode(describe, &bytes);
    A::Describe read;
    ASSERT_TRUE(A::Decode(bytes.data(), bytes.size(), &read));
    EXPECT_EQ(describe.format, read.format);
    EXPECT_EQ(describe.ring, read.ring);
    EXPECT_EQ(120u, read.description.frameCount);

    EXPECT_FALSE(A::Decode(bytes.data(), P::kDescribeSize + 40, &read)) << "no ring name";
    EXPECT_FALSE(A::Decode(bytes.data(), P::kDescribeSize + 30, &read)) << "format cut short";
    bytes[P::kDescribeSize + 40 + 3] = '\\';
    EXPECT_FALSE(A::Decode(bytes.data(), bytes.size(), &read)) << "a path is no ring name";
    bytes.resize(P::kDescribeSize + 40);
    bytes.insert(bytes.end(), A::kRingNameMax + 1, 'a');
    EXPECT_FALSE(A::Decode(bytes.data(), bytes.size(), &read)) << "a name too long";
}

}  // namespace
