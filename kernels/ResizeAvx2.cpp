// The AVX2 build of the resize rows: the SSE2 build's horizontal pass and a
// vertical blend of 32 bytes a step, with the same arithmetic as the plain
// build (see Resize.h). Built with -mavx2; chosen only when the processor
// and the system report AVX2.
#include "kernels/Resize.h"

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

// The SSE2 build's horizontal pass, called through its table.
void HorizontalAvx2(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    kV77ResizeSse2.horizontal(row, c, h);
}

} // namespace

const V77ResizeRowKernels kV77ResizeAvx2 = {"AVX2", HorizontalAvx2, VerticalAvx2};
