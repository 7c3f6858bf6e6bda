#include "kernels/PixelAdjust.h"

#include "kernels/ProcessorFeatures.h"

#include <emmintrin.h>

namespace {

inline int Clamp(int v, int hi)
{
    return v < 0 ? 0 : (v > hi ? hi : v);
}

inline uint8_t LumaPlain(int y, int brightness, int gain)
{
    return static_cast<uint8_t>(Clamp(y * gain / 256 + brightness, 255));
}

inline uint8_t ChromaPlain(int c, int gain)
{
    return static_cast<uint8_t>(Clamp((c - 128) * gain / 256 + 128, 255));
}

inline uint16_t Rgb565Plain(unsigned p, int brightness, int gain)
{
    int half = brightness / 2;
    int b = Clamp(static_cast<int>(p & 31) * gain / 256 + half, 31);
    int g = Clamp(static_cast<int>((p >> 5) & 63) * gain / 256 + brightness, 63);
    int r = Clamp(static_cast<int>(p >> 11) * gain / 256 + half, 31);
    return static_cast<uint16_t>(b | (g << 5) | (r << 11));
}

// Source row for destination row y under the field rule.
inline const uint8_t* SourceRow(const uint8_t* src, int srcStep, int y, bool lineDouble)
{
    return src + static_cast<intptr_t>(lineDouble ? (y & ~1) : y) * srcStep;
}

void LumaRowPlain(const uint8_t* s, uint8_t* d, int from, int to, int brightness, int gain)
{
    for (int x = from; x < to; ++x)
        d[x] = LumaPlain(s[x], brightness, gain);
}

void ChromaRowPlain(const uint8_t* s, uint8_t* d, int from, int to, int gain)
{
    for (int x = from; x < to; ++x)
        d[x] = ChromaPlain(s[x], gain);
}

void Yuy2RowPlain(const uint8_t* s, uint8_t* d, int from, int to, int brightness, int gain)
{
    for (int x = from; x < to; ++x)
        d[x] = (x & 1) ? ChromaPlain(s[x], gain) : LumaPlain(s[x], brightness, gain);
}

void Rgb565RowPlain(const uint8_t* s, uint8_t* d, int from, int to, int brightness, int gain)
{
    for (int x = from; x < to; ++x) {
        uint16_t v = Rgb565Plain(static_cast<unsigned>(s[x * 2] | (s[x * 2 + 1] << 8)), brightness, gain);
        d[x * 2] = static_cast<uint8_t>(v);
        d[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
}

void AdjustYuy2Plain(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                     int16_t brightness, int16_t gain, bool lineDouble)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        Yuy2RowPlain(SourceRow(src, width * 2, y, lineDouble), dst + static_cast<intptr_t>(y) * dstPitch,
                     0, width * 2, brightness, gain);
}

void AdjustLumaPlain(const uint8_t* src, uint8_t* dst, int dstPitch, int rowBytes, int rows,
                     int16_t brightness, int16_t gain, bool lineDouble)
{
    if (!src || !dst || rowBytes < 1 || rows < 1)
        return;
    for (int y = 0; y < rows; ++y)
        LumaRowPlain(SourceRow(src, rowBytes, y, lineDouble), dst + static_cast<intptr_t>(y) * dstPitch,
                     0, rowBytes, brightness, gain);
}

void AdjustChromaPlain(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                       int16_t gain)
{
    int rowBytes = width / 2;
    if (!src || !dst || rowBytes < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        ChromaRowPlain(src + static_cast<intptr_t>(y) * rowBytes,
                       dst + static_cast<intptr_t>(y) * (dstPitch / 2), 0, rowBytes, gain);
}

void AdjustRgb565Plain(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                       int16_t brightness, int16_t gain, bool lineDouble)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        Rgb565RowPlain(SourceRow(src, width * 2, y, lineDouble), dst + static_cast<intptr_t>(y) * dstPitch,
                       0, width, brightness, gain);
}

// ---- SSE2 ----
//
// x * gain / 256 truncated is sign(gain) * floor(|x| * |gain| / 256) for x >= 0,
// and floor(|x| * |gain| / 256) is the high half of (|x| << 8) * |gain|, one
// unsigned 16-bit multiply. |gain| of -32768 is 32768, which still fits.

struct Gain {
    __m128i mag;   // |gain| in every lane (unsigned)
    __m128i sign;  // all ones when gain < 0
};

inline Gain MakeGain(int gain)
{
    int mag = gain < 0 ? -gain : gain;
    return {_mm_set1_epi16(static_cast<short>(mag)), _mm_set1_epi16(static_cast<short>(gain < 0 ? -1 : 0))};
}

inline __m128i ApplySign(__m128i v, __m128i sign)
{
    return _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
}

// Lanes hold x << 8 (x >= 0): x * gain / 256, truncated.
inline __m128i ScaleUnsigned(__m128i x8, const Gain& g)
{
    return ApplySign(_mm_mulhi_epu16(x8, g.mag), g.sign);
}

// Lanes hold (c - 128) << 8 as signed: (c - 128) * gain / 256, truncated.
inline __m128i ScaleSigned(__m128i d8, const Gain& g)
{
    __m128i s = _mm_srai_epi16(d8, 15);
    __m128i mag = _mm_sub_epi16(_mm_xor_si128(d8, s), s);
    return ApplySign(_mm_mulhi_epu16(mag, g.mag), _mm_xor_si128(s, g.sign));
}

// Luma from x << 8 lanes, clamped to 0..255 (16-bit lanes). adds saturates
// only far beyond 255, where the clamp gives the same answer.
inline __m128i LumaLanes(__m128i x8, const Gain& g, __m128i brightness)
{
    return _mm_adds_epi16(ScaleUnsigned(x8, g), brightness);
}

inline __m128i ChromaLanes(__m128i c8, const Gain& g)
{
    __m128i d8 = _mm_xor_si128(c8, _mm_set1_epi16(static_cast<short>(0x8000)));
    return _mm_add_epi16(ScaleSigned(d8, g), _mm_set1_epi16(128));
}

inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

void LumaRowSse2(const uint8_t* s, uint8_t* d, int n, int brightness, int gain)
{
    const __m128i zero = _mm_setzero_si128();
    const Gain g = MakeGain(gain);
    const __m128i b = _mm_set1_epi16(static_cast<short>(brightness));
    int end = n & ~15;
    for (int x = 0; x < end; x += 16) {
        __m128i v = Load(s + x);
        __m128i lo = LumaLanes(_mm_unpacklo_epi8(zero, v), g, b);
        __m128i hi = LumaLanes(_mm_unpackhi_epi8(zero, v), g, b);
        Store(d + x, _mm_packus_epi16(lo, hi));
    }
    LumaRowPlain(s, d, end, n, brightness, gain);
}

void ChromaRowSse2(const uint8_t* s, uint8_t* d, int n, int gain)
{
    const __m128i zero = _mm_setzero_si128();
    const Gain g = MakeGain(gain);
    int end = n & ~15;
    for (int x = 0; x < end; x += 16) {
        __m128i v = Load(s + x);
        __m128i lo = ChromaLanes(_mm_unpacklo_epi8(zero, v), g);
        __m128i hi = ChromaLanes(_mm_unpackhi_epi8(zero, v), g);
        Store(d + x, _mm_packus_epi16(lo, hi));
    }
    ChromaRowPlain(s, d, end, n, gain);
}

void Yuy2RowSse2(const uint8_t* s, uint8_t* d, int n, int brightness, int gain)
{
    const Gain g = MakeGain(gain);
    const __m128i b = _mm_set1_epi16(static_cast<short>(brightness));
    const __m128i highByte = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i zero = _mm_setzero_si128(), max = _mm_set1_epi16(255);
    int end = n & ~15;
    for (int x = 0; x < end; x += 16) {
        // 16-bit lanes: Y in the low byte, U or V in the high byte.
        __m128i v = Load(s + x);
        __m128i y = LumaLanes(_mm_slli_epi16(v, 8), g, b);
        __m128i c = ChromaLanes(_mm_and_si128(v, highByte), g);
        y = _mm_min_epi16(_mm_max_epi16(y, zero), max);
        c = _mm_min_epi16(_mm_max_epi16(c, zero), max);
        Store(d + x, _mm_or_si128(y, _mm_slli_epi16(c, 8)));
    }
    Yuy2RowPlain(s, d, end, n, brightness, gain);
}

void Rgb565RowSse2(const uint8_t* s, uint8_t* d, int width, int brightness, int gain)
{
    const Gain g = MakeGain(gain);
    const __m128i full = _mm_set1_epi16(static_cast<short>(brightness));
    const __m128i half = _mm_set1_epi16(static_cast<short>(brightness / 2));
    const __m128i zero = _mm_setzero_si128();
    const __m128i max5 = _mm_set1_epi16(31), max6 = _mm_set1_epi16(63);
    int end = width & ~7;
    for (int x = 0; x < end; x += 8) {
        __m128i p = Load(s + x * 2);
        // Each channel moved to bits 8 and up, as x << 8.
        __m128i b8 = _mm_slli_epi16(_mm_and_si128(p, _mm_set1_epi16(31)), 8);
        __m128i g8 = _mm_and_si128(_mm_slli_epi16(p, 3), _mm_set1_epi16(0x3F00));
        __m128i r8 = _mm_and_si128(_mm_srli_epi16(p, 3), _mm_set1_epi16(0x1F00));
        __m128i bb = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(ScaleUnsigned(b8, g), half), zero), max5);
        __m128i gg = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(ScaleUnsigned(g8, g), full), zero), max6);
        __m128i rr = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(ScaleUnsigned(r8, g), half), zero), max5);
        Store(d + x * 2, _mm_or_si128(_mm_or_si128(bb, _mm_slli_epi16(gg, 5)), _mm_slli_epi16(rr, 11)));
    }
    Rgb565RowPlain(s, d, end, width, brightness, gain);
}

