#include "kernels/PixelAdjust.h"

#include "kernels/ProcessorFeatures.h"
#include "tests/native/GuardedBuffer.h"
#include "tests/native/TestImages.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct Size {
    int width, height;
};
const Size kSizes[] = {{1, 1}, {3, 5}, {17, 9}, {8, 3}, {33, 2}, {641, 479}};

struct Setting {
    int16_t brightness, gain;
};
const Setting kSettings[] = {{0, 256},      {0, 0},       {32767, 256}, {-32768, 256}, {25, 300},
                             {-40, 128},    {7, 32767},   {-3, -256},   {1, -1},       {0, -32768},
                             {-32768, -32768}, {32767, 32767}, {255, 1},   {-1, 255},     {100, 513}};

using Runner = void (*)(const V77PixelAdjustRoutines&, const uint8_t*, uint8_t*, int, Size, Setting, bool);

// Runs one routine with both builds into guarded destinations and compares.
void CompareBuilds(const char* name, Runner run, int srcBytesPerPixel, int dstBytesPerRow, int dstRows)
{
    for (Size s : kSizes) {
        auto src = v77test::RandomBytes(static_cast<size_t>(s.width) * srcBytesPerPixel * s.height + 1,
                                        s.width * 13 + s.height);
        int pitch = dstBytesPerRow * s.width + 6;
        size_t dstBytes = static_cast<size_t>(pitch) * (dstRows * s.height - 1) + dstBytesPerRow * s.width;
        v77test::GuardedBuffer in(static_cast<size_t>(s.width) * srcBytesPerPixel * s.height);
        in.Fill(src.data());
        v77test::GuardedBuffer a(dstBytes), b(dstBytes);
        for (Setting set : kSettings)
            for (bool lineDouble : {false, true}) {
                a.Fill(0x77);
                b.Fill(0x77);
                run(kV77PixelAdjustPlain, in.data(), a.data(), pitch, s, set, lineDouble);
                run(kV77PixelAdjustSse2, in.data(), b.data(), pitch, s, set, lineDouble);
                ASSERT_EQ(0, std::memcmp(a.data(), b.data(), dstBytes))
                    << name << " " << s.width << "x" << s.height << " brightness " << set.brightness << " gain "
                    << set.gain << " lineDouble " << lineDouble;
            }
    }
}

TEST(PixelAdjust, BuildsAgreeForEveryRoutineSizeAndSetting)
{
    CompareBuilds("yuy2", [](const V77PixelAdjustRoutines& r, const uint8_t* s, uint8_t* d, int p, Size z, Setting t,
                             bool ld) { r.adjustYuy2(s, d, p, z.width, z.height, t.brightness, t.gain, ld); },
                  2, 2, 1);
    CompareBuilds("luma", [](const V77PixelAdjustRoutines& r, const uint8_t* s, uint8_t* d, int p, Size z, Setting t,
                             bool ld) { r.adjustLuma(s, d, p, z.width * 3, z.height, t.brightness, t.gain, ld); },
                  3, 3, 1);
    CompareBuilds("rgb565", [](const V77PixelAdjustRoutines& r, const uint8_t* s, uint8_t* d, int p, Size z,
                               Setting t, bool ld) { r.adjustRgb565(s, d, p, z.width, z.height, t.brightness, t.gain, ld); },
                  2, 2, 1);
}

TEST(PixelAdjust, ChromaBuildsAgreeAndKeepToTheirRows)
{
    for (Size s : kSizes) {
        if (s.width < 2)
            continue;
        int half = s.width / 2;
        int pitch = s.width + 10;  // destination rows of chroma advance pitch / 2
        auto src = v77test::RandomBytes(static_cast<size_t>(half) * s.height, s.width + 3);
        v77test::GuardedBuffer in(src.size());
        in.Fill(src.data());
        size_t dstBytes = static_cast<size_t>(pitch / 2) * (s.height - 1) + half;
        v77test::GuardedBuffer a(dstBytes), b(dstBytes);
        for (Setting set : kSettings) {
            a.Fill(0x33);
            b.Fill(0x33);
            kV77PixelAdjustPlain.adjustChroma(in.data(), a.data(), pitch, s.width, s.height, set.gain);
            kV77PixelAdjustSse2.adjustChroma(in.data(), b.data(), pitch, s.width, s.height, set.gain);
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), dstBytes)) << s.width << "x" << s.height;
            for (int y = 0; y + 1 < s.height; ++y)
                for (int x = half; x < pitch / 2; ++x)
                    ASSERT_EQ(0x33, a.data()[y * (pitch / 2) + x]) << "gap between rows written";
        }
    }
}

