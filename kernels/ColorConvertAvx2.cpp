// The AVX2 build of the 4:2:0 -> BGR24 conversion: the arithmetic of
// ColorConvert.cpp (same terms, same rounding, byte for byte) on 32 pixels at
// a time, two picture rows per chroma row, the BGR interleave by 16-byte
// shuffles. Built with -mavx2; chosen only when the processor and the system
// report AVX2.
#include "kernels/ColorConvert.h"

#include <immintrin.h>

#if !defined(__AVX2__)
#error "this file must be compiled with AVX2 enabled"
#endif

namespace {

// The coefficients of ColorConvert.cpp (1/32 of a level, high-half products).
constexpr short kY = 19077, kRv = 13075, kGu = 3209, kGv = 6660, kBu = 16525;

// mask[part][component][i]: the pixel whose component goes to byte i of part
// part of 48 bytes of BGR, or 0x80.
struct Masks {
    alignas(16) unsigned char m[3][3][16];
    constexpr Masks() : m()
    {
        for (int part = 0; part < 3; ++part)
            for (int comp = 0; comp < 3; ++comp)
                for (int i = 0; i < 16; ++i) {
                    const int k = part * 16 + i;
                    m[part][comp][i] = static_cast<unsigned char>(k % 3 == comp ? k / 3 : 0x80);
                }
    }
};
constexpr Masks kMasks;

inline void Store16Bgr(__m128i b, __m128i g, __m128i r, uint8_t* d)
{
    for (int part = 0; part < 3; ++part) {
        const __m128i* m = reinterpret_cast<const __m128i*>(kMasks.m[part]);
        __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, _mm_load_si128(m)),
                                              _mm_shuffle_epi8(g, _mm_load_si128(m + 1))),
                                 _mm_shuffle_epi8(r, _mm_load_si128(m + 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + part * 16), v);
    }
}

inline __m256i YTerm(__m256i y)
{
    __m256i ys = _mm256_sub_epi16(_mm256_slli_epi16(y, 7), _mm256_set1_epi16(16 << 7));
    return _mm256_add_epi16(_mm256_mulhi_epi16(ys, _mm256_set1_epi16(kY)), _mm256_set1_epi16(16));
}

struct Chroma32 {
    __m256i r0, r1, g0, g1, b0, b1;  // per-pixel terms of pixels 0..15 and 16..31
};

// Sixteen chroma terms -> per-pixel terms of 32 pixels, in pixel order.
inline void Double(__m256i c, __m256i& first, __m256i& second)
{
    __m256i lo = _mm256_unpacklo_epi16(c, c), hi = _mm256_unpackhi_epi16(c, c);
    first = _mm256_permute2x128_si256(lo, hi, 0x20);
    second = _mm256_permute2x128_si256(lo, hi, 0x31);
}

inline Chroma32 Chroma(const uint8_t* u, const uint8_t* v)
{
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(0x8000));
    __m256i du = _mm256_xor_si256(
        _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u))), 8), bias);
    __m256i dv = _mm256_xor_si256(
        _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v))), 8), bias);
    __m256i rv = _mm256_mulhi_epi16(dv, _mm256_set1_epi16(kRv));
    __m256i bu = _mm256_mulhi_epi16(du, _mm256_set1_epi16(kBu));
    __m256i gs = _mm256_add_epi16(_mm256_mulhi_epi16(du, _mm256_set1_epi16(kGu)),
                                  _mm256_mulhi_epi16(dv, _mm256_set1_epi16(kGv)));
    Chroma32 c;
    Double(rv, c.r0, c.r1);
    Double(gs, c.g0, c.g1);
    Double(bu, c.b0, c.b1);
    return c;
}

// Two 16-lane results -> 32 bytes in pixel order.
inline __m256i Pack(__m256i a, __m256i b)
{
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_srai_epi16(a, 5), _mm256_srai_epi16(b, 5)), 0xD8);
}

inline void Row32(const uint8_t* ys, const Chroma32& c, uint8_t* d)
{
    __m256i yt0 = YTerm(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ys))));
    __m256i yt1 = YTerm(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ys + 16))));
    __m256i b = Pack(_mm256_add_epi16(yt0, c.b0), _mm256_add_epi16(yt1, c.b1));
    __m256i g = Pack(_mm256_sub_epi16(yt0, c.g0), _mm256_sub_epi16(yt1, c.g1));
    __m256i r = Pack(_mm256_add_epi16(yt0, c.r0), _mm256_add_epi16(yt1, c.r1));
    Store16Bgr(_mm256_castsi256_si128(b), _mm256_castsi256_si128(g), _mm256_castsi256_si128(r), d);
    Store16Bgr(_mm256_extracti128_si256(b, 1), _mm256_extracti128_si256(g, 1), _mm256_extracti128_si256(r, 1),
               d + 48);
}

} // namespace

void V77Yuv420ToBgr24Avx2(const uint8_t* const planes[3], const int steps[3], uint8_t* dst, int dstStep, int width,
                          int height)
{
    if (!planes || !steps || !planes[0] || !planes[1] || !planes[2] || !dst || width < 1 || height < 1)
        return;
    // Blocks of 32 pixels with all 16 chroma samples; the plain build does
    // the rest, as a strip at least two pixels wide so that its odd-width
    // rule sees a complete pair.
    int simdEnd = width & ~31;
    if (width - simdEnd == 1)
        simdEnd -= 32;
    if (height < 2 || simdEnd <= 0) {
        V77Yuv420ToBgr24Plain(planes, steps, dst, dstStep, width, height);
        return;
    }
    const int chromaRows = height / 2;
    auto ChromaRow = [chromaRows](int y) { return y / 2 < chromaRows ? y / 2 : chromaRows - 1; };
    for (int y = 0; y < height;) {
        const int cy = ChromaRow(y);
        // Rows share a chroma row in twos (an odd last row joins the pair before it).
        const bool pair = y + 1 < height && ChromaRow(y + 1) == cy;
        const uint8_t* y0 = planes[0] + static_cast<intptr_t>(y) * steps[0];
        const uint8_t* u = planes[1] + static_cast<intptr_t>(cy) * steps[1];
        const uint8_t* v = planes[2] + static_cast<intptr_t>(cy) * steps[2];
        uint8_t* d0 = dst + static_cast<intptr_t>(y) * dstStep;
        for (int x = 0; x < simdEnd; x += 32) {
            const Chroma32 c = Chroma(u + x / 2, v + x / 2);
            Row32(y0 + x, c, d0 + x * 3);
            if (pair)
                Row32(y0 + steps[0] + x, c, d0 + dstStep + x * 3);
        }
        y += pair ? 2 : 1;
    }
    if (simdEnd < width) {
        const uint8_t* strip[3] = {planes[0] + simdEnd, planes[1] + simdEnd / 2, planes[2] + simdEnd / 2};
        V77Yuv420ToBgr24Plain(strip, steps, dst + simdEnd * 3, dstStep, width - simdEnd, height);
    }
}
