#include "kernels/Deinterlace.h"

#include "tests/native/GuardedBuffer.h"
#include "tests/native/TestImages.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Size {
    int rowBytes, rows;
};
const Size kSizes[] = {{1, 1}, {3, 5}, {17, 9}, {16, 2}, {31, 3}, {641, 479}, {1923, 7}};
const uint16_t kWeights[] = {0, 1, 64, 128, 200, 255, 256, 300, 65535};

// Exact value of the blend, rounded half up (all terms are multiples of 1/512,
// so double holds them exactly).
int Reference(int a, int c, int b, int w)
{
    double v = c * (1.0 - w / 256.0) + (a + b) / 2.0 * (w / 256.0);
    return static_cast<int>(std::floor(v + 0.5));
}

TEST(Deinterlace, BuildsAgreeAndMatchTheBlendOnOddSizes)
{
    for (Size s : kSizes) {
        int srcStep = s.rowBytes + 5, dstStep = s.rowBytes + 3;
        auto src = v77test::RandomBytes(static_cast<size_t>(srcStep) * s.rows, s.rowBytes * 31 + s.rows);
        // The destination ends at a guard page, so a write past the last row faults.
        size_t dstBytes = static_cast<size_t>(dstStep) * (s.rows - 1) + s.rowBytes;
        v77test::GuardedBuffer plain(dstBytes), sse2(dstBytes), guardedSrc(src.size() - 5);
        guardedSrc.Fill(src.data());
        for (uint16_t w : kWeights) {
            plain.Fill(0xA5);
            sse2.Fill(0xA5);
            V77DeinterlacePlain(guardedSrc.data(), srcStep, plain.data(), dstStep, w, s.rowBytes, s.rows);
            V77DeinterlaceSse2(guardedSrc.data(), srcStep, sse2.data(), dstStep, w, s.rowBytes, s.rows);
            ASSERT_EQ(0, std::memcmp(plain.data(), sse2.data(), dstBytes))
                << s.rowBytes << "x" << s.rows << " weight " << w;
            int we = w > 256 ? 256 : w;
            for (int y = 0; y < s.rows; ++y) {
                int up = y > 0 ? y - 1 : (s.rows > 1 ? 1 : 0);
                int down = y < s.rows - 1 ? y + 1 : (s.rows > 1 ? s.rows - 2 : 0);
                for (int x = 0; x < s.rowBytes; ++x) {
                    int want = Reference(src[up * srcStep + x], src[y * srcStep + x], src[down * srcStep + x], we);
                    ASSERT_EQ(want, plain.data()[y * dstStep + x]) << "row " << y << " col " << x << " w " << w;
                }
                // Padding between destination rows is left alone.
                for (int x = s.rowBytes; x < dstStep && y < s.rows - 1; ++x)
                    ASSERT_EQ(0xA5, plain.data()[y * dstStep + x]);
            }
        }
    }
}

TEST(Deinterlace, NegativeStepsWalkBottomUp)
{
    const int width = 37, rows = 6;
    auto src = v77test::RandomBytes(width * rows, 5);
    std::vector<uint8_t> down(width * rows), up(width * rows);
    V77Deinterlace(src.data(), width, down.data(), width, 100, width, rows);
    V77Deinterlace(src.data() + width * (rows - 1), -width, up.data() + width * (rows - 1), -width, 100,
                   width, rows);
    EXPECT_EQ(down, up);  // the blend is symmetric in the vertical direction
}

TEST(Deinterlace, IgnoresEmptyAndNullArguments)
{
    uint8_t src[4] = {1, 2, 3, 4}, dst[4] = {9, 9, 9, 9};
    V77Deinterlace(src, 2, dst, 2, 128, 0, 2);
    V77Deinterlace(src, 2, dst, 2, 128, 2, 0);
    V77Deinterlace(nullptr, 2, dst, 2, 128, 2, 2);
    V77Deinterlace(src, 2, nullptr, 2, 128, 2, 2);
    for (uint8_t b : dst)
        EXPECT_EQ(9, b);
}

} // namespace