TEST(PixelAdjust, ExtremeSettingsSaturate)
{
    std::vector<uint8_t> src(256), dst(256);
    for (int i = 0; i < 256; ++i)
        src[i] = static_cast<uint8_t>(i);
    for (const auto* r : {&kV77PixelAdjustPlain, &kV77PixelAdjustSse2}) {
        r->adjustLuma(src.data(), dst.data(), 256, 256, 1, 32767, 256, false);
        for (uint8_t v : dst)
            ASSERT_EQ(255, v);
        r->adjustLuma(src.data(), dst.data(), 256, 256, 1, -32768, 256, false);
        for (uint8_t v : dst)
            ASSERT_EQ(0, v);
        // Gain 0: luma falls to the brightness offset, chroma to 128.
        r->adjustLuma(src.data(), dst.data(), 256, 256, 1, 40, 0, false);
        for (uint8_t v : dst)
            ASSERT_EQ(40, v);
        r->adjustChroma(src.data(), dst.data(), 256, 512, 1, 0);
        for (uint8_t v : dst)
            ASSERT_EQ(128, v);
        // Gain 32767 (contrast 127): everything but the darkest levels hits 255.
        r->adjustLuma(src.data(), dst.data(), 256, 256, 1, 0, 32767, false);
        EXPECT_EQ(0, dst[0]);
        EXPECT_EQ(127, dst[1]);  // 1 * 32767 / 256 = 127.99 truncated
        for (int i = 3; i < 256; ++i)
            ASSERT_EQ(255, dst[i]);
        // Neutral settings copy.
        r->adjustLuma(src.data(), dst.data(), 256, 256, 1, 0, 256, false);
        EXPECT_EQ(src, dst);
        r->adjustChroma(src.data(), dst.data(), 256, 512, 1, 256);
        EXPECT_EQ(src, dst);
    }
}

TEST(PixelAdjust, DivisionTruncatesTowardZero)
{
    for (const auto* r : {&kV77PixelAdjustPlain, &kV77PixelAdjustSse2}) {
        // Chroma 127 is -1 from neutral: -1 * 128 / 256 = -0.5 truncates to 0, keeping 128
        // (floor would give 127); 126 is -2: -1 exactly.
        uint8_t c[32], out[32];
        for (int i = 0; i < 32; ++i)
            c[i] = static_cast<uint8_t>(i & 1 ? 126 : 127);
        r->adjustChroma(c, out, 64, 64, 1, 128);
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(i & 1 ? 127 : 128, out[i]) << "byte " << i;
        // Luma with negative gain: 1 * -1 / 256 truncates to 0, so brightness 10 stays 10.
        uint8_t y[32], yo[32];
        for (int i = 0; i < 32; ++i)
            y[i] = static_cast<uint8_t>(i);
        r->adjustLuma(y, yo, 32, 32, 1, 10, -1, false);
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(10, yo[i]);
        // 200 * -300 / 256 = -234.4 -> -234; + 240 = 6.
        uint8_t big[16], bo[16];
        std::fill(big, big + 16, 200);
        r->adjustLuma(big, bo, 16, 16, 1, 240, -300, false);
        for (uint8_t v : bo)
            ASSERT_EQ(6, v);
    }
}

TEST(PixelAdjust, Rgb565ChannelsUseHalfBrightnessForFiveBits)
{
    // B = 10, G = 20, R = 30 in one pixel, repeated to cover the SIMD path.
    const uint16_t px = static_cast<uint16_t>(10 | (20 << 5) | (30 << 11));
    std::vector<uint8_t> src(2 * 24), dst(2 * 24);
    for (int i = 0; i < 24; ++i) {
        src[i * 2] = static_cast<uint8_t>(px);
        src[i * 2 + 1] = static_cast<uint8_t>(px >> 8);
    }
    for (const auto* r : {&kV77PixelAdjustPlain, &kV77PixelAdjustSse2}) {
        // Gain 1.5, brightness 3: B = 15 + 1 = 16, G = 30 + 3 = 33, R = 45 + 1 -> 31.
        r->adjustRgb565(src.data(), dst.data(), 48, 24, 1, 3, 384, false);
        for (int i = 0; i < 24; ++i) {
            uint16_t v = static_cast<uint16_t>(dst[i * 2] | (dst[i * 2 + 1] << 8));
            ASSERT_EQ(16, v & 31);
            ASSERT_EQ(33, (v >> 5) & 63);
            ASSERT_EQ(31, v >> 11);
        }
        // Brightness -1: -1 / 2 truncates to 0 for B and R, G loses 1.
        r->adjustRgb565(src.data(), dst.data(), 48, 24, 1, -1, 256, false);
        uint16_t v = static_cast<uint16_t>(dst[0] | (dst[1] << 8));
        EXPECT_EQ(10, v & 31);
        EXPECT_EQ(19, (v >> 5) & 63);
        EXPECT_EQ(30, v >> 11);
    }
}

