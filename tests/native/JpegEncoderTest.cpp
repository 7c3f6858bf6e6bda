#include "tests/native/JpegEncode.h"
#include "tests/native/JpegTestUtil.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using v77jpeg::Path;
using v77test::BgrImage;
using v77test::EncodeOptions;
using v77test::Encoded;
using v77test::Encoder;

using v77test::Flat;

TEST(JpegEncoder, OddSizesDecodeToTheirSizeWithFlatColourEverywhere)
{
    const int sizes[][2] = {{1, 1}, {3, 5}, {17, 9}, {15, 16}, {16, 15}, {8, 8}, {9, 1}, {1, 33}, {641, 479}};
    Encoder enc;
    for (auto s : sizes)
        for (bool colour : {true, false}) {
            BgrImage img = Flat(s[0], s[1], 30, 140, 220, 1);
            EncodeOptions o;
            o.colour = colour;
            o.quality = 90;
            Encoded e = enc.Encode(img, o);
            ASSERT_EQ(V77_JPEG_OK, e.rc);
            v77test::DecodedImage d = v77test::DecodeWithDjpeg(e.bytes.data(), e.bytes.size());
            ASSERT_TRUE(d.ok) << d.error;
            ASSERT_EQ(s[0], d.width);
            ASSERT_EQ(s[1], d.height);
            ASSERT_EQ(colour ? 3 : 1, d.channels);
            const int grey = static_cast<int>(std::lround(0.299 * 220 + 0.587 * 140 + 0.114 * 30));
            for (size_t i = 0; i < d.pixels.size(); i += d.channels) {
                if (colour) {
                    ASSERT_NEAR(220, d.pixels[i], 3) << s[0] << "x" << s[1] << " pixel " << i / 3;
                    ASSERT_NEAR(140, d.pixels[i + 1], 3);
                    ASSERT_NEAR(30, d.pixels[i + 2], 3);
                } else {
                    ASSERT_NEAR(grey, d.pixels[i], 2) << s[0] << "x" << s[1];
                }
            }
        }
}

// Odd sizes and padded rows: a picture mirrored, flipped, shifted or with its
// colours swapped would fall far below the reference's quality.
TEST(JpegEncoder, NaturalImageQualityAndSizeMatchTheReferenceEncoder)
{
    BgrImage img = v77test::MakeNaturalImage(1279, 719, 3);
    Encoder enc;
    Encoded ours = enc.Encode(img);
    ASSERT_EQ(V77_JPEG_OK, ours.rc);
    v77test::DecodedImage d = v77test::DecodeWithTurbo(ours.bytes.data(), ours.bytes.size());
    ASSERT_TRUE(d.ok) << d.error;

    std::vector<uint8_t> src(static_cast<size_t>(img.width) * img.height * 3);
    for (int y = 0; y < img.height; ++y)
        std::memcpy(src.data() + static_cast<size_t>(y) * img.width * 3, img.Row(y), img.width * 3);
    double psnr = v77test::Psnr(src.data(), d.pixels.data(), src.size());
    EXPECT_GT(psnr, 30.0);

    // The same picture through libjpeg-turbo (4:2:0, quality 75).
    tjhandle h = tjInitCompress();
    unsigned char* ref = nullptr;
    unsigned long refSize = 0;
    ASSERT_EQ(0, tjCompress2(h, src.data(), img.width, 0, img.height, TJPF_BGR, &ref, &refSize, TJSAMP_420, 75, 0));
    v77test::DecodedImage rd = v77test::DecodeWithTurbo(ref, refSize);
    ASSERT_TRUE(rd.ok);
    double refPsnr = v77test::Psnr(src.data(), rd.pixels.data(), src.size());
    tjFree(ref);
    tjDestroy(h);
    EXPECT_LE(ours.bytes.size(), refSize * 1.05) << "ours " << ours.bytes.size() << " reference " << refSize;
    EXPECT_GT(psnr, refPsnr - 0.2) << "ours " << psnr << " reference " << refPsnr;
}

TEST(JpegEncoder, GreyIsOneComponentWithLumaValues)
{
    BgrImage img = v77test::MakeNaturalImage(200, 120);
    Encoder enc;
    EncodeOptions o;
    o.colour = false;
    o.quality = 95;
    Encoded e = enc.Encode(img, o);
    ASSERT_EQ(V77_JPEG_OK, e.rc);
    v77test::DecodedImage d = v77test::DecodeWithDjpeg(e.bytes.data(), e.bytes.size());
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(1, d.channels);  // djpeg wrote a PGM
    std::vector<uint8_t> luma(static_cast<size_t>(img.width) * img.height);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = img.Row(y) + x * 3;
            luma[y * img.width + x] = static_cast<uint8_t>(std::lround(0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2]));
        }
    EXPECT_GT(v77test::Psnr(luma.data(), d.pixels.data(), luma.size()), 38.0);
}

