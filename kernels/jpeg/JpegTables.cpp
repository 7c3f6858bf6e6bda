#include "kernels/jpeg/JpegInternal.h"

#include <cmath>

namespace v77jpeg {

namespace {

struct ZigzagTables {
    uint8_t toNatural[64];
    uint8_t toColumn[64];
};

// Walks the anti-diagonals, alternating direction, from the top-left corner.
constexpr ZigzagTables MakeZigzag()
{
    ZigzagTables t{};
    int k = 0;
    for (int s = 0; s < 15; ++s) {
        for (int i = 0; i <= s; ++i) {
            int row = (s & 1) ? i : s - i;
            int col = s - row;
            if (row < 8 && col < 8) {
                t.toNatural[k] = static_cast<uint8_t>(row * 8 + col);
                t.toColumn[k] = static_cast<uint8_t>(col * 8 + row);
                ++k;
            }
        }
    }
    return t;
}

constexpr ZigzagTables kZigzag = MakeZigzag();

} // namespace

const uint8_t kZigzagToNatural[64] = {
#define V77_ZZ(i) kZigzag.toNatural[i]
    V77_ZZ(0), V77_ZZ(1), V77_ZZ(2), V77_ZZ(3), V77_ZZ(4), V77_ZZ(5), V77_ZZ(6), V77_ZZ(7),
    V77_ZZ(8), V77_ZZ(9), V77_ZZ(10), V77_ZZ(11), V77_ZZ(12), V77_ZZ(13), V77_ZZ(14), V77_ZZ(15),
    V77_ZZ(16), V77_ZZ(17), V77_ZZ(18), V77_ZZ(19), V77_ZZ(20), V77_ZZ(21), V77_ZZ(22), V77_ZZ(23),
    V77_ZZ(24), V77_ZZ(25), V77_ZZ(26), V77_ZZ(27), V77_ZZ(28), V77_ZZ(29), V77_ZZ(30), V77_ZZ(31),
    V77_ZZ(32), V77_ZZ(33), V77_ZZ(34), V77_ZZ(35), V77_ZZ(36), V77_ZZ(37), V77_ZZ(38), V77_ZZ(39),
    V77_ZZ(40), V77_ZZ(41), V77_ZZ(42), V77_ZZ(43), V77_ZZ(44), V77_ZZ(45), V77_ZZ(46), V77_ZZ(47),
    V77_ZZ(48), V77_ZZ(49), V77_ZZ(50), V77_ZZ(51), V77_ZZ(52), V77_ZZ(53), V77_ZZ(54), V77_ZZ(55),
    V77_ZZ(56), V77_ZZ(57), V77_ZZ(58), V77_ZZ(59), V77_ZZ(60), V77_ZZ(61), V77_ZZ(62), V77_ZZ(63),
#undef V77_ZZ
};

const uint8_t kZigzagToColumn[64] = {
#define V77_ZZ(i) kZigzag.toColumn[i]
    V77_ZZ(0), V77_ZZ(1), V77_ZZ(2), V77_ZZ(3), V77_ZZ(4), V77_ZZ(5), V77_ZZ(6), V77_ZZ(7),
    V77_ZZ(8), V77_ZZ(9), V77_ZZ(10), V77_ZZ(11), V77_ZZ(12), V77_ZZ(13), V77_ZZ(14), V77_ZZ(15),
    V77_ZZ(16), V77_ZZ(17), V77_ZZ(18), V77_ZZ(19), V77_ZZ(20), V77_ZZ(21), V77_ZZ(22), V77_ZZ(23),
    V77_ZZ(24), V77_ZZ(25), V77_ZZ(26), V77_ZZ(27), V77_ZZ(28), V77_ZZ(29), V77_ZZ(30), V77_ZZ(31),
    V77_ZZ(32), V77_ZZ(33), V77_ZZ(34), V77_ZZ(35), V77_ZZ(36), V77_ZZ(37), V77_ZZ(38), V77_ZZ(39),
    V77_ZZ(40), V77_ZZ(41), V77_ZZ(42), V77_ZZ(43), V77_ZZ(44), V77_ZZ(45), V77_ZZ(46), V77_ZZ(47),
    V77_ZZ(48), V77_ZZ(49), V77_ZZ(50), V77_ZZ(51), V77_ZZ(52), V77_ZZ(53), V77_ZZ(54), V77_ZZ(55),
    V77_ZZ(56), V77_ZZ(57), V77_ZZ(58), V77_ZZ(59), V77_ZZ(60), V77_ZZ(61), V77_ZZ(62), V77_ZZ(63),
#undef V77_ZZ
};

// ITU-T T.81 Table K.1.
const uint8_t kBaseLumaQuant[64] = {
    16, 11, 10, 16, 24, 40, 51, 61,     12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56,     14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77,   24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};

// ITU-T T.81 Table K.2.
const uint8_t kBaseChromaQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
};

