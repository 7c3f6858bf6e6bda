#include "kernels/jpeg/JpegInternal.h"
#include "kernels/jpeg/V77Jpeg.h"

#include "kernels/ProcessorFeatures.h"
#include "tests/native/GuardedBuffer.h"
#include "tests/native/JpegTestUtil.h"
#include "tests/native/TestImages.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using v77jpeg::Path;
using v77test::BgrImage;

struct Encoded {
    int32_t rc = 0;
    std::vector<uint8_t> bytes;
};

struct EncodeOptions {
    int quality = 75;
    bool colour = true;
    const void* comment = "v77 test";
    uint32_t commentBytes = 8;
    Path path = Path::Auto;
};

class Encoder {
public:
    Encoder() { EXPECT_EQ(V77_JPEG_OK, V77JpegInit(&m_props)); }
    ~Encoder() { V77JpegFree(&m_props); }
    V77_JPEG_PROPERTIES& props() { return m_props; }

    void Setup(const BgrImage& img, const EncodeOptions& o)
    {
        m_props.DIBBytes = img.pixels.data();
        m_props.DIBWidth = m_props.JPGWidth = img.width;
        m_props.DIBHeight = m_props.JPGHeight = img.height;
        m_props.DIBPadBytes = img.stride - img.width * 3;
        m_props.DIBChannels = 3;
        m_props.DIBColor = V77_JPEG_BGR;
        m_props.DIBSubsampling = V77_JPEG_NONE;
        m_props.JPGChannels = o.colour ? 3 : 1;
        m_props.JPGColor = o.colour ? V77_JPEG_YCBCR : V77_JPEG_GRAY;
        m_props.JPGSubsampling = o.colour ? V77_JPEG_411 : V77_JPEG_NONE;
        m_props.jquality = o.quality;
        m_props.JPGComment = o.comment;
        m_props.JPGCommentBytes = o.commentBytes;
    }

    Encoded Encode(const BgrImage& img, const EncodeOptions& o = {})
    {
        Setup(img, o);
        Encoded e;
        e.bytes.resize(static_cast<size_t>(img.width) * img.height * 4 + 4096 + o.commentBytes);
        m_props.JPGBytes = e.bytes.data();
        m_props.JPGSizeBytes = static_cast<uint32_t>(e.bytes.size());
        e.rc = v77jpeg::WriteWithPath(&m_props, V77_JPEG_WRITE_WHOLE_IMAGE, o.path);
        e.bytes.resize(e.rc == V77_JPEG_OK ? m_props.JPGSizeBytes : 0);
        return e;
    }

private:
    V77_JPEG_PROPERTIES m_props;
};

BgrImage Flat(int w, int h, uint8_t b, uint8_t g, uint8_t r, int pad = 0)
{
    BgrImage img;
    img.width = w;
    img.height = h;
    img.stride = w * 3 + pad;
    img.pixels.assign(static_cast<size_t>(img.stride) * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            img.Row(y)[x * 3] = b;
            img.Row(y)[x * 3 + 1] = g;
            img.Row(y)[x * 3 + 2] = r;
        }
    return img;
}

std::vector<Path> AvailablePaths()
{
    std::vector<Path> p = {Path::Plain, Path::Sse2};
    if (V77ProcessorFeatures() & V77_CPU_SSSE3)
        p.push_back(Path::Ssse3);
    return p;
}