void AdjustYuy2Sse2(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                    int16_t brightness, int16_t gain, bool lineDouble)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        Yuy2RowSse2(SourceRow(src, width * 2, y, lineDouble), dst + static_cast<intptr_t>(y) * dstPitch,
                    width * 2, brightness, gain);
}

void AdjustLumaSse2(const uint8_t* src, uint8_t* dst, int dstPitch, int rowBytes, int rows,
                    int16_t brightness, int16_t gain, bool lineDouble)
{
    if (!src || !dst || rowBytes < 1 || rows < 1)
        return;
    for (int y = 0; y < rows; ++y)
        LumaRowSse2(SourceRow(src, rowBytes, y, lineDouble), dst + static_cast<intptr_t>(y) * dstPitch,
                    rowBytes, brightness, gain);
}

void AdjustChromaSse2(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                      int16_t gain)
{
    int rowBytes = width / 2;
    if (!src || !dst || rowBytes < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        ChromaRowSse2(src + static_cast<intptr_t>(y) * rowBytes,
                      dst + static_cast<intptr_t>(y) * (dstPitch / 2), rowBytes, gain);
}

void AdjustRgb565Sse2(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                      int16_t brightness, int16_t gain, bool lineDouble)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    for (int y = 0; y < height; ++y)
        Rgb565RowSse2(SourceRow(src, width * 2, y, lineDouble), dst + static_cast<intptr_t>(y) * dstPitch,
                      width, brightness, gain);
}

} // namespace

