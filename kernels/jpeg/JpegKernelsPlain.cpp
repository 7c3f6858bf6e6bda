// Portable build of the encoder kernels. Its arithmetic is the SIMD builds'
// lane for lane (same products, same truncations), so all builds produce the
// same JPEG bytes.
#include "kernels/jpeg/JpegInternal.h"

namespace v77jpeg {

namespace {

// High halves of 16 x 16 products, as the SIMD multiplies give them.
inline int MulHiU(int a, int b)
{
    return static_cast<int>((static_cast<uint32_t>(a & 0xFFFF) * static_cast<uint32_t>(b & 0xFFFF)) >> 16);
}

inline int MulHiS(int a, int b)
{
    return (static_cast<int16_t>(a) * static_cast<int16_t>(b)) >> 16;
}

// Level-shifted luma in eighths: 8 * Y - 1024, Y = 0.299 R + 0.587 G + 0.114 B.
inline int16_t Luma8(int b, int g, int r)
{
    int y256 = MulHiU(r << 8, 19595) + MulHiU(g << 8, 38470) + MulHiU(b << 8, 7471);
    return static_cast<int16_t>(((y256 + 16) >> 5) - 1024);
}

// Chroma in eighths from sums of four pixels (0..1020 each).
inline int16_t Cb8(int sb, int sg, int sr)
{
    int v = (sb << 3) - MulHiS(sr << 5, 5529) - MulHiS(sg << 5, 10855);
    return static_cast<int16_t>((v + 4) >> 3);
}

inline int16_t Cr8(int sb, int sg, int sr)
{
    int v = (sr << 3) - MulHiS(sg << 5, 13720) - MulHiS(sb << 5, 2664);
    return static_cast<int16_t>((v + 4) >> 3);
}

void ConvertColorPlain(const uint8_t* const rows[16], int16_t* y4, int16_t* cb, int16_t* cr)
{
    for (int row = 0; row < 16; ++row) {
        const uint8_t* p = rows[row];
        int16_t* yrow = y4 + (row < 8 ? 0 : 128) + (row & 7) * 8;
        for (int x = 0; x < 16; ++x)
            yrow[(x < 8 ? 0 : 64) + (x & 7)] = Luma8(p[x * 3], p[x * 3 + 1], p[x * 3 + 2]);
    }
    for (int cy = 0; cy < 8; ++cy) {
        const uint8_t* p0 = rows[cy * 2];
        const uint8_t* p1 = rows[cy * 2 + 1];
        for (int cx = 0; cx < 8; ++cx) {
            int s[3];
            for (int c = 0; c < 3; ++c) {
                int o = cx * 6 + c;
                s[c] = p0[o] + p0[o + 3] + p1[o] + p1[o + 3];
            }
            cb[cy * 8 + cx] = Cb8(s[0], s[1], s[2]);
            cr[cy * 8 + cx] = Cr8(s[0], s[1], s[2]);
        }
    }
}

void ConvertGreyPlain(const uint8_t* const rows[8], int16_t* y2)
{
    for (int row = 0; row < 8; ++row) {
        const uint8_t* p = rows[row];
        for (int x = 0; x < 16; ++x)
            y2[(x < 8 ? 0 : 64) + row * 8 + (x & 7)] = Luma8(p[x * 3], p[x * 3 + 1], p[x * 3 + 2]);
    }
}

// One 8-point AAN pass; the same steps as the SIMD pass.
void Dct1d(int d[8])
{
    int t0 = d[0] + d[7], t7 = d[0] - d[7];
    int t1 = d[1] + d[6], t6 = d[1] - d[6];
    int t2 = d[2] + d[5], t5 = d[2] - d[5];
    int t3 = d[3] + d[4], t4 = d[3] - d[4];

    int t10 = t0 + t3, t13 = t0 - t3;
    int t11 = t1 + t2, t12 = t1 - t2;
    d[0] = t10 + t11;
    d[4] = t10 - t11;
    int m = t12 + t13;
    int z1 = m - MulHiS(m, 19195);  // m * 0.707107
    d[2] = t13 + z1;
    d[6] = t13 - z1;

    int a = t4 + t5, b = t5 + t6, c = t6 + t7;
    int z5 = MulHiS(a - c, 25080);                 // * 0.382683
    int z2 = MulHiS(a << 1, 17734) + z5;           // a * 0.541196 + z5
    int z4 = c + MulHiS(c << 1, 10045) + z5;       // c * 1.306563 + z5
    int z3 = MulHiS(b << 1, 23170);                // b * 0.707107
    int z11 = t7 + z3, z13 = t7 - z3;
    d[5] = z13 + z2;
    d[3] = z13 - z2;
    d[1] = z11 + z4;
    d[7] = z11 - z4;
}

uint64_t FdctQuantPlain(const int16_t* in, const QuantDivisors& q, int16_t* out)
{
    int tmp[8][8];  // [vertical frequency][column]
    for (int x = 0; x < 8; ++x) {
        int d[8];
        for (int r = 0; r < 8; ++r)
            d[r] = in[r * 8 + x];
        Dct1d(d);
        for (int v = 0; v < 8; ++v)
            tmp[v][x] = (d[v] + 2) >> 2;  // eighths -> halves for the second pass
    }
    uint64_t mask = 0;
    for (int v = 0; v < 8; ++v) {
        Dct1d(tmp[v]);
        for (int u = 0; u < 8; ++u) {
            int i = u * 8 + v;
            int x = tmp[v][u];
            int a = x < 0 ? -x : x;
            int z = (a + MulHiU(a, q.recip[i]) + q.half[i]) & 0xFFFF;
            int m = MulHiU(z, q.shift[i]);
            out[i] = static_cast<int16_t>(x < 0 ? -m : m);
            if (m)
                mask |= uint64_t{1} << i;
        }
    }
    return mask;
}

} // namespace

const Kernels kPlainKernels = {ConvertColorPlain, ConvertGreyPlain, FdctQuantPlain};

} // namespace v77jpeg