TEST(JpegEncoder, PictureKeepsItsOrientation)
{
    // Quadrants: red top-left, green top-right, blue bottom-left, white bottom-right.
    const int w = 61, h = 47;
    BgrImage img = Flat(w, h, 0, 0, 0, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.Row(y) + x * 3;
            bool right = x >= w / 2, bottom = y >= h / 2;
            p[0] = bottom ? 255 : 0;                  // B
            p[1] = right ? 255 : 0;                   // G
            p[2] = bottom == right ? 255 : 0;         // R
        }
    Encoder enc;
    Encoded e = enc.Encode(img);
    ASSERT_EQ(V77_JPEG_OK, e.rc);
    v77test::DecodedImage d = v77test::DecodeWithDjpeg(e.bytes.data(), e.bytes.size());
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(w, d.width);
    ASSERT_EQ(h, d.height);
    ASSERT_EQ(3, d.channels);
    auto rgb = [&](int x, int y) { return d.pixels.data() + (static_cast<size_t>(y) * w + x) * 3; };
    struct Probe { int x, y, r, g, b; } probes[] = {
        {5, 5, 255, 0, 0}, {w - 6, 5, 0, 255, 0}, {5, h - 6, 0, 0, 255}, {w - 6, h - 6, 255, 255, 255}};
    for (const Probe& p : probes) {
        const uint8_t* px = rgb(p.x, p.y);
        EXPECT_NEAR(p.r, px[0], 12) << p.x << "," << p.y;
        EXPECT_NEAR(p.g, px[1], 12) << p.x << "," << p.y;
        EXPECT_NEAR(p.b, px[2], 12) << p.x << "," << p.y;
    }
}

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

