// The session description reader on what ffmpeg writes, and on broken files.
#include <gtest/gtest.h>

#include <string>

#include "companions/components/parsers/CV77SdpReader.h"
#include "companions/components/parsers/Mpeg4Headers.h"
#include "tests/native/live/FfmpegPeer.h"

using namespace v77test;

namespace {

bool ParseText(CV77SdpReader* reader, const std::string& text) { return reader->Parse(text.data(), text.size()); }

const char kValid[] =
    "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
    "m=audio 5000 RTP/AVP 97\r\na=rtpmap:97 MPEG4-GENERIC/44100/2\r\n"
    "m=video 5004 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"
    "a=fmtp:96 profile-level-id=1; config=000001B001\r\n"
    "m=video 6000 RTP/AVP 98\r\na=rtpmap:98 H264/90000\r\n";

}  // namespace

TEST(SdpReader, ReadsWhatFfmpegWritesWithAndWithoutDecoderConfig)
{
    TempDir dir;
    const std::string avi = dir.Path("in.avi");
    ASSERT_TRUE(MakeMpeg4Avi(avi, 5, 5, "320x240"));
    // Encoded straight to RTP the configuration goes in band; stream-copied
    // from a file that has one, it goes into the SDP's config=.
    for (bool outOfBand : {false, true}) {
        const std::string sdp = dir.Path(outOfBand ? "o.sdp" : "i.sdp");
        const std::string input = outOfBand ? "-i '" + avi + "'" : "-f lavfi -i testsrc=size=320x240:rate=25 -frames:v 5";
        ASSERT_FALSE(CaptureRtp(input, sdp, outOfBand ? "-c copy" : "-c:v mpeg4").empty());
        const std::vector<uint8_t> text = ReadFile(sdp);
        CV77SdpReader reader;
        ASSERT_TRUE(reader.Parse(reinterpret_cast<const char*>(text.data()), text.size())) << reader.Error();
        const SdpVideoStream& s = reader.Stream();
        EXPECT_EQ("127.0.0.1", s.address);
        EXPECT_NE(0, s.port);
        EXPECT_EQ(96, s.payloadType);
        EXPECT_EQ(90000u, s.clockRate);
        v77mpeg4::VolInfo vol;
        if (outOfBand) {
            ASSERT_TRUE(v77mpeg4::FindVol(s.config.data(), s.config.size(), &vol));
            EXPECT_EQ(320u, vol.width);
            EXPECT_EQ(240u, vol.height);
        } else {
            EXPECT_TRUE(s.config.empty());
        }
    }
}

TEST(SdpReader, TakesTheFirstVideoStreamOnly)
{
    CV77SdpReader reader;
    ASSERT_TRUE(ParseText(&reader, kValid)) << reader.Error();
    EXPECT_EQ(5004, reader.Stream().port);
    EXPECT_EQ(96, reader.Stream().payloadType);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0xB0, 1}), reader.Stream().config);
}

TEST(SdpReader, RefusesMalformedDescriptionsWithAReason)
{
    const std::string head = "v=0\nc=IN IP4 127.0.0.1\n";
    const char* bad[] = {
        "",                                                                  // empty
        "garbage\n",                                                         // not type=value
        "o=- 0 0 IN IP4 1.2.3.4\nv=0\n",                                    // v= not first
        "v=1\nm=video 5 RTP/AVP 96\na=rtpmap:96 MP4V-ES/90000\n",           // version
        "v=0\nm=audio 5000 RTP/AVP 0\n",                                    // no video
        "v=0\nm=video 0 RTP/AVP 96\na=rtpmap:96 MP4V-ES/90000\n",           // port 0
        "v=0\nm=video 70000 RTP/AVP 96\na=rtpmap:96 MP4V-ES/90000\n",       // port range
        "v=0\nm=video 5000 UDP 96\n",                                        // transport
        "v=0\nm=video 5000 RTP/AVP 200\n",                                   // payload type
        "v=0\nm=video 5000 RTP/AVP 96\n",                                    // no rtpmap
        "v=0\nm=video 5000 RTP/AVP 96\na=rtpmap:96 H264/90000\n",           // encoding
        "v=0\nm=video 5000 RTP/AVP 96\na=rtpmap:96 MP4V-ES\n",              // clock
        "v=0\nm=video 5000 RTP/AVP 96\na=rtpmap:96 MP4V-ES/90000\na=fmtp:96 config=000\n",   // odd hex
        "v=0\nm=video 5000 RTP/AVP 96\na=rtpmap:96 MP4V-ES/90000\na=fmtp:96 config=00zz\n",  // not hex
        "v=0\nc=IN\nm=video 5000 RTP/AVP 96\n",                             // connection
    };
    for (const char* text : bad) {
        CV77SdpReader reader;
        EXPECT_FALSE(ParseText(&reader, text)) << text;
        EXPECT_FALSE(reader.Error().empty()) << text;
    }
    CV77SdpReader reader;
    EXPECT_FALSE(reader.Parse(nullptr, 10));
    const std::string nul = head + std::string("m=video 5000 RTP/AVP 96\na=rtpmap:96 MP4V-ES/9") + '\0' + "0000\n";
    EXPECT_FALSE(ParseText(&reader, nul));
    EXPECT_FALSE(ParseText(&reader, head + std::string(5000, 'x') + "\n"));
}
