// The encoder's limits and builds, needing no outside decoder: the native
// suite and the Windows one (under Wine, as the DLL's compiler builds it)
// both run these.
#include "tests/native/GuardedBuffer.h"
#include "tests/native/JpegEncode.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using v77jpeg::Path;
using v77test::BgrImage;
using v77test::EncodeOptions;
using v77test::Encoded;
using v77test::Encoder;
using v77test::Flat;

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
                for (Path path : v77test::AvailableJpegPaths()) {
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

} // namespace