TEST(JpegEncoder, NaturalImageQualityAndSizeMatchTheReferenceEncoder)
{
    BgrImage img = v77test::MakeNaturalImage(1280, 720, 4);
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
    auto segs = v77test::Segments(e.bytes.data(), e.bytes.size());
    bool sawSof = false;
    for (const auto& s : segs)
        if (s.marker == 0xC0) {
            sawSof = true;
            EXPECT_EQ(1, s.data[5]);     // one component
            EXPECT_EQ(0x11, s.data[7]);  // sampled 1 x 1
        }
    EXPECT_TRUE(sawSof);
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
// independent witness.
TEST(JpegEncoder, TablesEqualTheReferenceEncodersAtEveryQuality)
{
    BgrImage img = v77test::MakeNaturalImage(32, 32);
    std::vector<uint8_t> packed(32 * 32 * 3);
    std::memcpy(packed.data(), img.pixels.data(), packed.size());
    Encoder enc;
    tjhandle h = tjInitCompress();
    for (int q : {1, 5, 10, 25, 49, 50, 51, 75, 90, 99, 100}) {
        EncodeOptions o;
        o.quality = q;
        Encoded e = enc.Encode(img, o);
        ASSERT_EQ(V77_JPEG_OK, e.rc);
        unsigned char* ref = nullptr;
        unsigned long refSize = 0;
        ASSERT_EQ(0, tjCompress2(h, packed.data(), 32, 0, 32, TJPF_BGR, &ref, &refSize, TJSAMP_420, q, 0));
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

TEST(JpegEncoder, QualityIsClampedTo1Through100)
{
    BgrImage img = v77test::MakeNaturalImage(40, 24);
    Encoder enc;
    auto at = [&](int q) {
        EncodeOptions o;
        o.quality = q;
        Encoded e = enc.Encode(img, o);
        EXPECT_EQ(V77_JPEG_OK, e.rc);
        return e.bytes;
    };
    EXPECT_EQ(at(1), at(0));
    EXPECT_EQ(at(1), at(-20));
    EXPECT_EQ(at(100), at(250));
    EXPECT_NE(at(1), at(100));
    EXPECT_LT(at(10).size(), at(90).size());
}

TEST(JpegEncoder, TooSmallBufferFailsCleanlyAndTheNextCallWorks)
{
    BgrImage img = v77test::MakeNaturalImage(97, 61);
    Encoder enc;
    Encoded good = enc.Encode(img);
    ASSERT_EQ(V77_JPEG_OK, good.rc);
    const uint32_t full = static_cast<uint32_t>(good.bytes.size());
    for (uint32_t cap : {0u, 1u, 200u, 640u, full / 2, full - 3, full - 1}) {
        // The buffer ends at a guard page: writing past the capacity faults.
        v77test::GuardedBuffer out(cap);
        enc.Setup(img, {});
        enc.props().JPGBytes = out.data();
        enc.props().JPGSizeBytes = cap;
        EXPECT_EQ(V77_JPEG_ERR_BUFFER_TOO_SMALL, V77JpegWrite(&enc.props(), V77_JPEG_WRITE_WHOLE_IMAGE)) << cap;
        EXPECT_EQ(0u, enc.props().JPGSizeBytes);
        Encoded again = enc.Encode(img);
        ASSERT_EQ(V77_JPEG_OK, again.rc);
        EXPECT_EQ(good.bytes, again.bytes) << "after a failure with capacity " << cap;
    }
    // Exactly enough room works, straight into a guarded buffer.
    v77test::GuardedBuffer exact(full);
    enc.Setup(img, {});
    enc.props().JPGBytes = exact.data();
    enc.props().JPGSizeBytes = full;
    ASSERT_EQ(V77_JPEG_OK, V77JpegWrite(&enc.props(), V77_JPEG_WRITE_WHOLE_IMAGE));
    EXPECT_EQ(full, enc.props().JPGSizeBytes);
    EXPECT_EQ(0, std::memcmp(good.bytes.data(), exact.data(), full));
}

TEST(JpegEncoder, RejectsBadArguments)
{
    BgrImage img = Flat(16, 16, 9, 9, 9);
    std::vector<uint8_t> out(8192);
    Encoder enc;
    auto tryWrite = [&](auto change, int32_t mode = V77_JPEG_WRITE_WHOLE_IMAGE) {
        enc.Setup(img, {});
        enc.props().JPGBytes = out.data();
        enc.props().JPGSizeBytes = static_cast<uint32_t>(out.size());
        change(enc.props());
        int32_t rc = V77JpegWrite(&enc.props(), mode);
        if (rc != V77_JPEG_OK) {
            EXPECT_EQ(0u, enc.props().JPGSizeBytes) << "failed call must report no bytes";
        }
        return rc;
    };
    EXPECT_EQ(V77_JPEG_ERR_NULL_ARGUMENT, V77JpegWrite(nullptr, V77_JPEG_WRITE_WHOLE_IMAGE));
    EXPECT_EQ(V77_JPEG_ERR_BAD_MODE, tryWrite([](auto&) {}, 1));
    EXPECT_EQ(V77_JPEG_ERR_NULL_ARGUMENT, tryWrite([](auto& p) { p.DIBBytes = nullptr; }));
    EXPECT_EQ(V77_JPEG_ERR_NULL_ARGUMENT, tryWrite([](auto& p) { p.JPGBytes = nullptr; }));
    EXPECT_EQ(V77_JPEG_ERR_BAD_SIZE, tryWrite([](auto& p) { p.DIBWidth = p.JPGWidth = 0; }));
    EXPECT_EQ(V77_JPEG_ERR_BAD_SIZE, tryWrite([](auto& p) { p.DIBHeight = p.JPGHeight = -16; }));
    EXPECT_EQ(V77_JPEG_ERR_BAD_SIZE, tryWrite([](auto& p) { p.JPGWidth = 8; }));
    EXPECT_EQ(V77_JPEG_ERR_BAD_SIZE, tryWrite([](auto& p) { p.DIBWidth = p.JPGWidth = 70000; }));
    EXPECT_EQ(V77_JPEG_ERR_BAD_SIZE, tryWrite([](auto& p) { p.DIBPadBytes = -1; }));
    EXPECT_EQ(V77_JPEG_ERR_UNSUPPORTED, tryWrite([](auto& p) { p.DIBChannels = 4; }));
    EXPECT_EQ(V77_JPEG_ERR_UNSUPPORTED, tryWrite([](auto& p) { p.DIBColor = V77_JPEG_RGB; }));
    EXPECT_EQ(V77_JPEG_ERR_UNSUPPORTED, tryWrite([](auto& p) { p.JPGSubsampling = V77_JPEG_NONE; }));
    EXPECT_EQ(V77_JPEG_ERR_UNSUPPORTED, tryWrite([](auto& p) { p.JPGChannels = 1; }));
    EXPECT_EQ(V77_JPEG_ERR_UNSUPPORTED,
              tryWrite([](auto& p) { p.JPGChannels = 1; p.JPGColor = V77_JPEG_GRAY; p.JPGSubsampling = V77_JPEG_411; }));
    EXPECT_EQ(V77_JPEG_OK, tryWrite([](auto&) {}));  // the unchanged setup is valid

    V77_JPEG_PROPERTIES raw{};
    raw.JPGSizeBytes = 100;
    EXPECT_EQ(V77_JPEG_ERR_NOT_INITIALIZED, V77JpegWrite(&raw, V77_JPEG_WRITE_WHOLE_IMAGE));
    EXPECT_EQ(V77_JPEG_OK, V77JpegFree(&raw));  // nothing to free is fine
    EXPECT_EQ(V77_JPEG_OK, V77JpegFree(&raw));
}

TEST(JpegEncoder, InitSetsTheRendererDefaults)
{
    V77_JPEG_PROPERTIES p;
    std::memset(&p, 0xCD, sizeof p);
    ASSERT_EQ(V77_JPEG_OK, V77JpegInit(&p));
    EXPECT_EQ(3, p.DIBChannels);
    EXPECT_EQ(V77_JPEG_BGR, p.DIBColor);
    EXPECT_EQ(V77_JPEG_NONE, p.DIBSubsampling);
    EXPECT_EQ(3, p.JPGChannels);
    EXPECT_EQ(V77_JPEG_YCBCR, p.JPGColor);
    EXPECT_EQ(V77_JPEG_411, p.JPGSubsampling);
    EXPECT_EQ(75, p.jquality);
    EXPECT_EQ(nullptr, p.JPGBytes);
    EXPECT_EQ(0u, p.JPGSizeBytes);
    EXPECT_NE(nullptr, p.internal);
    V77JpegFree(&p);
    EXPECT_EQ(nullptr, p.internal);
}

TEST(JpegEncoder, AllBuildsWriteTheSameBytesAndReadOnlyThePicture)
{
    const int sizes[][2] = {{1, 1}, {3, 5}, {17, 9}, {33, 18}, {641, 479}};
    Encoder enc;
    for (auto s : sizes)
        for (bool colour : {true, false})
            for (int q : {1, 50, 75, 100}) {
                BgrImage img = v77test::MakeNaturalImage(s[0], s[1], 3, static_cast<uint32_t>(s[0] + q));
                // The picture ends at a guard page (no padding after the last row).
                size_t bytes = static_cast<size_t>(img.stride) * (img.height - 1) + img.width * 3;
                v77test::GuardedBuffer pixels(bytes);
                pixels.Fill(img.pixels.data());
                std::vector<uint8_t> first;
                for (Path path : AvailablePaths()) {
                    EncodeOptions o;
                    o.colour = colour;
                    o.quality = q;
                    o.path = path;
                    enc.Setup(img, o);
                    std::vector<uint8_t> out(bytes * 4 + 4096);
                    enc.props().DIBBytes = pixels.data();
                    enc.props().JPGBytes = out.data();
                    enc.props().JPGSizeBytes = static_cast<uint32_t>(out.size());
                    ASSERT_EQ(V77_JPEG_OK, v77jpeg::WriteWithPath(&enc.props(), V77_JPEG_WRITE_WHOLE_IMAGE, path));
                    out.resize(enc.props().JPGSizeBytes);
                    if (first.empty())
                        first = out;
                    else
                        ASSERT_EQ(first, out) << s[0] << "x" << s[1] << " q" << q << " colour " << colour
                                              << " path " << static_cast<int>(path);
                }
            }
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
