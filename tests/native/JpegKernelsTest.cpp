// The encoder's per-processor kernels against double-precision references:
// colour conversion and the scaled integer DCT with its folded quantiser.
#include "kernels/jpeg/JpegInternal.h"

#include "kernels/ProcessorFeatures.h"
#include "tests/native/TestImages.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using v77jpeg::Kernels;

std::vector<const Kernels*> Builds()
{
    std::vector<const Kernels*> k = {&v77jpeg::kPlainKernels, &v77jpeg::kSse2Kernels};
    if (V77ProcessorFeatures() & V77_CPU_SSSE3)
        k.push_back(&v77jpeg::kSsse3Kernels);
    return k;
}

TEST(JpegKernels, ColourConversionMatchesJfifWithinAnEighthLevel)
{
    v77test::Rng rng(17);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> px(16 * 48);
        for (auto& b : px)  // mix of extremes and random values
            b = static_cast<uint8_t>(round < 20 ? ((rng.Next() & 1) ? 255 : 0) : rng.Next() >> 24);
        const uint8_t* rows[16];
        for (int r = 0; r < 16; ++r)
            rows[r] = px.data() + r * 48;
        alignas(16) int16_t ref[6][64];
        bool first = true;
        for (const Kernels* k : Builds()) {
            alignas(16) int16_t out[6][64];
            k->convertColor(rows, out[0], out[4], out[5]);
            if (first) {
                std::memcpy(ref, out, sizeof out);
                first = false;
            } else {
                ASSERT_EQ(0, std::memcmp(ref, out, sizeof out)) << "builds differ";
            }
        }
        // Values are in eighths of a level.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const uint8_t* p = rows[y] + x * 3;
                double want = 8 * (0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0]) - 1024;
                int got = ref[(y / 8) * 2 + x / 8][(y & 7) * 8 + (x & 7)];
                ASSERT_LE(std::fabs(got - want), 1.0) << "luma at " << x << "," << y;
            }
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                double b = 0, g = 0, r = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const uint8_t* p = rows[y * 2 + dy] + (x * 2 + dx) * 3;
                        b += p[0] / 4.0;
                        g += p[1] / 4.0;
                        r += p[2] / 4.0;
                    }
                double cb = 8 * (-0.168736 * r - 0.331264 * g + 0.5 * b);
                double cr = 8 * (0.5 * r - 0.418688 * g - 0.081312 * b);
                ASSERT_LE(std::fabs(ref[4][y * 8 + x] - cb), 1.0) << "Cb at " << x << "," << y;
                ASSERT_LE(std::fabs(ref[5][y * 8 + x] - cr), 1.0) << "Cr at " << x << "," << y;
            }
    }
}

// Orthonormal JPEG DCT of a row-major block of samples in eighths.
void ReferenceDct(const int16_t* in, double out[64])
{
    const double pi = 3.14159265358979323846;
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    s += in[y * 8 + x] / 8.0 * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
            double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
            out[v * 8 + u] = 0.25 * cu * cv * s;
        }
}

TEST(JpegKernels, ForwardDctAndQuantiserMatchTheExactTransform)
{
    v77test::Rng rng(23);
    for (int quality : {10, 50, 75, 95, 100}) {
        uint8_t quant[64];
        v77jpeg::ScaleQuantTable(v77jpeg::kBaseLumaQuant, quality, quant);
        v77jpeg::QuantDivisors div;
        v77jpeg::BuildQuantDivisors(quant, div);
        int exact = 0, total = 0;
        // 16-bit fixed point: half a step of rounding plus a small error that
        // only shows where the steps are tiny (quality 100: steps of 1).
        const double tolerance = quality < 100 ? 1.0 : 2.5;
        for (int round = 0; round < 400; ++round) {
            alignas(16) int16_t in[64];
            int kind = round % 4;  // noise, extremes, smooth ramps, flat
            for (int i = 0; i < 64; ++i) {
                int s;
                if (kind == 0)
                    s = static_cast<int>(rng.Next() % 256);
                else if (kind == 1)
                    s = (rng.Next() & 1) ? 255 : 0;
                else if (kind == 2)
                    s = ((i & 7) * 30 + (i >> 3) * 5 + round) % 256;
                else
                    s = round % 256;
                in[i] = static_cast<int16_t>(8 * s - 1024);
            }
            double f[64];
            ReferenceDct(in, f);
            alignas(16) int16_t first[64];
            uint64_t firstMask = 0;
            bool isFirst = true;
            for (const Kernels* k : Builds()) {
                alignas(16) int16_t out[64];
                uint64_t mask = k->fdctQuant(in, div, out);
                if (isFirst) {
                    std::memcpy(first, out, sizeof out);
                    firstMask = mask;
                    isFirst = false;
                    continue;
                }
                ASSERT_EQ(0, std::memcmp(first, out, sizeof out)) << "builds differ at quality " << quality;
                ASSERT_EQ(firstMask, mask);
            }
            for (int n = 0; n < 64; ++n) {
                int i = v77jpeg::ColumnIndex(n);
                double want = f[n] / quant[n];
                int got = first[i];
                ASSERT_EQ(got != 0, ((firstMask >> i) & 1) != 0) << "mask bit " << i;
                ASSERT_LE(std::fabs(got - want), tolerance) << "q" << quality << " coefficient " << n << ": " << got
                                                        << " vs " << want;
                exact += got == std::lround(want);
                ++total;
            }
        }
        // Away from the tiniest steps nearly every value is the exact rounding.
        EXPECT_GT(exact, total * (quality < 95 ? 99 : (quality < 100 ? 97 : 90)) / 100)
            << "quality " << quality << ": " << exact << " of " << total;
    }
}

TEST(JpegKernels, HuffmanTablesAreCompleteAndPrefixFree)
{
    for (const v77jpeg::HuffSpec* spec :
         {&v77jpeg::kDcLumaSpec, &v77jpeg::kDcChromaSpec, &v77jpeg::kAcLumaSpec, &v77jpeg::kAcChromaSpec}) {
        v77jpeg::HuffCodes codes;
        v77jpeg::BuildHuffCodes(*spec, codes);
        int n = 0;
        for (int len = 0; len < 16; ++len)
            n += spec->bits[len];
        ASSERT_EQ(spec->count, n);
        bool ac = spec->count == 162;
        // AC: every run 0..15 with size 1..10, plus EOB and ZRL; DC: sizes 0..11.
        for (int sym = 0; sym < 256; ++sym) {
            bool needed = ac ? (sym == 0 || sym == 0xF0 || ((sym & 15) >= 1 && (sym & 15) <= 10))
                             : sym <= 11;
            ASSERT_EQ(needed, codes.codeLen[sym] != 0) << "symbol " << sym;
        }
        // No code is a prefix of another and none is all ones (reserved).
        for (int a = 0; a < 256; ++a) {
            uint32_t ca = codes.codeLen[a];
            if (!ca)
                continue;
            int la = ca & 0xFF;
            ASSERT_NE((1u << la) - 1, ca >> 8) << "all-ones code for " << a;
            for (int b = 0; b < 256; ++b) {
                uint32_t cb = codes.codeLen[b];
                if (!cb || a == b)
                    continue;
                int lb = cb & 0xFF;
                if (la <= lb) {
                    ASSERT_NE(ca >> 8, (cb >> 8) >> (lb - la)) << a << " prefixes " << b;
                }
            }
        }
    }
}

} // namespace
