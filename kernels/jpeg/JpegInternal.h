// Encoder internals shared by the encoder core, its per-processor kernels
// and the tests.
#pragma once

#include "kernels/jpeg/V77Jpeg.h"

#include <cstdint>

namespace v77jpeg {

// Coefficient blocks produced by the forward DCT are stored column by column:
// index u * 8 + v holds horizontal frequency u, vertical frequency v. The
// quantiser tables use the same order.
constexpr int ColumnIndex(int naturalIndex)
{
    return (naturalIndex & 7) * 8 + (naturalIndex >> 3);
}

// Natural (row-major) index of zigzag position k.
extern const uint8_t kZigzagToNatural[64];
// Column-order index of zigzag position k.
extern const uint8_t kZigzagToColumn[64];

// Annex K.1 / K.2 quantisation tables, natural order.
extern const uint8_t kBaseLumaQuant[64];
extern const uint8_t kBaseChromaQuant[64];

// Annex K.3 - K.6 Huffman tables: code counts per length 1..16, then symbols.
struct HuffSpec {
    uint8_t bits[16];
    const uint8_t* values;
    int count;
};
extern const HuffSpec kDcLumaSpec, kDcChromaSpec, kAcLumaSpec, kAcChromaSpec;

// Derived encoder table: code in the upper 24 bits, length in the low 8.
struct HuffCodes {
    uint32_t codeLen[256];
};
void BuildHuffCodes(const HuffSpec& spec, HuffCodes& out);

// Quality 1..100 (clamped) applied to a base table: IJG-style scaling,
// results 1..255, natural order.
void ScaleQuantTable(const uint8_t base[64], int quality, uint8_t out[64]);

// Divisors for the DCT's scaled output (column order). For a coefficient
// magnitude a, the quantised magnitude is
//     mulhi(a + mulhi(a, recip) + half, shift)
// with mulhi the high half of an unsigned 16-bit product, which is
// round(a / D) for D = 16 * aan(u) * aan(v) * Q: the AAN DCT leaves its
// output scaled by 8 * aan(u) * aan(v), and its second pass works on values
// in halves (the samples enter in eighths and are rounded between passes).
struct alignas(16) QuantDivisors {
    uint16_t recip[64];
    uint16_t half[64];
    uint16_t shift[64];
};
void BuildQuantDivisors(const uint8_t quant[64], QuantDivisors& out);

// Zigzag-order bit mask from a column-order one (bit i = coefficient i),
// one table lookup per byte.
struct ZigzagMaskTable {
    uint64_t byByte[8][256];
};
extern const ZigzagMaskTable kZigzagMaskTable;

inline uint64_t ZigzagMask(uint64_t m)
{
    const auto& t = kZigzagMaskTable.byByte;
    return t[0][m & 0xFF] | t[1][(m >> 8) & 0xFF] | t[2][(m >> 16) & 0xFF] | t[3][(m >> 24) & 0xFF] |
           t[4][(m >> 32) & 0xFF] | t[5][(m >> 40) & 0xFF] | t[6][(m >> 48) & 0xFF] | t[7][m >> 56];
}

// Per-processor kernels.
//
// Colour MCU: rows[0..15] each point at 16 BGR pixels; writes the four luma
// blocks (top-left, top-right, bottom-left, bottom-right) and the Cb and Cr
// blocks, row-major, as level-shifted samples in eighths (8 * value - 1024).
// Grey: rows[0..7] each with 16 pixels; writes two luma blocks.
// Forward DCT + quantisation: in is a row-major block from the converters,
// out the quantised coefficients in column order; returns the column-order
// mask of nonzero coefficients.
struct Kernels {
    void (*convertColor)(const uint8_t* const rows[16], int16_t* y4, int16_t* cb, int16_t* cr);
    void (*convertGrey)(const uint8_t* const rows[8], int16_t* y2);
    uint64_t (*fdctQuant)(const int16_t* in, const QuantDivisors& q, int16_t* out);
};

extern const Kernels kPlainKernels;
extern const Kernels kSse2Kernels;
extern const Kernels kSsse3Kernels;  // needs V77_CPU_SSSE3

enum class Path { Auto, Plain, Sse2, Ssse3 };

// V77JpegWrite with a chosen kernel set (tests and benchmarks compare them).
int32_t WriteWithPath(V77_JPEG_PROPERTIES* props, int32_t mode, Path path);

} // namespace v77jpeg
