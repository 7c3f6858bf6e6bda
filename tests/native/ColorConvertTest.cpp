#include "kernels/ColorConvert.h"
#include "kernels/ProcessorFeatures.h"

#include "tests/native/GuardedBuffer.h"
#include "tests/native/TestImages.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Size {
    int width, height;
};
const Size kSizes[] = {{1, 1}, {2, 1}, {1, 3}, {3, 5}, {17, 9}, {16, 2}, {33, 4}, {66, 7}, {32, 3}, {97, 6}, {64, 2}, {641, 479}};

// BT.601 limited range in double precision, B G R.
void ReferenceBgr(int y, int u, int v, int out[3])
{
    double yy = (y - 16) * 255.0 / 219.0, cb = (u - 128) * 255.0 / 224.0, cr = (v - 128) * 255.0 / 224.0;
    double r = yy + 1.402 * cr;
    double g = yy - 1.772 * 0.114 / 0.587 * cb - 1.402 * 0.299 / 0.587 * cr;
    double b = yy + 1.772 * cb;
    double c[3] = {b, g, r};
    for (int i = 0; i < 3; ++i) {
        long q = std::lround(c[i]);
        out[i] = q < 0 ? 0 : (q > 255 ? 255 : static_cast<int>(q));
    }
}

TEST(ColorConvert, EveryYuvTripleIsWithinOneOfBt601AndBlackAndWhiteAreExact)
{
    int worst = 0;
    for (int y = 0; y < 256; ++y)
        for (int u = 0; u < 256; ++u)
            for (int v = 0; v < 256; ++v) {
                uint8_t got[3];
                int want[3];
                V77YuvPixelToBgr(y, u, v, got);
                ReferenceBgr(y, u, v, want);
                for (int c = 0; c < 3; ++c) {
                    int d = std::abs(got[c] - want[c]);
                    if (d > worst)
                        worst = d;
                    if (d > 1)
                        FAIL() << "Y " << y << " U " << u << " V " << v << " channel " << c << ": " << int(got[c])
                               << " vs " << want[c];
                }
            }
    EXPECT_LE(worst, 1);
    // Limited-range black and white are exact.
    uint8_t p[3];
    V77YuvPixelToBgr(16, 128, 128, p);
    EXPECT_EQ(0, p[0] | p[1] | p[2]);
    V77YuvPixelToBgr(235, 128, 128, p);
    EXPECT_EQ(255, p[0] & p[1] & p[2]);
}

// Chroma sample of a pixel under the incomplete-pair rule (-1: neutral).
int ChromaIndex(int pos, int size)
{
    int n = size / 2;
    if (n == 0)
        return -1;
    return pos / 2 < n ? pos / 2 : n - 1;
}

TEST(ColorConvert, Yuy2BuildsAgreeAndPickTheRightChroma)
{
    for (Size s : kSizes) {
        int srcStep = s.width * 2 + 6, dstStep = s.width * 3 + 4;
        auto src = v77test::RandomBytes(static_cast<size_t>(srcStep) * s.height, s.width * 7 + s.height);
        // Source and destination end at guard pages: the last row may not be overrun.
        v77test::GuardedBuffer in(static_cast<size_t>(srcStep) * (s.height - 1) + s.width * 2);
        in.Fill(src.data());
        size_t dstBytes = static_cast<size_t>(dstStep) * (s.height - 1) + s.width * 3;
        v77test::GuardedBuffer plain(dstBytes), sse2(dstBytes);
        plain.Fill(0x5A);
        sse2.Fill(0x5A);
        V77Yuy2ToBgr24Plain(in.data(), srcStep, plain.data(), dstStep, s.width, s.height);
        V77Yuy2ToBgr24Sse2(in.data(), srcStep, sse2.data(), dstStep, s.width, s.height);
        ASSERT_EQ(0, std::memcmp(plain.data(), sse2.data(), dstBytes)) << s.width << "x" << s.height;
        for (int y = 0; y < s.height; ++y) {
            const uint8_t* row = src.data() + y * srcStep;
            for (int x = 0; x < s.width; ++x) {
                int pair = ChromaIndex(x, s.width);
                int u = pair < 0 ? 128 : row[pair * 4 + 1], v = pair < 0 ? 128 : row[pair * 4 + 3];
                int want[3];
                ReferenceBgr(row[x * 2], u, v, want);
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(plain.data()[y * dstStep + x * 3 + c] - want[c]), 1)
                        << s.width << "x" << s.height << " pixel " << x << "," << y;
            }
            for (int x = s.width * 3; x < dstStep && y < s.height - 1; ++x)
                ASSERT_EQ(0x5A, plain.data()[y * dstStep + x]) << "row padding written";
        }
    }
}

