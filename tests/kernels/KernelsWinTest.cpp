// The portable kernels and the JPEG encoder as the Windows module builds
// them, run under Wine: every build agrees bit for bit, and the JPEG output
// decodes with the platform's own decoder (WIC). The pictures' own correctness
// (BT.601, orientation, buffer limits) is judged by the native suites.
#include "kernels/ColorConvert.h"
#include "kernels/Deinterlace.h"
#include "kernels/PixelAdjust.h"
#include "kernels/ProcessorFeatures.h"
#include "kernels/Resize.h"
#include "kernels/jpeg/JpegInternal.h"
#include "kernels/jpeg/V77Jpeg.h"

#include "tests/kit/WicJpegDecoder.h"
#include "tests/native/GuardedBuffer.h"
#include "tests/native/TestImages.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <objbase.h>
#include <vector>

namespace {

struct Size {
    int width, height;
};
const Size kSizes[] = {{1, 1}, {3, 5}, {17, 9}, {33, 2}, {641, 479}};

TEST(KernelsUnderWine, ProcessorWordHasSse2)
{
    uint32_t w = V77ProcessorFeatures();
    EXPECT_TRUE(w & V77_CPU_CPUID);
    EXPECT_TRUE(w & V77_CPU_SSE2);
    EXPECT_EQ(w, V77ComputeProcessorFeatures());
}

TEST(KernelsUnderWine, DeinterlaceAndConversionBuildsAgree)
{
    for (Size s : kSizes) {
        const int w = s.width, h = s.height;
        auto src = v77test::RandomBytes(static_cast<size_t>(w) * 3 * h, w + h);
        // Guard pages after every buffer: a read or write past the end faults.
        v77test::GuardedBuffer in2(static_cast<size_t>(w) * 2 * h), a(static_cast<size_t>(w) * 3 * h),
            b(static_cast<size_t>(w) * 3 * h);
        in2.Fill(src.data());
        for (uint16_t weight : {0, 128, 256}) {
            V77DeinterlacePlain(in2.data(), w * 2, a.data(), w * 2, weight, w * 2, h);
            V77DeinterlaceSse2(in2.data(), w * 2, b.data(), w * 2, weight, w * 2, h);
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), static_cast<size_t>(w) * 2 * h)) << w << "x" << h;
        }
        V77Yuy2ToBgr24Plain(in2.data(), w * 2, a.data(), w * 3, w, h);
        V77Yuy2ToBgr24Sse2(in2.data(), w * 2, b.data(), w * 3, w, h);
        ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size())) << "YUY2 " << w << "x" << h;

        int cw = w / 2, ch = h / 2;
        v77test::GuardedBuffer y(static_cast<size_t>(w) * h), u(static_cast<size_t>(cw) * ch),
            v(static_cast<size_t>(cw) * ch);
        y.Fill(src.data());
        u.Fill(src.data() + 1);
        v.Fill(src.data() + 2);
        const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
        const int steps[3] = {w, cw, cw};
        V77Yuv420ToBgr24Plain(planes, steps, a.data(), w * 3, w, h);
        V77Yuv420ToBgr24Sse2(planes, steps, b.data(), w * 3, w, h);
        ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size())) << "4:2:0 " << w << "x" << h;
        // The SSSE3 and AVX2 builds as the DLL's compiler made them (AVX2
        // spills on a 16-byte aligned stack here).
        const uint32_t features = V77ProcessorFeatures();
        if (features & V77_CPU_SSSE3) {
            V77Yuv420ToBgr24Ssse3(planes, steps, b.data(), w * 3, w, h);
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size())) << "4:2:0 SSSE3 " << w << "x" << h;
        }
        if (features & V77_CPU_AVX2) {
            V77Yuv420ToBgr24Avx2(planes, steps, b.data(), w * 3, w, h);
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size())) << "4:2:0 AVX2 " << w << "x" << h;
        }
        const auto pixels = v77test::RandomBytes(static_cast<size_t>(w) * 4 * h, w * h);
        for (int ch : {1, 3, 4}) {
            const V77Rect roi = {0, 0, w, h}, dst = {0, 0, w / 2 + 1, h * 2 - 1};
            int bytes = 0;
            ASSERT_EQ(V77_RESIZE_OK, V77ResizeBufferSize(roi, dst, ch, V77_INTERPOLATION_LINEAR, &bytes));
            std::vector<uint8_t> work(bytes), p(static_cast<size_t>(dst.width) * ch * dst.height),
                q(p.size());
            const double xf = double(dst.width) / w, yf = double(dst.height) / h;
            ASSERT_EQ(V77_RESIZE_OK, V77ResizeChannelsWith(kV77ResizePlain, ch, pixels.data(), {w, h}, w * ch, roi,
                                                           p.data(), dst.width * ch, dst, xf, yf, 0, 0,
                                                           V77_INTERPOLATION_LINEAR, work.data()));
            ASSERT_EQ(V77_RESIZE_OK, V77ResizeChannelsWith(kV77ResizeSse2, ch, pixels.data(), {w, h}, w * ch, roi,
                                                           q.data(), dst.width * ch, dst, xf, yf, 0, 0,
                                                           V77_INTERPOLATION_LINEAR, work.data()));
            ASSERT_EQ(p, q) << "resize " << ch << " channels " << w << "x" << h;
            if (features & V77_CPU_AVX2) {
                ASSERT_EQ(V77_RESIZE_OK,
                          V77ResizeChannelsWith(kV77ResizeAvx2, ch, pixels.data(), {w, h}, w * ch, roi, q.data(),
                                                dst.width * ch, dst, xf, yf, 0, 0, V77_INTERPOLATION_LINEAR,
                                                work.data()));
                ASSERT_EQ(p, q) << "AVX2 resize " << ch << " channels " << w << "x" << h;
            }
        }
    }
}