TEST(PixelAdjust, Yuy2AdjustsLumaAndChromaBytesByTheirOwnRules)
{
    std::vector<uint8_t> src(4 * 10), dst(4 * 10);
    for (int i = 0; i < 10; ++i) {
        src[i * 4 + 0] = 100;  // Y0
        src[i * 4 + 1] = 160;  // U
        src[i * 4 + 2] = 50;   // Y1
        src[i * 4 + 3] = 96;   // V
    }
    for (const auto* r : {&kV77PixelAdjustPlain, &kV77PixelAdjustSse2}) {
        r->adjustYuy2(src.data(), dst.data(), 40, 20, 1, 20, 512, false);
        for (int i = 0; i < 10; ++i) {
            ASSERT_EQ(220, dst[i * 4 + 0]);  // 100 * 2 + 20
            ASSERT_EQ(192, dst[i * 4 + 1]);  // (160 - 128) * 2 + 128, no brightness
            ASSERT_EQ(120, dst[i * 4 + 2]);
            ASSERT_EQ(64, dst[i * 4 + 3]);   // (96 - 128) * 2 + 128
        }
    }
}

TEST(PixelAdjust, LineDoublingShowsTheFirstFieldTwice)
{
    const int width = 21, rows = 7, pitch = width * 3 + 2;
    std::vector<uint8_t> src(static_cast<size_t>(width) * 3 * rows);
    for (int y = 0; y < rows; ++y)
        std::fill(src.begin() + y * width * 3, src.begin() + (y + 1) * width * 3, static_cast<uint8_t>(10 * y + 5));
    for (const auto* r : {&kV77PixelAdjustPlain, &kV77PixelAdjustSse2}) {
        std::vector<uint8_t> dst(static_cast<size_t>(pitch) * rows, 0);
        r->adjustLuma(src.data(), dst.data(), pitch, width * 3, rows, 1, 256, true);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < width * 3; ++x)
                ASSERT_EQ(10 * (y & ~1) + 6, dst[y * pitch + x]) << "row " << y;
        r->adjustLuma(src.data(), dst.data(), pitch, width * 3, rows, 1, 256, false);
        for (int y = 0; y < rows; ++y)
            ASSERT_EQ(10 * y + 6, dst[y * pitch + width]) << "row " << y;

        // The same rule for YUY2 and RGB565 rows (rows of width * 2 bytes).
        std::vector<uint8_t> s2(static_cast<size_t>(width) * 2 * rows), d2(static_cast<size_t>(pitch) * rows);
        for (int y = 0; y < rows; ++y)
            std::fill(s2.begin() + y * width * 2, s2.begin() + (y + 1) * width * 2, static_cast<uint8_t>(y * 2));
        r->adjustYuy2(s2.data(), d2.data(), pitch, width, rows, 0, 256, true);
        for (int y = 0; y < rows; ++y)
            ASSERT_EQ((y & ~1) * 2, d2[y * pitch]) << "yuy2 row " << y;
        r->adjustRgb565(s2.data(), d2.data(), pitch, width, rows, 0, 256, true);
        for (int y = 0; y < rows; ++y)
            ASSERT_EQ((y & ~1) * 2, d2[y * pitch + 2]) << "rgb565 row " << y;
    }
}

TEST(PixelAdjust, SelectionFollowsTheSse2Bit)
{
    EXPECT_EQ(&V77SelectPixelAdjust(V77_CPU_SSE2 | V77_CPU_MMX), &kV77PixelAdjustSse2);
    EXPECT_EQ(&V77SelectPixelAdjust(V77_CPU_MMX | V77_CPU_SSE), &kV77PixelAdjustPlain);
    std::vector<uint8_t> src = v77test::RandomBytes(64, 1), a(64), b(64);
    V77AdjustLuma(src.data(), a.data(), 64, 64, 1, 9, 300, false);
    V77SelectPixelAdjust(V77ProcessorFeatures()).adjustLuma(src.data(), b.data(), 64, 64, 1, 9, 300, false);
    EXPECT_EQ(a, b);
}

} // namespace
