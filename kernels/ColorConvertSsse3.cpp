// The SSSE3 build of the 4:2:0 -> BGR24 conversion: the arithmetic of
// ColorConvert.cpp (same terms, same rounding, byte for byte), with two
// picture rows per chroma row and the BGR interleave done by byte shuffles.
// Built with -mssse3; chosen only when the processor reports SSSE3.
#include "kernels/ColorConvert.h"

#include <tmmintrin.h>

#if !defined(__SSSE3__)
#error "this file must be compiled with SSSE3 enabled"
#endif

namespace {

// The coefficients of ColorConvert.cpp (1/32 of a level, high-half products).
constexpr short kY = 19077, kRv = 13075, kGu = 3209, kGv = 6660, kBu = 16525;

// Shuffle masks placing 16 B, G or R bytes into the three 16-byte parts of
// 48 bytes of BGR: mask[part][component][i] is the pixel for byte i, or
// 0x80 for a byte that component does not fill.
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

inline __m128i Mask(int part, int comp)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks.m[part][comp]));
}

inline void Store16Bgr(__m128i b, __m128i g, __m128i r, uint8_t* d)
{
    for (int part = 0; part < 3; ++part) {
        __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, Mask(part, 0)), _mm_shuffle_epi8(g, Mask(part, 1))),
                                 _mm_shuffle_epi8(r, Mask(part, 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + part * 16), v);
    }
}

inline __m128i YTerm(__m128i y)
{
    __m128i ys = _mm_sub_epi16(_mm_slli_epi16(y, 7), _mm_set1_epi16(16 << 7));
    return _mm_add_epi16(_mm_mulhi_epi16(ys, _mm_set1_epi16(kY)), _mm_set1_epi16(16));
}

struct Chroma16 {
    __m128i r0, r1, g0, g1, b0, b1;  // per-pixel terms of pixels 0..7 and 8..15
};

inline void Row16(const uint8_t* ys, const Chroma16& c, uint8_t* d)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys));
    __m128i yt0 = YTerm(_mm_unpacklo_epi8(yy, zero)), yt1 = YTerm(_mm_unpackhi_epi8(yy, zero));
    __m128i b = _mm_packus_epi16(_mm_srai_epi16(_mm_add_epi16(yt0, c.b0), 5), _mm_srai_epi16(_mm_add_epi16(yt1, c.b1), 5));
    __m128i g = _mm_packus_epi16(_mm_srai_epi16(_mm_sub_epi16(yt0, c.g0), 5), _mm_srai_epi16(_mm_sub_epi16(yt1, c.g1), 5));
    __m128i r = _mm_packus_epi16(_mm_srai_epi16(_mm_add_epi16(yt0, c.r0), 5), _mm_srai_epi16(_mm_add_epi16(yt1, c.r1), 5));
    Store16Bgr(b, g, r, d);
}

inline Chroma16 Chroma(const uint8_t* u, const uint8_t* v)
{
    const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128i du = _mm_xor_si128(_mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u))), bias);
    __m128i dv = _mm_xor_si128(_mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v))), bias);
    __m128i rv = _mm_mulhi_epi16(dv, _mm_set1_epi16(kRv));
    __m128i bu = _mm_mulhi_epi16(du, _mm_set1_epi16(kBu));
    __m128i gs = _mm_add_epi16(_mm_mulhi_epi16(du, _mm_set1_epi16(kGu)), _mm_mulhi_epi16(dv, _mm_set1_epi16(kGv)));
    return {_mm_unpacklo_epi16(rv, rv), _mm_unpackhi_epi16(rv, rv), _mm_unpacklo_epi16(gs, gs),
            _mm_unpackhi_epi16(gs, gs), _mm_unpacklo_epi16(bu, bu), _mm_unpackhi_epi16(bu, bu)};
}

} // namespace

void V77Yuv420ToBgr24Ssse3(const uint8_t* const planes[3], const int steps[3], uint8_t* dst, int dstStep, int width,
                           int height)
{
    if (!planes || !steps || !planes[0] || !planes[1] || !planes[2] || !dst || width < 1 || height < 1)
        return;
    // Blocks of 16 pixels with all 8 chroma samples; the plain build does
    // the rest, as a strip at least two pixels wide so that its odd-width
    // rule sees a complete pair.
    int simdEnd = width & ~15;
    if (width - simdEnd == 1)
        simdEnd -= 16;
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
        for (int x = 0; x < simdEnd; x += 16) {
            const Chroma16 c = Chroma(u + x / 2, v + x / 2);
            Row16(y0 + x, c, d0 + x * 3);
            if (pair)
                Row16(y0 + steps[0] + x, c, d0 + dstStep + x * 3);
        }
        y += pair ? 2 : 1;
    }
    if (simdEnd < width) {
        const uint8_t* strip[3] = {planes[0] + simdEnd, planes[1] + simdEnd / 2, planes[2] + simdEnd / 2};
        V77Yuv420ToBgr24Plain(strip, steps, dst + simdEnd * 3, dstStep, width - simdEnd, height);
    }
}
