#include "kernels/PixelAdjust.h"

#include "kernels/ProcessorFeatures.h"
#include "tests/native/GuardedBuffer.h"
#include "tests/native/TestImages.h"

#include <algorithm>
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

// The documented integer rule, with C's division truncating toward zero:
// level * gain / 256 + brightness, chroma around 128 without brightness, and
// RGB565's five-bit channels taking half the brightness.
int Adjusted(int level, int gain, int brightness, int max)
{
    return std::clamp(level * gain / 256 + brightness, 0, max);
}

int AdjustedChroma(int c, int gain) { return std::clamp((c - 128) * gain / 256 + 128, 0, 255); }

TEST(PixelAdjust, EveryLevelFollowsTheIntegerRuleForEverySetting)
{
    std::vector<uint8_t> levels(256), rgb565(2 * 65536);
    for (int i = 0; i < 256; ++i)
        levels[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 65536; ++i) {
        rgb565[i * 2] = static_cast<uint8_t>(i);
        rgb565[i * 2 + 1] = static_cast<uint8_t>(i >> 8);
    }
    std::vector<uint8_t> out(rgb565.size());
    for (const auto* r : {&kV77PixelAdjustPlain, &kV77PixelAdjustSse2})
        for (Setting set : kSettings) {
            const int b = set.brightness, g = set.gain;
            SCOPED_TRACE(::testing::Message() << "brightness " << b << " gain " << g);
            r->adjustLuma(levels.data(), out.data(), 256, 256, 1, set.brightness, set.gain, false);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(Adjusted(i, g, b, 255), out[i]) << "luma " << i;
            r->adjustChroma(levels.data(), out.data(), 512, 512, 1, set.gain);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(AdjustedChroma(i, g), out[i]) << "chroma " << i;
            // YUY2: even bytes are luma, odd bytes chroma.
            r->adjustYuy2(levels.data(), out.data(), 256, 128, 1, set.brightness, set.gain, false);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(i & 1 ? AdjustedChroma(i, g) : Adjusted(i, g, b, 255), out[i]) << "yuy2 byte " << i;
            r->adjustRgb565(rgb565.data(), out.data(), 2 * 65536, 65536, 1, set.brightness, set.gain, false);
            for (int i = 0; i < 65536; ++i) {
                const int v = out[i * 2] | (out[i * 2 + 1] << 8);
                ASSERT_EQ(Adjusted(i & 31, g, b / 2, 31), v & 31) << "rgb565 blue of " << i;
                ASSERT_EQ(Adjusted((i >> 5) & 63, g, b, 63), (v >> 5) & 63) << "rgb565 green of " << i;
                ASSERT_EQ(Adjusted(i >> 11, g, b / 2, 31), v >> 11) << "rgb565 red of " << i;
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