TEST(JpegEncoder, CommentIsStoredAsGivenAndNeverMissing)
{
    BgrImage img = Flat(20, 10, 1, 2, 3);
    Encoder enc;
    const char16_t text[] = u"Camera 7";  // a BSTR's bytes, as the renderer passes them
    EncodeOptions o;
    o.comment = text;
    o.commentBytes = sizeof(text) - 2;
    Encoded e = enc.Encode(img, o);
    ASSERT_EQ(V77_JPEG_OK, e.rc);
    auto comments = [](const Encoded& x) {
        std::vector<std::string> out;
        for (const auto& s : v77test::Segments(x.bytes.data(), x.bytes.size()))
            if (s.marker == 0xFE)
                out.emplace_back(reinterpret_cast<const char*>(s.data), s.length);
        return out;
    };
    auto c = comments(e);
    ASSERT_EQ(1u, c.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), sizeof(text) - 2), c[0]);

    // The renderer's empty comment (one zero byte), and a missing one, both
    // give a COM segment holding a single 0.
    static const uint8_t zero = 0;
    for (auto [ptr, n] : {std::pair<const void*, uint32_t>{&zero, 1}, {nullptr, 0}, {"x", 0}}) {
        o.comment = ptr;
        o.commentBytes = n;
        c = comments(enc.Encode(img, o));
        ASSERT_EQ(1u, c.size());
        EXPECT_EQ(std::string(1, '\0'), c[0]);
    }

    std::vector<uint8_t> longest(65533, 'a'), tooLong(65534, 'a');
    o.comment = longest.data();
    o.commentBytes = static_cast<uint32_t>(longest.size());
    e = enc.Encode(img, o);
    EXPECT_EQ(V77_JPEG_OK, e.rc);
    EXPECT_TRUE(v77test::DecodeWithDjpeg(e.bytes.data(), e.bytes.size()).ok);
    o.comment = tooLong.data();
    o.commentBytes = static_cast<uint32_t>(tooLong.size());
    EXPECT_EQ(V77_JPEG_ERR_COMMENT_TOO_LONG, enc.Encode(img, o).rc);
}

// Quantisation and Huffman tables must be the ones every other IJG-style
// encoder writes at the same quality; the reference encoder's output is the
// independent witness. Qualities outside 1..100 are clamped.
TEST(JpegEncoder, TablesEqualTheReferenceEncodersAtEveryQualityClampedTo1Through100)
{
    BgrImage img = v77test::MakeNaturalImage(32, 32);
    std::vector<uint8_t> packed(32 * 32 * 3);
    std::memcpy(packed.data(), img.pixels.data(), packed.size());
    Encoder enc;
    tjhandle h = tjInitCompress();
    for (int q : {-20, 0, 1, 5, 10, 25, 49, 50, 51, 75, 90, 99, 100, 250}) {
        EncodeOptions o;
        o.quality = q;
        Encoded e = enc.Encode(img, o);
        ASSERT_EQ(V77_JPEG_OK, e.rc);
        unsigned char* ref = nullptr;
        unsigned long refSize = 0;
        const int clamped = q < 1 ? 1 : (q > 100 ? 100 : q);
        ASSERT_EQ(0, tjCompress2(h, packed.data(), 32, 0, 32, TJPF_BGR, &ref, &refSize, TJSAMP_420, clamped, 0));
        auto collect = [](const uint8_t* p, size_t n, int marker) {
            std::vector<uint8_t> all;
            for (const auto& s : v77test::Segments(p, n))
                if (s.marker == marker)
                    all.insert(all.end(), s.data, s.data + s.length);
            return all;
        };
        EXPECT_EQ(collect(ref, refSize, 0xDB), collect(e.bytes.data(), e.bytes.size(), 0xDB)) << "DQT at " << q;
        if (q == 75) {
            EXPECT_EQ(collect(ref, refSize, 0xC4), collect(e.bytes.data(), e.bytes.size(), 0xC4)) << "DHT";
        }
        tjFree(ref);
    }
    tjDestroy(h);
}

TEST(JpegEncoder, WorstCaseContentStaysDecodable)
{
    // Pixel noise and a one-pixel checkerboard at quality 100 drive the
    // coefficients and the code lengths to their limits.
    BgrImage noise = Flat(128, 64, 0, 0, 0);
    noise.pixels = v77test::RandomBytes(noise.pixels.size(), 3);
    BgrImage checker = Flat(128, 64, 0, 0, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x)
            std::memset(checker.Row(y) + x * 3, ((x ^ y) & 1) ? 255 : 0, 3);
    Encoder enc;
    for (const BgrImage* img : {&noise, &checker})
        for (bool colour : {true, false}) {
            EncodeOptions o;
            o.quality = 100;
            o.colour = colour;
            Encoded e = enc.Encode(*img, o);
            ASSERT_EQ(V77_JPEG_OK, e.rc);
            v77test::DecodedImage d = v77test::DecodeWithTurbo(e.bytes.data(), e.bytes.size(), !colour);
            ASSERT_TRUE(d.ok) << d.error;
            if (!colour && img == &checker) {
                // Luma at quality 100 keeps the pattern nearly exactly.
                int wrong = 0;
                for (int i = 0; i < 128 * 64; ++i)
                    wrong += std::abs(d.pixels[i] - (((i % 128) ^ (i / 128)) & 1 ? 255 : 0)) > 8;
                EXPECT_EQ(0, wrong);
            }
            EXPECT_TRUE(v77test::DecodeWithDjpeg(e.bytes.data(), e.bytes.size()).ok);
        }
}

} // namespace
