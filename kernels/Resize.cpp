#include "kernels/Resize.h"

#include "kernels/ProcessorFeatures.h"
#include "kernels/ResizeGeometry.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <emmintrin.h>
#include <new>
#include <vector>

namespace {

// ---- Row routines ----

void HorizontalRange(const uint8_t* row, const V77ResizeColumns& c, int16_t* h, int from, int to)
{
    for (int j = from; j < to; ++j)
        h[j] = static_cast<int16_t>(row[c.o0[j]] * (128 - c.w[j]) + row[c.o1[j]] * c.w[j]);
}

void HorizontalPlain(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    HorizontalRange(row, c, h, 0, c.n);
}

void VerticalPlain(const int16_t* h0, const int16_t* h1, int wy, uint8_t* out, int n)
{
    const int w8 = wy << 8;
    for (int j = 0; j < n; ++j) {
        const int t = ((h1[j] - h0[j]) * w8) >> 16;  // arithmetic shift, as the SIMD high half
        out[j] = static_cast<uint8_t>((h0[j] + 2 * t + 64) >> 7);
    }
}

inline uint16_t Load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Eight (a, b) byte pairs -> eight blends, with the weights w[0..7].
inline __m128i BlendPairs(__m128i pairs, const int16_t* w)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i wb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    const __m128i wa = _mm_sub_epi16(_mm_set1_epi16(128), wb);
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(pairs, zero), _mm_unpacklo_epi16(wa, wb));
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(pairs, zero), _mm_unpackhi_epi16(wa, wb));
    return _mm_packs_epi32(lo, hi);
}

// One channel: both taps of a column are adjacent bytes, read as one word.
int HorizontalC1Sse2(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    const int32_t* o = c.o0;
    int j = 0;
    for (; j + 8 <= c.wideEnd; j += 8) {
        __m128i p = _mm_cvtsi32_si128(Load16(row + o[j]));
        p = _mm_insert_epi16(p, Load16(row + o[j + 1]), 1);
        p = _mm_insert_epi16(p, Load16(row + o[j + 2]), 2);
        p = _mm_insert_epi16(p, Load16(row + o[j + 3]), 3);
        p = _mm_insert_epi16(p, Load16(row + o[j + 4]), 4);
        p = _mm_insert_epi16(p, Load16(row + o[j + 5]), 5);
        p = _mm_insert_epi16(p, Load16(row + o[j + 6]), 6);
        p = _mm_insert_epi16(p, Load16(row + o[j + 7]), 7);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + j), BlendPairs(p, c.w + j));
    }
    return j;
}

// Four channels: one 8-byte read holds both tap pixels of a column.
int HorizontalC4Sse2(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    const __m128i zero = _mm_setzero_si128();
    int j = 0;
    for (; j + 8 <= c.wideEnd; j += 8) {
        __m128i q0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c.o0[j]));
        __m128i q1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c.o0[j + 4]));
        // a0 a1 a2 a3 b0 b1 b2 b3 -> (a0, b0) (a1, b1) ... as 16-bit pairs.
        __m128i p0 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(q0, _mm_srli_si128(q0, 4)), zero);
        __m128i p1 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(q1, _mm_srli_si128(q1, 4)), zero);
        const int w0 = c.w[j], w1 = c.w[j + 4];
        __m128i r0 = _mm_madd_epi16(p0, _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(w0) << 16) | (128 - w0))));
        __m128i r1 = _mm_madd_epi16(p1, _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(w1) << 16) | (128 - w1))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + j), _mm_packs_epi32(r0, r1));
    }
    return j;
}

void HorizontalSse2(const uint8_t* row, const V77ResizeColumns& c, int16_t* h)
{
    int j = 0;
    if (c.channels == 1)
        j = HorizontalC1Sse2(row, c, h);
    else if (c.channels == 4)
        j = HorizontalC4Sse2(row, c, h);
    // Other layouts and the columns at the source's right edge: eight
    // gathered taps at a time.
    const __m128i k128 = _mm_set1_epi16(128);
    const int32_t* o0 = c.o0;
    const int32_t* o1 = c.o1;
    for (; j + 8 <= c.n; j += 8) {
        __m128i a = _mm_setr_epi16(row[o0[j]], row[o0[j + 1]], row[o0[j + 2]], row[o0[j + 3]], row[o0[j + 4]],
                                   row[o0[j + 5]], row[o0[j + 6]], row[o0[j + 7]]);
        __m128i b = _mm_setr_epi16(row[o1[j]], row[o1[j + 1]], row[o1[j + 2]], row[o1[j + 3]], row[o1[j + 4]],
                                   row[o1[j + 5]], row[o1[j + 6]], row[o1[j + 7]]);
        __m128i wb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.w + j));
        __m128i wa = _mm_sub_epi16(k128, wb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + j),
                         _mm_add_epi16(_mm_mullo_epi16(a, wa), _mm_mullo_epi16(b, wb)));
    }
    HorizontalRange(row, c, h, j, c.n);
}

