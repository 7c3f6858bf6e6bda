// The AVX2 build of the resize rows: the SSE2 build's horizontal pass (YUY2
// rows have their own, with byte shuffles) and a vertical blend of 32 bytes a
// step, with the same arithmetic as the plain build (see Resize.h). Built with
// -mavx2; chosen only when the processor and the system report AVX2.
#include "kernels/Resize.h"

#include <cstring>
#include <immintrin.h>

#if !defined(__AVX2__)
#error "this file must be compiled with AVX2 enabled"
#endif

namespace {

void VerticalAvx2(const int16_t* h0, const int16_t* h1, int wy, uint8_t* out, int n)
{
    const __m256i w8 = _mm256_set1_epi16(static_cast<short>(wy << 8));
    const __m256i half = _mm256_set1_epi16(64);
    int j = 0;
    for (; j + 32 <= n; j += 32) {
        __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + j));
        __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + j + 16));
        __m256i t0 = _mm256_mulhi_epi16(
            _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + j)), a0), w8);
        __m256i t1 = _mm256_mulhi_epi16(
            _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + j + 16)), a1), w8);
        __m256i r0 = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(a0, half), _mm256_add_epi16(t0, t0)), 7);
        __m256i r1 = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(a1, half), _mm256_add_epi16(t1, t1)), 7);
        // packus works per 128-bit lane: restore byte order across the lanes.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(r0, r1), 0xD8));
    }
    kV77ResizeSse2.vertical(h0 + j, h1 + j, wy, out + j, n - j);
}

inline long long Load64(const uint8_t* p)
{
    long long v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Two YUY2 columns, a luma byte (j even) and the chroma byte after it: one
// 8-byte read at each column's first tap holds its second tap too, 2 bytes
// on for luma and 4 for chroma. A weight of 0 ignores the second tap, so
// reading it there instead of at o1 gives the plain build's bytes.
inline __m128i Yuy2TapPairs(const uint8_t* row, const int32_t* o0)
{
    const __m128i both = _mm_insert_epi64(_mm_cvtsi64_si128(Load64(row + o0[0])), Load64(row + o0[1]), 1);
    // -> 16-bit a0, b0, a1, b1 in the low half.
    const __m128i pick = _mm_setr_epi8(0, -1, 2, -1, 8, -1, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm_shuffle_epi8(both, pick);
}

int HorizontalYuy2Avx2(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    const __m128i k128 = _mm_set1_epi16(128);
    int j = 0;
    for (; j + 8 <= c.wideEnd; j += 8) {
        const __m128i p0 = _mm_unpacklo_epi64(Yuy2TapPairs(row, c.o0 + j), Yuy2TapPairs(row, c.o0 + j + 2));
        const __m128i p1 = _mm_unpacklo_epi64(Yuy2TapPairs(row, c.o0 + j + 4), Yuy2TapPairs(row, c.o0 + j + 6));
        const __m128i wb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.w + j));
        const __m128i wa = _mm_sub_epi16(k128, wb);
        const __m128i lo = _mm_madd_epi16(p0, _mm_unpacklo_epi16(wa, wb));
        const __m128i hi = _mm_madd_epi16(p1, _mm_unpackhi_epi16(wa, wb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + j), _mm_packs_epi32(lo, hi));
    }
    return j;
}

// YUY2 rows read 8 bytes a column; every other layout takes the SSE2 build's
// horizontal pass.
void HorizontalAvx2(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    if (c.channels != 2) {
        kV77ResizeSse2.horizontal(row, c, h);
        return;
    }
    for (int j = HorizontalYuy2Avx2(row, c, h); j < c.n; ++j)
        h[j] = static_cast<int16_t>(row[c.o0[j]] * (128 - c.w[j]) + row[c.o1[j]] * c.w[j]);
}

} // namespace

const V77ResizeRowKernels kV77ResizeAvx2 = {"AVX2", HorizontalAvx2, VerticalAvx2};
