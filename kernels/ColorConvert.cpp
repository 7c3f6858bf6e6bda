#include "kernels/ColorConvert.h"

#include "kernels/ProcessorFeatures.h"

#include <emmintrin.h>

namespace {

// Coefficients in 1/32 of a level, scaled so that the high half of a 16-bit
// product gives the term: Y uses (Y - 16) << 7 times kY, chroma uses
// (C - 128) << 8 times kRv, kGu, kGv, kBu.
constexpr int kY = 19077;   // 1.164383 * 32 * 512
constexpr int kRv = 13075;  // 1.596027 * 32 * 256
constexpr int kGu = 3209;   // 0.391762 * 32 * 256
constexpr int kGv = 6660;   // 0.812968 * 32 * 256
constexpr int kBu = 16525;  // 2.017232 * 32 * 256

// High half of a signed 16 x 16 product (floor), as _mm_mulhi_epi16 does.
inline int MulHi(int a, int b)
{
    return (a * b) >> 16;
}

inline uint8_t Clamp8(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

struct ChromaTerms {
    int r, g, b;  // g already holds gu + gv, subtracted from Y
};

inline ChromaTerms Terms(int u, int v)
{
    int du = (u - 128) << 8, dv = (v - 128) << 8;
    return {MulHi(dv, kRv), MulHi(du, kGu) + MulHi(dv, kGv), MulHi(du, kBu)};
}

inline void Pixel(int y, const ChromaTerms& t, uint8_t* out)
{
    int yt = MulHi((y - 16) << 7, kY) + 16;
    out[0] = Clamp8((yt + t.b) >> 5);
    out[1] = Clamp8((yt - t.g) >> 5);
    out[2] = Clamp8((yt + t.r) >> 5);
}

const ChromaTerms kNeutral = {0, 0, 0};

// Scalar YUY2 row from pixel x0 on, with the incomplete-pair rule.
void Yuy2RowPlain(const uint8_t* s, uint8_t* d, int x0, int width)
{
    for (int x = x0; x < width; ++x) {
        int pair = x & ~1;
        ChromaTerms t;
        if (pair + 1 < width)
            t = Terms(s[pair * 2 + 1], s[pair * 2 + 3]);
        else if (pair >= 2)
            t = Terms(s[pair * 2 - 3], s[pair * 2 - 1]);
        else
            t = kNeutral;
        Pixel(s[x * 2], t, d + x * 3);
    }
}

// Scalar 4:2:0 row; u, v point at the chroma row to use (null: neutral).
void Yuv420RowPlain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d, int x0,
                    int width)
{
    int chromaWidth = width / 2;
    for (int x = x0; x < width; ++x) {
        int cx = x / 2 < chromaWidth ? x / 2 : chromaWidth - 1;
        ChromaTerms t = (u && cx >= 0) ? Terms(u[cx], v[cx]) : kNeutral;
        Pixel(y[x], t, d + x * 3);
    }
}

// Chroma row for picture row y under the incomplete-block rule (-1: none).
inline int ChromaRow(int y, int height)
{
    int rowsC = height / 2;
    if (rowsC == 0)
        return -1;
    int cy = y / 2;
    return cy < rowsC ? cy : rowsC - 1;
}

// ---- SSE2 helpers ----

// Four 32-bit lanes 0x00RRGGBB -> 12 bytes at the bottom of the register.
inline __m128i Pack4Bgr(__m128i x)
{
    // Per 64-bit lane: the low pixel stays in bytes 0..2, the high pixel moves
    // down from 4..6 to 3..5.
    const __m128i lowPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i highPixel = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                            static_cast<int>(0xFF000000u));
    __m128i q = _mm_or_si128(_mm_and_si128(x, lowPixel),
                             _mm_and_si128(_mm_srli_epi64(x, 8), highPixel));
    // Bring the upper six bytes down next to the lower six.
    return _mm_or_si128(_mm_move_epi64(q), _mm_slli_si128(_mm_srli_si128(q, 8), 6));
}