void VerticalSse2(const int16_t* h0, const int16_t* h1, int wy, uint8_t* out, int n)
{
    const __m128i w8 = _mm_set1_epi16(static_cast<short>(wy << 8));
    const __m128i half = _mm_set1_epi16(64);
    int j = 0;
    for (; j + 16 <= n; j += 16) {
        __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + j));
        __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + j + 8));
        __m128i t0 = _mm_mulhi_epi16(_mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + j)), a0), w8);
        __m128i t1 =
            _mm_mulhi_epi16(_mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + j + 8)), a1), w8);
        __m128i r0 = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(a0, half), _mm_add_epi16(t0, t0)), 7);
        __m128i r1 = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(a1, half), _mm_add_epi16(t1, t1)), 7);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(r0, r1));
    }
    VerticalPlain(h0 + j, h1 + j, wy, out + j, n - j);
}

// ---- Driver shared by every format ----

// Scales rows of n destination bytes whose column tables are in s.
void ScaleRows(const V77ResizeRowKernels& k, const V77ResizeScratch& s, int n, int channels, int srcRowBytes,
               const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int dstHeight, double roiY,
               const V77ResizeClip& clip, double yFactor, double yShift)
{
    V77ResizeColumns c = {s.o0, s.o1, s.w, n, channels, n};
    // Taps only move right along a row, so the columns whose pixel pair
    // would reach past the row's end are a tail. For YUY2 that holds for the
    // Y, U and V taps each (all read 8 bytes wide from o0): a tail of whole
    // Y U Y V groups.
    if (channels == 2) {
        c.wideEnd = n & ~3;
        while (c.wideEnd > 0 && *std::max_element(s.o0 + c.wideEnd - 4, s.o0 + c.wideEnd) + 8 > srcRowBytes)
            c.wideEnd -= 4;
    }
    while (channels != 2 && c.wideEnd > 0 && s.o0[c.wideEnd - channels] + 2 * channels > srcRowBytes)
        c.wideEnd -= channels;
    // Horizontally scaled source rows are kept and reused while the
    // destination rows still need them (upscaling reads each row many times).
    int16_t* rows[2] = {s.h0, s.h1};
    int have[2] = {-1, -1};
    // The row sy, computed into the slot that does not hold `keep` if it is not there yet.
    auto Get = [&](int sy, int keep) -> const int16_t* {
        for (int i = 0; i < 2; ++i)
            if (have[i] == sy)
                return rows[i];
        const int slot = have[0] == keep ? 1 : 0;
        k.horizontal(src + static_cast<intptr_t>(sy) * srcStep, c, rows[slot]);
        have[slot] = sy;
        return rows[slot];
    };
    for (int dy = 0; dy < dstHeight; ++dy) {
        V77ResizeTap t = V77ResizeAxisTap(dy, roiY, clip.y0, clip.y1 - 1, yFactor, yShift);
        const int16_t* a = Get(t.i0, t.w ? t.i1 : -2);
        // A row whose second tap is unused blends with itself.
        const int16_t* b = t.w ? Get(t.i1, t.i0) : a;
        k.vertical(a, b, t.w, dst + static_cast<intptr_t>(dy) * dstStep, n);
    }
}

bool RowBytesFit(int64_t pixels, int channels, int step)
{
    return pixels * channels <= step;
}

const V77ResizeRowKernels& Best()
{
    static const V77ResizeRowKernels& k = V77SelectResizeKernels(V77ProcessorFeatures());
    return k;
}

} // namespace

const V77ResizeRowKernels kV77ResizePlain = {"plain", HorizontalPlain, VerticalPlain};
const V77ResizeRowKernels kV77ResizeSse2 = {"SSE2", HorizontalSse2, VerticalSse2};

const V77ResizeRowKernels& V77SelectResizeKernels(uint32_t features)
{
    if (features & V77_CPU_AVX2)
        return kV77ResizeAvx2;
    return (features & V77_CPU_SSE2) ? kV77ResizeSse2 : kV77ResizePlain;
}

int V77ResizeBufferSize(V77Rect srcRoi, V77Rect dstRoi, int channels, int interpolation, int* bytes)
{
    if (!bytes)
        return V77_RESIZE_NULL_POINTER;
    if (interpolation != V77_INTERPOLATION_LINEAR && interpolation != V77_INTERPOLATION_LINEAR_SMOOTH)
        return V77_RESIZE_BAD_INTERPOLATION;
    if ((channels != 1 && channels != 3 && channels != 4) || srcRoi.width < 1 || srcRoi.height < 1 ||
        dstRoi.width < 1 || dstRoi.height < 1)
        return V77_RESIZE_BAD_SIZE;
    const int64_t need = V77ResizeScratch::Bytes(int64_t(dstRoi.width) * channels);
    if (need > INT32_MAX)
        return V77_RESIZE_NO_MEMORY;
    *bytes = static_cast<int>(need);
    return V77_RESIZE_OK;
}