namespace {

const uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

// Table K.5.
const uint8_t kAcLumaValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

// Table K.6.
const uint8_t kAcChromaValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

} // namespace

const HuffSpec kDcLumaSpec = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kDcValues, 12};
const HuffSpec kDcChromaSpec = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kDcValues, 12};
const HuffSpec kAcLumaSpec = {{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, kAcLumaValues, 162};
const HuffSpec kAcChromaSpec = {{0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, kAcChromaValues, 162};

// Canonical codes in symbol order (T.81 Annex C).
void BuildHuffCodes(const HuffSpec& spec, HuffCodes& out)
{
    for (uint32_t& c : out.codeLen)
        c = 0;
    uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < spec.bits[len - 1]; ++i, ++k)
            out.codeLen[spec.values[k]] = (code++ << 8) | static_cast<uint32_t>(len);
        code <<= 1;
    }
}

void ScaleQuantTable(const uint8_t base[64], int quality, uint8_t out[64])
{
    if (quality < 1)
        quality = 1;
    if (quality > 100)
        quality = 100;
    int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    for (int i = 0; i < 64; ++i) {
        int q = (base[i] * scale + 50) / 100;
        out[i] = static_cast<uint8_t>(q < 1 ? 1 : (q > 255 ? 255 : q));
    }
}

void BuildQuantDivisors(const uint8_t quant[64], QuantDivisors& out)
{
    const double kPi = 3.14159265358979323846;
    double aan[8];
    aan[0] = 1.0;
    for (int k = 1; k < 8; ++k)
        aan[k] = std::sqrt(2.0) * std::cos(k * kPi / 16.0);
    for (int n = 0; n < 64; ++n) {
        int v = n >> 3, u = n & 7;
        double d = 16.0 * aan[u] * aan[v] * quant[n];  // >= 1.21 for any Q >= 1
        int s = 0;
        while ((1 << s) < d)
            ++s;
        if (s < 1)
            s = 1;
        long r = std::lround(((1 << s) / d - 1.0) * 65536.0);
        if (r > 65535)
            r = 65535;
        if (r < 0)
            r = 0;
        int i = ColumnIndex(n);
        out.recip[i] = static_cast<uint16_t>(r);
        out.half[i] = static_cast<uint16_t>(1 << (s - 1));
        out.shift[i] = static_cast<uint16_t>(1 << (16 - s));
    }
}

namespace {

constexpr ZigzagMaskTable MakeZigzagMaskTable()
{
    ZigzagMaskTable t{};
    uint8_t zigzagOfColumn[64] = {};
    for (int k = 0; k < 64; ++k)
        zigzagOfColumn[kZigzag.toColumn[k]] = static_cast<uint8_t>(k);
    for (int b = 0; b < 8; ++b)
        for (int v = 0; v < 256; ++v) {
            uint64_t m = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (v & (1 << bit))
                    m |= uint64_t{1} << zigzagOfColumn[b * 8 + bit];
            t.byByte[b][v] = m;
        }
    return t;
}

} // namespace

// Built by the compiler: no start-up work in the module.
constexpr ZigzagMaskTable kZigzagMaskTable = MakeZigzagMaskTable();

} // namespace v77jpeg