TEST(KernelsUnderWine, PixelAdjustBuildsAgree)
{
    const int16_t settings[][2] = {{0, 256}, {32767, 256}, {-32768, 0}, {37, 300}, {-5, -700}, {1, 32767}};
    for (Size s : kSizes) {
        const int w = s.width, h = s.height;
        auto src = v77test::RandomBytes(static_cast<size_t>(w) * 3 * h, 3 * w + h);
        v77test::GuardedBuffer in(src.size()), a(src.size()), b(src.size());
        in.Fill(src.data());
        for (auto set : settings)
            for (bool ld : {false, true}) {
                const auto& P = kV77PixelAdjustPlain;
                const auto& S = kV77PixelAdjustSse2;
                P.adjustYuy2(in.data(), a.data(), w * 2, w, h, set[0], set[1], ld);
                S.adjustYuy2(in.data(), b.data(), w * 2, w, h, set[0], set[1], ld);
                ASSERT_EQ(0, std::memcmp(a.data(), b.data(), static_cast<size_t>(w) * 2 * h)) << "yuy2";
                P.adjustLuma(in.data(), a.data(), w * 3, w * 3, h, set[0], set[1], ld);
                S.adjustLuma(in.data(), b.data(), w * 3, w * 3, h, set[0], set[1], ld);
                ASSERT_EQ(0, std::memcmp(a.data(), b.data(), src.size())) << "luma";
                P.adjustChroma(in.data(), a.data(), w, w, h, set[1]);
                S.adjustChroma(in.data(), b.data(), w, w, h, set[1]);
                ASSERT_EQ(0, std::memcmp(a.data(), b.data(), static_cast<size_t>(w / 2) * h)) << "chroma";
                P.adjustRgb565(in.data(), a.data(), w * 2, w, h, set[0], set[1], ld);
                S.adjustRgb565(in.data(), b.data(), w * 2, w, h, set[0], set[1], ld);
                ASSERT_EQ(0, std::memcmp(a.data(), b.data(), static_cast<size_t>(w) * 2 * h)) << "rgb565";
            }
    }
}

class JpegUnderWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(V77_JPEG_OK, V77JpegInit(&m_props));
    }
    void TearDown() override
    {
        V77JpegFree(&m_props);
        CoUninitialize();
    }

    int32_t Encode(const v77test::BgrImage& img, int quality, bool colour, std::vector<uint8_t>& out,
                   v77jpeg::Path path = v77jpeg::Path::Auto)
    {
        m_props.DIBBytes = img.pixels.data();
        m_props.DIBWidth = m_props.JPGWidth = img.width;
        m_props.DIBHeight = m_props.JPGHeight = img.height;
        m_props.DIBPadBytes = img.stride - img.width * 3;
        m_props.JPGChannels = colour ? 3 : 1;
        m_props.JPGColor = colour ? V77_JPEG_YCBCR : V77_JPEG_GRAY;
        m_props.JPGSubsampling = colour ? V77_JPEG_411 : V77_JPEG_NONE;
        m_props.jquality = quality;
        static const uint8_t empty = 0;
        m_props.JPGComment = &empty;
        m_props.JPGCommentBytes = 1;
        out.resize(static_cast<size_t>(img.width) * img.height * 4 + 4096);
        m_props.JPGBytes = out.data();
        m_props.JPGSizeBytes = static_cast<uint32_t>(out.size());
        int32_t rc = v77jpeg::WriteWithPath(&m_props, V77_JPEG_WRITE_WHOLE_IMAGE, path);
        out.resize(rc == V77_JPEG_OK ? m_props.JPGSizeBytes : 0);
        return rc;
    }

    V77_JPEG_PROPERTIES m_props;
};

TEST_F(JpegUnderWine, NaturalImageRoundTripsThroughWic)
{
    v77test::BgrImage img = v77test::MakeNaturalImage(641, 479, 1);
    std::vector<uint8_t> jpeg;
    ASSERT_EQ(V77_JPEG_OK, Encode(img, 75, true, jpeg));
    WicDecodedImage d;
    ASSERT_EQ(S_OK, WicDecodeJpeg(jpeg.data(), jpeg.size(), d));
    ASSERT_EQ(641u, d.width);
    ASSERT_EQ(479u, d.height);
    EXPECT_EQ(3u, d.channels);
    std::vector<uint8_t> src(static_cast<size_t>(641) * 479 * 3);
    for (int y = 0; y < 479; ++y)
        std::memcpy(src.data() + static_cast<size_t>(y) * 641 * 3, img.Row(y), 641 * 3);
    EXPECT_GT(v77test::Psnr(src.data(), d.bgr.data(), src.size()), 30.0);

    // Grey: one component, expanded to equal BGR channels.
    ASSERT_EQ(V77_JPEG_OK, Encode(img, 90, false, jpeg));
    ASSERT_EQ(S_OK, WicDecodeJpeg(jpeg.data(), jpeg.size(), d));
    EXPECT_EQ(1u, d.channels);
    ASSERT_EQ(641u, d.width);
    for (size_t i = 0; i < d.bgr.size(); i += 3) {
        ASSERT_EQ(d.bgr[i], d.bgr[i + 1]);
        ASSERT_EQ(d.bgr[i], d.bgr[i + 2]);
    }
}

TEST_F(JpegUnderWine, AllBuildsWriteTheSameBytes)
{
    std::vector<v77jpeg::Path> paths = {v77jpeg::Path::Plain, v77jpeg::Path::Sse2};
    if (V77ProcessorFeatures() & V77_CPU_SSSE3)
        paths.push_back(v77jpeg::Path::Ssse3);
    for (Size s : kSizes)
        for (bool colour : {true, false}) {
            v77test::BgrImage img = v77test::MakeNaturalImage(s.width, s.height, 3, 11);
            std::vector<uint8_t> first, out;
            for (v77jpeg::Path p : paths) {
                ASSERT_EQ(V77_JPEG_OK, Encode(img, 60, colour, out, p));
                if (first.empty())
                    first = out;
                ASSERT_EQ(first, out) << s.width << "x" << s.height << " path " << static_cast<int>(p);
            }
        }
}

} // namespace
