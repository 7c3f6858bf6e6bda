// SIMD encoder kernels, included by the SSE2 translation unit and by the
// SSSE3 one (built with -mssse3). Everything here has internal linkage, so
// the two builds never share a compiled copy.
#pragma once

#include "kernels/jpeg/JpegInternal.h"

#include <emmintrin.h>
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

namespace v77jpeg {
namespace {

inline __m128i Load16(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

inline void Store16(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

inline __m128i Abs16(__m128i x)
{
#if defined(__SSSE3__)
    return _mm_abs_epi16(x);
#else
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
#endif
}

// q with the sign of x (q is 0 wherever x is 0).
inline __m128i WithSignOf(__m128i q, __m128i x)
{
#if defined(__SSSE3__)
    return _mm_sign_epi16(q, x);
#else
    __m128i s = _mm_srai_epi16(x, 15);
    return _mm_sub_epi16(_mm_xor_si128(q, s), s);
#endif
}

#if defined(__SSSE3__)
struct ShuffleMasks {
    alignas(16) int8_t m[3][3][16];  // [channel][source register][output byte]
};

constexpr ShuffleMasks MakeShuffleMasks()
{
    ShuffleMasks t{};
    for (int c = 0; c < 3; ++c)
        for (int s = 0; s < 3; ++s)
            for (int j = 0; j < 16; ++j) {
                int idx = j * 3 + c;
                t.m[c][s][j] = static_cast<int8_t>(idx / 16 == s ? idx % 16 : -128);
            }
    return t;
}

constexpr ShuffleMasks kShuffle = MakeShuffleMasks();

inline __m128i Gather(const __m128i l[3], int c)
{
    const __m128i* m = reinterpret_cast<const __m128i*>(kShuffle.m[c]);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(l[0], _mm_load_si128(m)),
                                     _mm_shuffle_epi8(l[1], _mm_load_si128(m + 1))),
                        _mm_shuffle_epi8(l[2], _mm_load_si128(m + 2)));
}
#else
// 4 pixels in the low 12 bytes -> [B0..B3][G0..G3][R0..R3][junk].
inline __m128i Planar4(__m128i x)
{
    __m128i ab = _mm_unpacklo_epi8(x, _mm_srli_si128(x, 3));
    __m128i cd = _mm_unpacklo_epi8(_mm_srli_si128(x, 6), _mm_srli_si128(x, 9));
    return _mm_unpacklo_epi16(ab, cd);
}
#endif

// 16 BGR pixels (48 bytes) -> one register per channel.
inline void Deinterleave16(const uint8_t* p, __m128i& b, __m128i& g, __m128i& r)
{
    __m128i l[3] = {Load16(p), Load16(p + 16), Load16(p + 32)};
#if defined(__SSSE3__)
    b = Gather(l, 0);
    g = Gather(l, 1);
    r = Gather(l, 2);
#else
    __m128i q0 = Planar4(l[0]);
    __m128i q1 = Planar4(_mm_or_si128(_mm_srli_si128(l[0], 12), _mm_slli_si128(l[1], 4)));
    __m128i q2 = Planar4(_mm_or_si128(_mm_srli_si128(l[1], 8), _mm_slli_si128(l[2], 8)));
    __m128i q3 = Planar4(_mm_srli_si128(l[2], 4));
    __m128i t0 = _mm_unpacklo_epi32(q0, q1), t1 = _mm_unpackhi_epi32(q0, q1);
    __m128i t2 = _mm_unpacklo_epi32(q2, q3), t3 = _mm_unpackhi_epi32(q2, q3);
    b = _mm_unpacklo_epi64(t0, t2);
    g = _mm_unpackhi_epi64(t0, t2);
    r = _mm_unpacklo_epi64(t1, t3);
#endif
}

// Level-shifted luma in eighths of 8 pixels whose channels sit in the high
// bytes of 16-bit lanes (value << 8).
inline __m128i Luma8(__m128i b8, __m128i g8, __m128i r8)
{
    __m128i y = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(r8, _mm_set1_epi16(19595)),
                                            _mm_mulhi_epu16(g8, _mm_set1_epi16(static_cast<short>(38470)))),
                              _mm_mulhi_epu16(b8, _mm_set1_epi16(7471)));
    y = _mm_srli_epi16(_mm_add_epi16(y, _mm_set1_epi16(16)), 5);
    return _mm_sub_epi16(y, _mm_set1_epi16(1024));
}

// Luma of 16 pixels into two block rows.
inline void Luma16(__m128i b, __m128i g, __m128i r, int16_t* left, int16_t* right)
{
    const __m128i zero = _mm_setzero_si128();
    Store16(left, Luma8(_mm_unpacklo_epi8(zero, b), _mm_unpacklo_epi8(zero, g), _mm_unpacklo_epi8(zero, r)));
    Store16(right, Luma8(_mm_unpackhi_epi8(zero, b), _mm_unpackhi_epi8(zero, g), _mm_unpackhi_epi8(zero, r)));
}

// Sums of horizontal pixel pairs in 16-bit lanes.
inline __m128i PairSums(__m128i v)
{
    return _mm_add_epi16(_mm_and_si128(v, _mm_set1_epi16(0x00FF)), _mm_srli_epi16(v, 8));
}

