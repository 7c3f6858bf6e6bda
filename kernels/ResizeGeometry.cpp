#include "kernels/ResizeGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kAlign = 32;

int64_t AlignUp(int64_t v)
{
    return (v + kAlign - 1) & ~(kAlign - 1);
}

} // namespace

int V77ResizeCheck(V77Size srcSize, V77Rect srcRoi, int dstWidth, int dstHeight, double xFactor, double yFactor,
                   double xShift, double yShift, int interpolation, V77ResizeClip* clip)
{
    if (interpolation != V77_INTERPOLATION_LINEAR && interpolation != V77_INTERPOLATION_LINEAR_SMOOTH)
        return V77_RESIZE_BAD_INTERPOLATION;
    if (srcSize.width < 1 || srcSize.height < 1 || srcRoi.width < 1 || srcRoi.height < 1 || dstWidth < 1 ||
        dstHeight < 1)
        return V77_RESIZE_BAD_SIZE;
    if (!(xFactor > 0.0) || !(yFactor > 0.0) || !std::isfinite(xFactor) || !std::isfinite(yFactor) ||
        !std::isfinite(xShift) || !std::isfinite(yShift))
        return V77_RESIZE_BAD_FACTOR;
    const int64_t x0 = std::max<int64_t>(srcRoi.x, 0);
    const int64_t y0 = std::max<int64_t>(srcRoi.y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(srcRoi.x) + srcRoi.width, srcSize.width);
    const int64_t y1 = std::min<int64_t>(int64_t(srcRoi.y) + srcRoi.height, srcSize.height);
    if (x0 >= x1 || y0 >= y1)
        return V77_RESIZE_NO_OVERLAP;
    *clip = {static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0), static_cast<int>(y1)};
    return V77_RESIZE_OK;
}

V77ResizeTap V77ResizeAxisTap(int d, double roiStart, int lo, int hi, double factor, double shift)
{
    double f = roiStart + (d + 0.5 - shift) / factor - 0.5;
    // Clamping first keeps the conversions below defined for absurd factors.
    if (!(f > lo))
        return {lo, lo, 0};
    if (f >= hi)
        return {hi, hi, 0};
    int i = static_cast<int>(std::floor(f));
    int w = static_cast<int>(std::floor((f - i) * 128.0 + 0.5));
    if (w >= 128) {
        ++i;
        w = 0;
    }
    if (i >= hi)
        return {hi, hi, 0};
    return {i, i + 1, w};
}

int64_t V77ResizeScratch::Bytes(int64_t n)
{
    // Row buffers get 16 extra lanes so SIMD loops may run over the end.
    return AlignUp(n * 4) * 2 + AlignUp(n * 2) + AlignUp((n + 16) * 2) * 2 + kAlign;
}

V77ResizeScratch V77ResizeScratch::Carve(uint8_t* buffer, int64_t n)
{
    uintptr_t p = (reinterpret_cast<uintptr_t>(buffer) + kAlign - 1) & ~static_cast<uintptr_t>(kAlign - 1);
    V77ResizeScratch s;
    s.o0 = reinterpret_cast<int32_t*>(p);
    p += AlignUp(n * 4);
    s.o1 = reinterpret_cast<int32_t*>(p);
    p += AlignUp(n * 4);
    s.w = reinterpret_cast<int16_t*>(p);
    p += AlignUp(n * 2);
    s.h0 = reinterpret_cast<int16_t*>(p);
    p += AlignUp((n + 16) * 2);
    s.h1 = reinterpret_cast<int16_t*>(p);
    return s;
}

void V77ResizeColumnsInterleaved(const V77ResizeScratch& s, int channels, int dstWidth, const V77Rect& srcRoi,
                                 const V77ResizeClip& clip, double xFactor, double xShift)
{
    for (int dx = 0; dx < dstWidth; ++dx) {
        V77ResizeTap t = V77ResizeAxisTap(dx, srcRoi.x, clip.x0, clip.x1 - 1, xFactor, xShift);
        for (int c = 0; c < channels; ++c) {
            const int64_t j = int64_t(dx) * channels + c;
            s.o0[j] = t.i0 * channels + c;
            s.o1[j] = t.i1 * channels + c;
            s.w[j] = static_cast<int16_t>(t.w);
        }
    }
}

void V77ResizeColumnsYuy2(const V77ResizeScratch& s, int dstWidth, int srcWidth, const V77Rect& srcRoi,
                          const V77ResizeClip& clip, double xFactor)
{
    const int pairs = srcWidth / 2;
    const int plo = std::min(clip.x0 / 2, pairs - 1);
    const int phi = std::max(plo, std::min((clip.x1 + 1) / 2, pairs) - 1);
    for (int dx = 0; dx < dstWidth; ++dx) {
        V77ResizeTap y = V77ResizeAxisTap(dx, srcRoi.x, clip.x0, clip.x1 - 1, xFactor, 0.0);
        V77ResizeTap c = V77ResizeAxisTap(dx / 2, srcRoi.x * 0.5, plo, phi, xFactor, 0.0);
        const int64_t j = int64_t(dx) * 2;
        s.o0[j] = y.i0 * 2;
        s.o1[j] = y.i1 * 2;
        s.w[j] = static_cast<int16_t>(y.w);
        const int chromaByte = (dx & 1) ? 3 : 1;  // U on even pixels, V on odd ones
        s.o0[j + 1] = c.i0 * 4 + chromaByte;
        s.o1[j + 1] = c.i1 * 4 + chromaByte;
        s.w[j + 1] = static_cast<int16_t>(c.w);
    }
}
