#include "kernels/ProcessorFeatures.h"
#include "kernels/Resize.h"

#include "tests/native/GuardedBuffer.h"
#include "tests/native/TestImages.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Every build this processor can run; the first is the reference.
std::vector<const V77ResizeRowKernels*> Builds()
{
    std::vector<const V77ResizeRowKernels*> b = {&kV77ResizePlain, &kV77ResizeSse2};
    if (V77ProcessorFeatures() & V77_CPU_AVX2)
        b.push_back(&kV77ResizeAvx2);
    return b;
}

struct Geometry {
    V77Size src;
    V77Rect roi;
    V77Size dst;
};

// Odd sizes both ways, identity, extreme ratios and rectangles reaching past the picture.
const Geometry kGeometries[] = {
    {{1, 1}, {0, 0, 1, 1}, {1, 1}},         {{1, 1}, {0, 0, 1, 1}, {7, 5}},
    {{2, 3}, {0, 0, 2, 3}, {1, 1}},         {{3, 5}, {0, 0, 3, 5}, {17, 9}},
    {{17, 9}, {0, 0, 17, 9}, {3, 5}},       {{33, 31}, {0, 0, 33, 31}, {33, 31}},
    {{641, 479}, {0, 0, 641, 479}, {319, 237}}, {{101, 77}, {13, 7, 51, 41}, {67, 53}},
    {{64, 48}, {-5, -3, 200, 100}, {31, 23}},   {{9, 1}, {0, 0, 9, 1}, {1000, 2}},
    {{1000, 3}, {0, 0, 1000, 3}, {1, 1}},   {{35, 21}, {34, 20, 1, 1}, {5, 3}},
};

double Factor(int dst, int src)
{
    return static_cast<double>(dst) / src;
}

// Independent double-precision bilinear with the same sampling geometry.
double ReferenceSample(const std::vector<uint8_t>& src, int step, int ch, int c, double sx, double sy, int x0, int x1,
                       int y0, int y1)
{
    sx = std::fmin(std::fmax(sx, x0), x1 - 1);
    sy = std::fmin(std::fmax(sy, y0), y1 - 1);
    int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
    int jx = std::min(ix + 1, x1 - 1), jy = std::min(iy + 1, y1 - 1);
    double fx = sx - ix, fy = sy - iy;
    auto at = [&](int x, int y) { return static_cast<double>(src[static_cast<size_t>(y) * step + x * ch + c]); };
    return (at(ix, iy) * (1 - fx) + at(jx, iy) * fx) * (1 - fy) + (at(ix, jy) * (1 - fx) + at(jx, jy) * fx) * fy;
}

// Smooth content: every build must track the exact bilinear value closely.
std::vector<uint8_t> SmoothImage(int width, int height, int step, int ch, uint32_t seed)
{
    std::vector<uint8_t> v(static_cast<size_t>(step) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < ch; ++c)
                v[static_cast<size_t>(y) * step + x * ch + c] =
                    v77test::Clamp8(255 * v77test::SmoothNoise(x / 7.0, y / 5.0, seed + c));
    return v;
}