// B, G, R as 16 bytes each (pixels 0..15) -> 48 bytes of BGR.
inline void Store16Bgr(__m128i b, __m128i g, __m128i r, uint8_t* d)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
    __m128i rLo = _mm_unpacklo_epi8(r, zero), rHi = _mm_unpackhi_epi8(r, zero);
    __m128i p0 = Pack4Bgr(_mm_unpacklo_epi16(bgLo, rLo));
    __m128i p1 = Pack4Bgr(_mm_unpackhi_epi16(bgLo, rLo));
    __m128i p2 = Pack4Bgr(_mm_unpacklo_epi16(bgHi, rHi));
    __m128i p3 = Pack4Bgr(_mm_unpackhi_epi16(bgHi, rHi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                     _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32),
                     _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
}

// Y term plus the rounding half, for 8 luma values in 16-bit lanes.
inline __m128i YTerm(__m128i y)
{
    __m128i ys = _mm_sub_epi16(_mm_slli_epi16(y, 7), _mm_set1_epi16(16 << 7));
    return _mm_add_epi16(_mm_mulhi_epi16(ys, _mm_set1_epi16(kY)), _mm_set1_epi16(16));
}

// 16 pixels from Y terms (two halves) and per-pixel chroma terms.
inline void Combine16(__m128i yt0, __m128i yt1, __m128i r0, __m128i r1, __m128i g0, __m128i g1,
                      __m128i b0, __m128i b1, uint8_t* d)
{
    __m128i b = _mm_packus_epi16(_mm_srai_epi16(_mm_add_epi16(yt0, b0), 5),
                                 _mm_srai_epi16(_mm_add_epi16(yt1, b1), 5));
    __m128i g = _mm_packus_epi16(_mm_srai_epi16(_mm_sub_epi16(yt0, g0), 5),
                                 _mm_srai_epi16(_mm_sub_epi16(yt1, g1), 5));
    __m128i r = _mm_packus_epi16(_mm_srai_epi16(_mm_add_epi16(yt0, r0), 5),
                                 _mm_srai_epi16(_mm_add_epi16(yt1, r1), 5));
    Store16Bgr(b, g, r, d);
}

// 8 YUY2 pixels (one register) -> Y terms and per-pixel chroma terms.
inline void Yuy2Half(__m128i x, __m128i& yt, __m128i& r, __m128i& g, __m128i& b)
{
    yt = YTerm(_mm_and_si128(x, _mm_set1_epi16(0x00FF)));
    // Lanes alternate U, V (high bytes); (C - 128) << 8 without a shift.
    __m128i c = _mm_xor_si128(_mm_and_si128(x, _mm_set1_epi16(static_cast<short>(0xFF00))),
                              _mm_set1_epi16(static_cast<short>(0x8000)));
    __m128i br = _mm_mulhi_epi16(c, _mm_set_epi16(kRv, kBu, kRv, kBu, kRv, kBu, kRv, kBu));
    __m128i gg = _mm_mulhi_epi16(c, _mm_set_epi16(kGv, kGu, kGv, kGu, kGv, kGu, kGv, kGu));
    gg = _mm_add_epi16(gg, _mm_srli_epi32(gg, 16));
    b = _mm_shufflehi_epi16(_mm_shufflelo_epi16(br, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
    r = _mm_shufflehi_epi16(_mm_shufflelo_epi16(br, _MM_SHUFFLE(3, 3, 1, 1)), _MM_SHUFFLE(3, 3, 1, 1));
    g = _mm_shufflehi_epi16(_mm_shufflelo_epi16(gg, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
}

} // namespace

void V77YuvPixelToBgr(int y, int u, int v, uint8_t* out)
{
    Pixel(y, Terms(u, v), out);
}

void V77Yuy2ToBgr24Plain(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int width,
                         int height)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        Yuy2RowPlain(src + static_cast<intptr_t>(y) * srcStep,
                     dst + static_cast<intptr_t>(y) * dstStep, 0, width);
}

void V77Yuy2ToBgr24Sse2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int width,
                        int height)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    const int simdEnd = width & ~15;  // whole pairs, all inside the row
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src + static_cast<intptr_t>(y) * srcStep;
        uint8_t* d = dst + static_cast<intptr_t>(y) * dstStep;
        for (int x = 0; x < simdEnd; x += 16) {
            __m128i yt0, yt1, r0, r1, g0, g1, b0, b1;
            Yuy2Half(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x * 2)), yt0, r0, g0, b0);
            Yuy2Half(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x * 2 + 16)), yt1, r1, g1, b1);
            Combine16(yt0, yt1, r0, r1, g0, g1, b0, b1, d + x * 3);
        }
        Yuy2RowPlain(s, d, simdEnd, width);
    }
}