TEST(ColorConvert, Yuv420BuildsAgreeAndPickTheRightChroma)
{
    for (Size s : kSizes) {
        int cw = s.width / 2, ch = s.height / 2;
        int steps[3] = {s.width + 3, cw + 1, cw + 2};
        int dstStep = s.width * 3 + 1;
        auto y = v77test::RandomBytes(static_cast<size_t>(steps[0]) * s.height, 11 + s.width);
        auto u = v77test::RandomBytes(static_cast<size_t>(steps[1]) * (ch ? ch : 1), 12 + s.width);
        auto v = v77test::RandomBytes(static_cast<size_t>(steps[2]) * (ch ? ch : 1), 13 + s.width);
        // Each plane ends exactly after its last sample (floor-sized chroma).
        v77test::GuardedBuffer gy(static_cast<size_t>(steps[0]) * (s.height - 1) + s.width);
        v77test::GuardedBuffer gu(ch ? static_cast<size_t>(steps[1]) * (ch - 1) + cw : 0);
        v77test::GuardedBuffer gv(ch ? static_cast<size_t>(steps[2]) * (ch - 1) + cw : 0);
        gy.Fill(y.data());
        gu.Fill(u.data());
        gv.Fill(v.data());
        const uint8_t* planes[3] = {gy.data(), gu.data(), gv.data()};
        size_t dstBytes = static_cast<size_t>(dstStep) * (s.height - 1) + s.width * 3;
        v77test::GuardedBuffer plain(dstBytes), other(dstBytes);
        V77Yuv420ToBgr24Plain(planes, steps, plain.data(), dstStep, s.width, s.height);
        const uint32_t cpu = V77ProcessorFeatures();
        for (auto build : {&V77Yuv420ToBgr24Sse2, cpu & V77_CPU_SSSE3 ? &V77Yuv420ToBgr24Ssse3 : nullptr,
                           cpu & V77_CPU_AVX2 ? &V77Yuv420ToBgr24Avx2 : nullptr}) {
            if (!build)
                continue;
            build(planes, steps, other.data(), dstStep, s.width, s.height);
            ASSERT_EQ(0, std::memcmp(plain.data(), other.data(), dstBytes)) << s.width << "x" << s.height;
        }
        for (int py = 0; py < s.height; ++py)
            for (int px = 0; px < s.width; ++px) {
                int cx = ChromaIndex(px, s.width), cy = ChromaIndex(py, s.height);
                bool neutral = cx < 0 || cy < 0;
                int uu = neutral ? 128 : u[cy * steps[1] + cx], vv = neutral ? 128 : v[cy * steps[2] + cx];
                int want[3];
                ReferenceBgr(y[py * steps[0] + px], uu, vv, want);
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(plain.data()[py * dstStep + px * 3 + c] - want[c]), 1)
                        << s.width << "x" << s.height << " pixel " << px << "," << py;
            }
    }
}

TEST(ColorConvert, DispatchedCallsMatchTheSelectedBuild)
{
    const int w = 50, h = 6;
    auto yuy2 = v77test::RandomBytes(w * 2 * h, 99);
    std::vector<uint8_t> a(w * 3 * h), b(w * 3 * h);
    V77Yuy2ToBgr24(yuy2.data(), w * 2, a.data(), w * 3, w, h);
    V77Yuy2ToBgr24Plain(yuy2.data(), w * 2, b.data(), w * 3, w, h);
    EXPECT_EQ(a, b);
    EXPECT_EQ(V77SelectYuy2ToBgr24(V77_CPU_SSE2), &V77Yuy2ToBgr24Sse2);
    EXPECT_EQ(V77SelectYuy2ToBgr24(V77_CPU_MMX), &V77Yuy2ToBgr24Plain);
    EXPECT_EQ(V77SelectYuv420ToBgr24(V77_CPU_SSE2 | V77_CPU_SSSE3), &V77Yuv420ToBgr24Ssse3);
    EXPECT_EQ(V77SelectYuv420ToBgr24(V77_CPU_SSE2 | V77_CPU_SSSE3 | V77_CPU_AVX2), &V77Yuv420ToBgr24Avx2);
    EXPECT_EQ(V77SelectYuv420ToBgr24(V77_CPU_SSE2), &V77Yuv420ToBgr24Sse2);
    EXPECT_EQ(V77SelectYuv420ToBgr24(0), &V77Yuv420ToBgr24Plain);
}

} // namespace