// Two channels stand for YUY2, whose chroma of a one-pixel-wide source is neutral.
TEST(Resize, EveryBuildGivesTheSameBytesForEveryChannelCountAndYuy2InsideGuardedBuffers)
{
    for (int ch : {1, 2, 3, 4})
        for (const Geometry& g : kGeometries) {
            const bool yuy2 = ch == 2;
            const int interpolation = yuy2 ? V77_INTERPOLATION_LINEAR : V77_INTERPOLATION_LINEAR_SMOOTH;
            const int srcStep = g.src.width * ch + 3;
            const auto src = v77test::RandomBytes(static_cast<size_t>(srcStep) * g.src.height, g.src.width + ch);
            v77test::GuardedBuffer in(static_cast<size_t>(srcStep) * (g.src.height - 1) + g.src.width * ch);
            in.Fill(src.data());
            // The destination rectangle sits at (2, 1) of a larger picture and ends at the guard page.
            const V77Rect dstRoi = {2, 1, g.dst.width, g.dst.height};
            const int dstStep = (dstRoi.x + g.dst.width) * ch + 1;
            const size_t dstBytes = static_cast<size_t>(dstStep) * (dstRoi.y + g.dst.height - 1) +
                                    (dstRoi.x + g.dst.width) * ch;
            const size_t origin = static_cast<size_t>(dstRoi.y) * dstStep + dstRoi.x * ch;
            const double xf = Factor(g.dst.width, g.src.width), yf = Factor(g.dst.height, g.src.height);
            int scratch = 0;
            if (!yuy2) {
                ASSERT_EQ(V77_RESIZE_OK, V77ResizeBufferSize(g.roi, dstRoi, ch, interpolation, &scratch));
            }
            std::vector<std::vector<uint8_t>> outs;
            for (const V77ResizeRowKernels* k : Builds()) {
                v77test::GuardedBuffer out(dstBytes), work(static_cast<size_t>(scratch));
                out.Fill(0x5A);
                ASSERT_EQ(V77_RESIZE_OK,
                          yuy2 ? V77ResizeYuv422With(*k, in.data(), g.src, srcStep, g.roi, out.data() + origin,
                                                     dstStep, g.dst, xf, yf, interpolation)
                               : V77ResizeChannelsWith(*k, ch, in.data(), g.src, srcStep, g.roi, out.data(), dstStep,
                                                       dstRoi, xf, yf, 0.0, 0.0, interpolation, work.data()))
                    << k->name;
                outs.emplace_back(out.data(), out.data() + dstBytes);
                for (int y = 0; y < dstRoi.y + g.dst.height; ++y)
                    for (int x = 0; x < dstStep && static_cast<size_t>(y) * dstStep + x < dstBytes; ++x) {
                        const uint8_t byte = out.data()[static_cast<size_t>(y) * dstStep + x];
                        if (y < dstRoi.y || x < dstRoi.x * ch || x >= (dstRoi.x + g.dst.width) * ch) {
                            ASSERT_EQ(0x5A, byte) << k->name << " wrote outside the rectangle at " << x << "," << y;
                        } else if (yuy2 && g.src.width == 1 && (x & 1)) {
                            ASSERT_EQ(128, byte) << "chroma at " << x << "," << y;
                        }
                    }
            }
            for (size_t b = 1; b < outs.size(); ++b)
                ASSERT_EQ(outs[0], outs[b]) << Builds()[b]->name << ", " << ch << " channels, " << g.src.width << "x"
                                            << g.src.height << " -> " << g.dst.width << "x" << g.dst.height;
        }
}

TEST(Resize, TracksExactBilinearAndCopiesAtFactorOne)
{
    struct Case {
        int ch;
        Geometry g;
    } cases[] = {{1, {{97, 61}, {0, 0, 97, 61}, {51, 33}}},
                 {3, {{40, 30}, {0, 0, 40, 30}, {97, 71}}},
                 {4, {{80, 60}, {10, 20, 40, 30}, {40, 30}}}};
    for (const Case& cs : cases) {
        const Geometry& g = cs.g;
        const int ch = cs.ch, srcStep = g.src.width * ch + 1, dstStep = g.dst.width * ch;
        const auto src = SmoothImage(g.src.width, g.src.height, srcStep, ch, 3);
        const double xf = Factor(g.dst.width, g.src.width), yf = Factor(g.dst.height, g.src.height);
        const V77Rect dstRoi = {0, 0, g.dst.width, g.dst.height};
        int scratch = 0;
        ASSERT_EQ(V77_RESIZE_OK, V77ResizeBufferSize(g.roi, dstRoi, ch, V77_INTERPOLATION_LINEAR, &scratch));
        std::vector<uint8_t> work(scratch), out(static_cast<size_t>(dstStep) * g.dst.height);
        ASSERT_EQ(V77_RESIZE_OK, V77ResizeChannelsWith(kV77ResizePlain, ch, src.data(), g.src, srcStep, g.roi,
                                                       out.data(), dstStep, dstRoi, xf, yf, 0, 0,
                                                       V77_INTERPOLATION_LINEAR, work.data()));
        for (int y = 0; y < g.dst.height; ++y)
            for (int x = 0; x < g.dst.width; ++x)
                for (int c = 0; c < ch; ++c) {
                    double want = ReferenceSample(src, srcStep, ch, c, g.roi.x + (x + 0.5) / xf - 0.5,
                                                  g.roi.y + (y + 0.5) / yf - 0.5, g.roi.x, g.roi.x + g.roi.width,
                                                  g.roi.y, g.roi.y + g.roi.height);
                    ASSERT_LE(std::fabs(out[static_cast<size_t>(y) * dstStep + x * ch + c] - want), 2.0)
                        << ch << " channels at " << x << "," << y;
                }
    }
    // Same size, no shift: an exact copy of the rectangle.
    const auto src = v77test::RandomBytes(50 * 3 * 20, 8);
    std::vector<uint8_t> out(20 * 3 * 10), work(1 << 16);
    ASSERT_EQ(V77_RESIZE_OK, V77ResizeC3(src.data(), {50, 20}, 150, {5, 4, 20, 10}, out.data(), 60, {0, 0, 20, 10},
                                         1.0, 1.0, 0, 0, V77_INTERPOLATION_LINEAR_SMOOTH, work.data()));
    for (int y = 0; y < 10; ++y)
        ASSERT_EQ(0, std::memcmp(&out[y * 60], &src[(y + 4) * 150 + 15], 60)) << "row " << y;
}