void V77Yuv420ToBgr24Plain(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                           int dstStep, int width, int height)
{
    if (!planes || !steps || !planes[0] || !planes[1] || !planes[2] || !dst || width < 1 ||
        height < 1)
        return;
    bool chroma = width >= 2;
    for (int y = 0; y < height; ++y) {
        int cy = chroma ? ChromaRow(y, height) : -1;
        const uint8_t* u = cy >= 0 ? planes[1] + static_cast<intptr_t>(cy) * steps[1] : nullptr;
        const uint8_t* v = cy >= 0 ? planes[2] + static_cast<intptr_t>(cy) * steps[2] : nullptr;
        Yuv420RowPlain(planes[0] + static_cast<intptr_t>(y) * steps[0], u, v,
                       dst + static_cast<intptr_t>(y) * dstStep, 0, width);
    }
}

void V77Yuv420ToBgr24Sse2(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                          int dstStep, int width, int height)
{
    if (!planes || !steps || !planes[0] || !planes[1] || !planes[2] || !dst || width < 1 ||
        height < 1)
        return;
    bool chroma = width >= 2;
    // Blocks of 16 pixels whose 8 chroma samples all exist.
    const int simdEnd = (width & ~1) & ~15;
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    for (int y = 0; y < height; ++y) {
        int cy = chroma ? ChromaRow(y, height) : -1;
        const uint8_t* ys = planes[0] + static_cast<intptr_t>(y) * steps[0];
        const uint8_t* u = cy >= 0 ? planes[1] + static_cast<intptr_t>(cy) * steps[1] : nullptr;
        const uint8_t* v = cy >= 0 ? planes[2] + static_cast<intptr_t>(cy) * steps[2] : nullptr;
        uint8_t* d = dst + static_cast<intptr_t>(y) * dstStep;
        int x = 0;
        if (u) {
            for (; x < simdEnd; x += 16) {
                __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys + x));
                __m128i yt0 = YTerm(_mm_unpacklo_epi8(yy, zero));
                __m128i yt1 = YTerm(_mm_unpackhi_epi8(yy, zero));
                __m128i du = _mm_xor_si128(
                    _mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2))), bias);
                __m128i dv = _mm_xor_si128(
                    _mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2))), bias);
                __m128i rv = _mm_mulhi_epi16(dv, _mm_set1_epi16(kRv));
                __m128i bu = _mm_mulhi_epi16(du, _mm_set1_epi16(kBu));
                __m128i gs = _mm_add_epi16(_mm_mulhi_epi16(du, _mm_set1_epi16(kGu)),
                                           _mm_mulhi_epi16(dv, _mm_set1_epi16(kGv)));
                Combine16(yt0, yt1, _mm_unpacklo_epi16(rv, rv), _mm_unpackhi_epi16(rv, rv),
                          _mm_unpacklo_epi16(gs, gs), _mm_unpackhi_epi16(gs, gs),
                          _mm_unpacklo_epi16(bu, bu), _mm_unpackhi_epi16(bu, bu), d + x * 3);
            }
        }
        Yuv420RowPlain(ys, u, v, d, x, width);
    }
}

V77Yuy2ToBgr24Fn V77SelectYuy2ToBgr24(uint32_t features)
{
    return (features & V77_CPU_SSE2) ? V77Yuy2ToBgr24Sse2 : V77Yuy2ToBgr24Plain;
}

V77Yuv420ToBgr24Fn V77SelectYuv420ToBgr24(uint32_t features)
{
    if (features & V77_CPU_AVX2)
        return V77Yuv420ToBgr24Avx2;
    if (features & V77_CPU_SSSE3)
        return V77Yuv420ToBgr24Ssse3;
    return (features & V77_CPU_SSE2) ? V77Yuv420ToBgr24Sse2 : V77Yuv420ToBgr24Plain;
}

void V77Yuy2ToBgr24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int width,
                    int height)
{
    static const V77Yuy2ToBgr24Fn fn = V77SelectYuy2ToBgr24(V77ProcessorFeatures());
    fn(src, srcStep, dst, dstStep, width, height);
}

void V77Yuv420ToBgr24(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                      int dstStep, int width, int height)
{
    static const V77Yuv420ToBgr24Fn fn = V77SelectYuv420ToBgr24(V77ProcessorFeatures());
    fn(planes, steps, dst, dstStep, width, height);
}
