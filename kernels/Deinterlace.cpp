#include "kernels/Deinterlace.h"

#include "kernels/ProcessorFeatures.h"

#include <emmintrin.h>

namespace {

struct RowSet {
    const uint8_t* above;
    const uint8_t* cur;
    const uint8_t* below;
};

RowSet Rows(const uint8_t* src, int srcStep, int y, int rows)
{
    // Mirror at the picture edges: the one neighbour a border row has is used
    // for both sides.
    int up = y > 0 ? y - 1 : (rows > 1 ? 1 : 0);
    int down = y < rows - 1 ? y + 1 : (rows > 1 ? rows - 2 : 0);
    return {src + static_cast<intptr_t>(up) * srcStep, src + static_cast<intptr_t>(y) * srcStep,
            src + static_cast<intptr_t>(down) * srcStep};
}

inline uint8_t BlendByte(int a, int c, int b, int w)
{
    return static_cast<uint8_t>((c * (512 - 2 * w) + (a + b) * w + 256) >> 9);
}

void BlendRowPlain(const RowSet& r, uint8_t* out, int from, int to, int w)
{
    for (int x = from; x < to; ++x)
        out[x] = BlendByte(r.above[x], r.cur[x], r.below[x], w);
}

} // namespace

void V77DeinterlacePlain(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                         uint16_t weight, int rowBytes, int rows)
{
    if (!src || !dst || rowBytes < 1 || rows < 1)
        return;
    int w = weight > 256 ? 256 : weight;
    for (int y = 0; y < rows; ++y)
        BlendRowPlain(Rows(src, srcStep, y, rows), dst + static_cast<intptr_t>(y) * dstStep, 0,
                      rowBytes, w);
}

void V77DeinterlaceSse2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                        uint16_t weight, int rowBytes, int rows)
{
    if (!src || !dst || rowBytes < 1 || rows < 1)
        return;
    int w = weight > 256 ? 256 : weight;
    // madd pairs (c, a + b) with (512 - 2w, w): both factors fit in 16 bits,
    // the sums need 32.
    const __m128i k = _mm_set1_epi32(((w & 0xFFFF) << 16) | ((512 - 2 * w) & 0xFFFF));
    const __m128i round = _mm_set1_epi32(256);
    const __m128i zero = _mm_setzero_si128();
    const int simdEnd = rowBytes & ~15;
    for (int y = 0; y < rows; ++y) {
        RowSet r = Rows(src, srcStep, y, rows);
        uint8_t* out = dst + static_cast<intptr_t>(y) * dstStep;
        for (int x = 0; x < simdEnd; x += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.above + x));
            __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.cur + x));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.below + x));
            __m128i nLo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
            __m128i nHi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
            __m128i cLo = _mm_unpacklo_epi8(c, zero);
            __m128i cHi = _mm_unpackhi_epi8(c, zero);
            __m128i s0 = _mm_madd_epi16(_mm_unpacklo_epi16(cLo, nLo), k);
            __m128i s1 = _mm_madd_epi16(_mm_unpackhi_epi16(cLo, nLo), k);
            __m128i s2 = _mm_madd_epi16(_mm_unpacklo_epi16(cHi, nHi), k);
            __m128i s3 = _mm_madd_epi16(_mm_unpackhi_epi16(cHi, nHi), k);
            s0 = _mm_srai_epi32(_mm_add_epi32(s0, round), 9);
            s1 = _mm_srai_epi32(_mm_add_epi32(s1, round), 9);
            s2 = _mm_srai_epi32(_mm_add_epi32(s2, round), 9);
            s3 = _mm_srai_epi32(_mm_add_epi32(s3, round), 9);
            __m128i lo = _mm_packs_epi32(s0, s1);
            __m128i hi = _mm_packs_epi32(s2, s3);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
        }
        BlendRowPlain(r, out, simdEnd, rowBytes, w);
    }
}

// The MMX build of the original 32-bit design has no place on x86-64, where
// SSE2 is always present; without SSE2 the plain build runs.
V77DeinterlaceFn V77SelectDeinterlace(uint32_t features)
{
    return (features & V77_CPU_SSE2) ? V77DeinterlaceSse2 : V77DeinterlacePlain;
}

void V77Deinterlace(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                    uint16_t weight, int rowBytes, int rows)
{
    static const V77DeinterlaceFn fn = V77SelectDeinterlace(V77ProcessorFeatures());
    fn(src, srcStep, dst, dstStep, weight, rowBytes, rows);
}