TEST(Resize, BadArgumentsAreRefusedAndWriteNothing)
{
    std::vector<uint8_t> src(64 * 64 * 4, 1), dst(64 * 64 * 4, 0x5A), work(1 << 16);
    const V77Size s = {16, 16};
    const V77Rect roi = {0, 0, 16, 16}, dr = {0, 0, 8, 8};
    auto C4 = [&](V77Size size, int step, V77Rect r, int dstStep, V77Rect d, double xf, double yf, int interp,
                  uint8_t* buf) {
        return V77ResizeC4(src.data(), size, step, r, dst.data(), dstStep, d, xf, yf, 0, 0, interp, buf);
    };
    EXPECT_EQ(V77_RESIZE_NULL_POINTER, C4(s, 64, roi, 32, dr, .5, .5, 2, nullptr));
    EXPECT_EQ(V77_RESIZE_BAD_SIZE, C4({0, 16}, 64, roi, 32, dr, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_SIZE, C4(s, 64, roi, 32, {0, 0, 0, 8}, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_SIZE, C4(s, 64, {0, 0, -1, 16}, 32, dr, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_STEP, C4(s, 63, roi, 32, dr, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_STEP, C4(s, 64, roi, 31, dr, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_FACTOR, C4(s, 64, roi, 32, dr, 0.0, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_FACTOR, C4(s, 64, roi, 32, dr, .5, std::nan(""), 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_FACTOR, C4(s, 64, roi, 32, dr, HUGE_VAL, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_INTERPOLATION, C4(s, 64, roi, 32, dr, .5, .5, 1, work.data()));
    EXPECT_EQ(V77_RESIZE_NO_OVERLAP, C4(s, 64, {16, 0, 4, 4}, 32, dr, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_NO_OVERLAP, C4(s, 64, {-8, -8, 8, 8}, 32, dr, .5, .5, 2, work.data()));
    EXPECT_EQ(V77_RESIZE_BAD_STEP, V77ResizeYuv422(src.data(), s, 31, roi, dst.data(), 16, {8, 8}, .5, .5, 2));
    EXPECT_EQ(V77_RESIZE_BAD_SIZE, V77ResizeYuv422(src.data(), s, 32, roi, dst.data(), 16, {8, 0}, .5, .5, 2));
    for (uint8_t b : dst)
        ASSERT_EQ(0x5A, b);
    int bytes = -1;
    EXPECT_EQ(V77_RESIZE_NULL_POINTER, V77ResizeBufferSize(roi, dr, 3, 2, nullptr));
    EXPECT_EQ(V77_RESIZE_BAD_SIZE, V77ResizeBufferSize(roi, dr, 2, 2, &bytes));
    EXPECT_EQ(V77_RESIZE_NO_MEMORY, V77ResizeBufferSize(roi, {0, 0, 1 << 30, 1}, 4, 2, &bytes));
    EXPECT_EQ(-1, bytes);
    // Absurd factors still stay inside the rectangle (constant source, constant output).
    std::fill(src.begin(), src.end(), 77);
    EXPECT_EQ(V77_RESIZE_OK, C4(s, 64, roi, 32, dr, 1e-300, 1e300, V77_INTERPOLATION_LINEAR, work.data()));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(77, dst[y * 32 + x]);
}

TEST(Resize, DispatchPicksTheBuildForTheFeatureWord)
{
    EXPECT_EQ(&kV77ResizeSse2, &V77SelectResizeKernels(V77_CPU_SSE2 | V77_CPU_SSE));
    EXPECT_EQ(&kV77ResizePlain, &V77SelectResizeKernels(V77_CPU_MMX | V77_CPU_SSE));
    EXPECT_EQ(&kV77ResizeAvx2, &V77SelectResizeKernels(V77_CPU_SSE2 | V77_CPU_AVX2));
}

} // namespace