void ConvertColorSimd(const uint8_t* const rows[16], int16_t* y4, int16_t* cb, int16_t* cr)
{
    for (int cy = 0; cy < 8; ++cy) {
        __m128i sb = _mm_setzero_si128(), sg = sb, sr = sb;
        for (int k = 0; k < 2; ++k) {
            int row = cy * 2 + k;
            __m128i b, g, r;
            Deinterleave16(rows[row], b, g, r);
            int16_t* yrow = y4 + (row < 8 ? 0 : 128) + (row & 7) * 8;
            Luma16(b, g, r, yrow, yrow + 64);
            sb = _mm_add_epi16(sb, PairSums(b));
            sg = _mm_add_epi16(sg, PairSums(g));
            sr = _mm_add_epi16(sr, PairSums(r));
        }
        __m128i sb5 = _mm_slli_epi16(sb, 5), sg5 = _mm_slli_epi16(sg, 5), sr5 = _mm_slli_epi16(sr, 5);
        __m128i vb = _mm_sub_epi16(_mm_sub_epi16(_mm_slli_epi16(sb, 3), _mm_mulhi_epi16(sr5, _mm_set1_epi16(5529))),
                                   _mm_mulhi_epi16(sg5, _mm_set1_epi16(10855)));
        __m128i vr = _mm_sub_epi16(_mm_sub_epi16(_mm_slli_epi16(sr, 3), _mm_mulhi_epi16(sg5, _mm_set1_epi16(13720))),
                                   _mm_mulhi_epi16(sb5, _mm_set1_epi16(2664)));
        const __m128i half = _mm_set1_epi16(4);
        Store16(cb + cy * 8, _mm_srai_epi16(_mm_add_epi16(vb, half), 3));
        Store16(cr + cy * 8, _mm_srai_epi16(_mm_add_epi16(vr, half), 3));
    }
}

void ConvertGreySimd(const uint8_t* const rows[8], int16_t* y2)
{
    for (int row = 0; row < 8; ++row) {
        __m128i b, g, r;
        Deinterleave16(rows[row], b, g, r);
        Luma16(b, g, r, y2 + row * 8, y2 + 64 + row * 8);
    }
}

// One 8-point AAN pass across the eight registers (each lane its own line).
inline void Dct1d(__m128i d[8])
{
    __m128i t0 = _mm_add_epi16(d[0], d[7]), t7 = _mm_sub_epi16(d[0], d[7]);
    __m128i t1 = _mm_add_epi16(d[1], d[6]), t6 = _mm_sub_epi16(d[1], d[6]);
    __m128i t2 = _mm_add_epi16(d[2], d[5]), t5 = _mm_sub_epi16(d[2], d[5]);
    __m128i t3 = _mm_add_epi16(d[3], d[4]), t4 = _mm_sub_epi16(d[3], d[4]);

    __m128i t10 = _mm_add_epi16(t0, t3), t13 = _mm_sub_epi16(t0, t3);
    __m128i t11 = _mm_add_epi16(t1, t2), t12 = _mm_sub_epi16(t1, t2);
    d[0] = _mm_add_epi16(t10, t11);
    d[4] = _mm_sub_epi16(t10, t11);
    __m128i m = _mm_add_epi16(t12, t13);
    __m128i z1 = _mm_sub_epi16(m, _mm_mulhi_epi16(m, _mm_set1_epi16(19195)));
    d[2] = _mm_add_epi16(t13, z1);
    d[6] = _mm_sub_epi16(t13, z1);

    __m128i a = _mm_add_epi16(t4, t5), b = _mm_add_epi16(t5, t6), c = _mm_add_epi16(t6, t7);
    __m128i z5 = _mm_mulhi_epi16(_mm_sub_epi16(a, c), _mm_set1_epi16(25080));
    __m128i z2 = _mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(a, 1), _mm_set1_epi16(17734)), z5);
    __m128i z4 = _mm_add_epi16(_mm_add_epi16(c, _mm_mulhi_epi16(_mm_slli_epi16(c, 1), _mm_set1_epi16(10045))), z5);
    __m128i z3 = _mm_mulhi_epi16(_mm_slli_epi16(b, 1), _mm_set1_epi16(23170));
    __m128i z11 = _mm_add_epi16(t7, z3), z13 = _mm_sub_epi16(t7, z3);
    d[5] = _mm_add_epi16(z13, z2);
    d[3] = _mm_sub_epi16(z13, z2);
    d[1] = _mm_add_epi16(z11, z4);
    d[7] = _mm_sub_epi16(z11, z4);
}

inline void Transpose8x8(__m128i r[8])
{
    __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

uint64_t FdctQuantSimd(const int16_t* in, const QuantDivisors& q, int16_t* out)
{
    __m128i r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = Load16(in + i * 8);
    Dct1d(r);  // vertical: register = vertical frequency, lane = column
    // The first pass keeps the samples' eighths; the second, whose sums grow
    // four times larger, works in halves.
    const __m128i two = _mm_set1_epi16(2);
    for (int i = 0; i < 8; ++i)
        r[i] = _mm_srai_epi16(_mm_add_epi16(r[i], two), 2);
    Transpose8x8(r);
    Dct1d(r);  // horizontal: register = horizontal frequency, lane = vertical one
    __m128i qv[8];
    for (int i = 0; i < 8; ++i) {
        __m128i a = Abs16(r[i]);
        __m128i z = _mm_add_epi16(_mm_add_epi16(a, _mm_mulhi_epu16(a, _mm_load_si128(reinterpret_cast<const __m128i*>(q.recip + i * 8)))),
                                  _mm_load_si128(reinterpret_cast<const __m128i*>(q.half + i * 8)));
        __m128i m = _mm_mulhi_epu16(z, _mm_load_si128(reinterpret_cast<const __m128i*>(q.shift + i * 8)));
        qv[i] = WithSignOf(m, r[i]);
        Store16(out + i * 8, qv[i]);
    }
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        __m128i p = _mm_packs_epi16(qv[i * 2], qv[i * 2 + 1]);
        zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(p, zero)))) << (i * 16);
    }
    return ~zeros;
}

} // namespace
} // namespace v77jpeg