const V77PixelAdjustRoutines kV77PixelAdjustPlain = {AdjustYuy2Plain, AdjustLumaPlain,
                                                     AdjustChromaPlain, AdjustRgb565Plain};
const V77PixelAdjustRoutines kV77PixelAdjustSse2 = {AdjustYuy2Sse2, AdjustLumaSse2,
                                                    AdjustChromaSse2, AdjustRgb565Sse2};

const V77PixelAdjustRoutines& V77SelectPixelAdjust(uint32_t features)
{
    return (features & V77_CPU_SSE2) ? kV77PixelAdjustSse2 : kV77PixelAdjustPlain;
}

namespace {
const V77PixelAdjustRoutines& Active()
{
    static const V77PixelAdjustRoutines& r = V77SelectPixelAdjust(V77ProcessorFeatures());
    return r;
}
} // namespace

void V77AdjustYuy2(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                   int16_t brightness, int16_t gain, bool lineDouble)
{
    Active().adjustYuy2(src, dst, dstPitch, width, height, brightness, gain, lineDouble);
}

void V77AdjustLuma(const uint8_t* src, uint8_t* dst, int dstPitch, int rowBytes, int rows,
                   int16_t brightness, int16_t gain, bool lineDouble)
{
    Active().adjustLuma(src, dst, dstPitch, rowBytes, rows, brightness, gain, lineDouble);
}

void V77AdjustChroma(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                     int16_t gain)
{
    Active().adjustChroma(src, dst, dstPitch, width, height, gain);
}

void V77AdjustRgb565(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                     int16_t brightness, int16_t gain, bool lineDouble)
{
    Active().adjustRgb565(src, dst, dstPitch, width, height, brightness, gain, lineDouble);
}
