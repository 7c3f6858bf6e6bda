// The JPEG encoder as the Windows module builds it, run under Wine: its output
// decodes with the platform's own decoder (WIC). The portable kernel and
// encoder suites of tests/native are compiled into this executable too, so
// the DLL compiler's builds face the same references and guard pages (AVX2
// spills on a 16-byte aligned stack here).
#include "tests/kit/WicJpegDecoder.h"
#include "tests/native/JpegEncode.h"

#include <cstring>
#include <gtest/gtest.h>
#include <objbase.h>
#include <vector>

namespace {

using v77test::EncodeOptions;
using v77test::Encoded;

class JpegUnderWine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    v77test::Encoder m_Encoder;
};

TEST_F(JpegUnderWine, NaturalImageRoundTripsThroughWic)
{
    v77test::BgrImage img = v77test::MakeNaturalImage(641, 479, 1);
    Encoded e = m_Encoder.Encode(img);
    ASSERT_EQ(V77_JPEG_OK, e.rc);
    WicDecodedImage d;
    ASSERT_EQ(S_OK, WicDecodeJpeg(e.bytes.data(), e.bytes.size(), d));
    ASSERT_EQ(641u, d.width);
    ASSERT_EQ(479u, d.height);
    EXPECT_EQ(3u, d.channels);
    std::vector<uint8_t> src(static_cast<size_t>(641) * 479 * 3);
    for (int y = 0; y < 479; ++y)
        std::memcpy(src.data() + static_cast<size_t>(y) * 641 * 3, img.Row(y), 641 * 3);
    EXPECT_GT(v77test::Psnr(src.data(), d.bgr.data(), src.size()), 30.0);

    // Grey: one component, expanded to equal BGR channels.
    EncodeOptions grey;
    grey.colour = false;
    grey.quality = 90;
    e = m_Encoder.Encode(img, grey);
    ASSERT_EQ(V77_JPEG_OK, e.rc);
    ASSERT_EQ(S_OK, WicDecodeJpeg(e.bytes.data(), e.bytes.size(), d));
    EXPECT_EQ(1u, d.channels);
    ASSERT_EQ(641u, d.width);
    for (size_t i = 0; i < d.bgr.size(); i += 3) {
        ASSERT_EQ(d.bgr[i], d.bgr[i + 1]);
        ASSERT_EQ(d.bgr[i], d.bgr[i + 2]);
    }
}

} // namespace