int V77ResizeChannelsWith(const V77ResizeRowKernels& k, int channels, const uint8_t* src, V77Size srcSize,
                          int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep, V77Rect dstRoi, double xFactor,
                          double yFactor, double xShift, double yShift, int interpolation, uint8_t* buffer)
{
    if (!src || !dst || !buffer)
        return V77_RESIZE_NULL_POINTER;
    if (channels != 1 && channels != 3 && channels != 4)
        return V77_RESIZE_BAD_SIZE;
    V77ResizeClip clip;
    int status = V77ResizeCheck(srcSize, srcRoi, dstRoi.width, dstRoi.height, xFactor, yFactor, xShift, yShift,
                                interpolation, &clip);
    if (status != V77_RESIZE_OK)
        return status;
    if (dstRoi.x < 0 || dstRoi.y < 0)
        return V77_RESIZE_BAD_SIZE;
    if (!RowBytesFit(srcSize.width, channels, srcStep) ||
        !RowBytesFit(int64_t(dstRoi.x) + dstRoi.width, channels, dstStep))
        return V77_RESIZE_BAD_STEP;
    const int n = dstRoi.width * channels;  // fits: bounded by dstStep
    V77ResizeScratch s = V77ResizeScratch::Carve(buffer, n);
    V77ResizeColumnsInterleaved(s, channels, dstRoi.width, srcRoi, clip, xFactor, xShift);
    ScaleRows(k, s, n, channels, srcSize.width * channels, src, srcStep,
              dst + static_cast<intptr_t>(dstRoi.y) * dstStep + static_cast<intptr_t>(dstRoi.x) * channels,
              dstStep, dstRoi.height, srcRoi.y, clip, yFactor, yShift);
    return V77_RESIZE_OK;
}

int V77ResizeYuv422With(const V77ResizeRowKernels& k, const uint8_t* src, V77Size srcSize, int srcStep,
                        V77Rect srcRoi, uint8_t* dst, int dstStep, V77Size dstSize, double xFactor,
                        double yFactor, int interpolation)
{
    if (!src || !dst)
        return V77_RESIZE_NULL_POINTER;
    V77ResizeClip clip;
    int status = V77ResizeCheck(srcSize, srcRoi, dstSize.width, dstSize.height, xFactor, yFactor, 0.0, 0.0,
                                interpolation, &clip);
    if (status != V77_RESIZE_OK)
        return status;
    if (!RowBytesFit(srcSize.width, 2, srcStep) || !RowBytesFit(dstSize.width, 2, dstStep))
        return V77_RESIZE_BAD_STEP;
    std::vector<uint8_t> widened;
    try {
        if (srcSize.width == 1) {
            // No complete pair: read a two-pixel copy whose chroma is neutral.
            widened.resize(static_cast<size_t>(srcSize.height) * 4);
            for (int y = 0; y < srcSize.height; ++y) {
                const uint8_t* r = src + static_cast<intptr_t>(y) * srcStep;
                uint8_t* w = &widened[static_cast<size_t>(y) * 4];
                w[0] = w[2] = r[0];
                w[1] = w[3] = 128;
            }
            src = widened.data();
            srcStep = 4;
            srcSize.width = 2;
        }
        const int n = dstSize.width * 2;
        std::vector<uint8_t> scratch(static_cast<size_t>(V77ResizeScratch::Bytes(n)));
        V77ResizeScratch s = V77ResizeScratch::Carve(scratch.data(), n);
        V77ResizeColumnsYuy2(s, dstSize.width, srcSize.width, srcRoi, clip, xFactor);
        ScaleRows(k, s, n, 2, srcSize.width * 2, src, srcStep, dst, dstStep, dstSize.height, srcRoi.y, clip, yFactor,
                  0.0);
    } catch (const std::bad_alloc&) {
        return V77_RESIZE_NO_MEMORY;
    }
    return V77_RESIZE_OK;
}

int V77ResizeYuv422(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                    V77Size dstSize, double xFactor, double yFactor, int interpolation)
{
    return V77ResizeYuv422With(Best(), src, srcSize, srcStep, srcRoi, dst, dstStep, dstSize, xFactor, yFactor,
                               interpolation);
}

int V77ResizeC1(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                V77Rect dstRoi, double xFactor, double yFactor, double xShift, double yShift, int interpolation,
                uint8_t* buffer)
{
    return V77ResizeChannelsWith(Best(), 1, src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor, yFactor,
                                 xShift, yShift, interpolation, buffer);
}

int V77ResizeC3(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                V77Rect dstRoi, double xFactor, double yFactor, double xShift, double yShift, int interpolation,
                uint8_t* buffer)
{
    return V77ResizeChannelsWith(Best(), 3, src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor, yFactor,
                                 xShift, yShift, interpolation, buffer);
}

int V77ResizeC4(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                V77Rect dstRoi, double xFactor, double yFactor, double xShift, double yShift, int interpolation,
                uint8_t* buffer)
{
    return V77ResizeChannelsWith(Best(), 4, src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor, yFactor,
                                 xShift, yShift, interpolation, buffer);
}
