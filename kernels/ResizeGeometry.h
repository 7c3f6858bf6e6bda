// Where each destination byte of a resize reads the source: argument checks,
// the clipped source rectangle and the per-column and per-row taps. Shared by
// every build so that they all sample the same places.
#pragma once

#include "kernels/Resize.h"

#include <cstddef>
#include <cstdint>

// The source rectangle clipped to the image: [x0, x1) x [y0, y1).
struct V77ResizeClip {
    int x0, x1, y0, y1;
};

// One tap pair on an axis: indices i0 <= i1 inside the clipped range and the
// weight of i1 in 1/128 (0 when i0 == i1).
struct V77ResizeTap {
    int i0, i1, w;
};

// Checks sizes, factors and the selector and clips the rectangle; V77_RESIZE_OK or the error.
int V77ResizeCheck(V77Size srcSize, V77Rect srcRoi, int dstWidth, int dstHeight, double xFactor, double yFactor,
                   double xShift, double yShift, int interpolation, V77ResizeClip* clip);

// Tap of destination index d on an axis whose rectangle starts at roiStart
// and is clipped to [lo, hi] (inclusive, lo <= hi).
V77ResizeTap V77ResizeAxisTap(int d, double roiStart, int lo, int hi, double factor, double shift);

// Scratch layout for rows of n destination bytes (n > 0): column offsets,
// weights and two 16-bit row buffers, each 32-byte aligned from an aligned
// base. Bytes() includes the slack to align an arbitrary buffer.
struct V77ResizeScratch {
    int32_t* o0;
    int32_t* o1;
    int16_t* w;
    int16_t* h0;
    int16_t* h1;
    static int64_t Bytes(int64_t n);
    // Carves the sections out of buffer (at least Bytes(n) bytes).
    static V77ResizeScratch Carve(uint8_t* buffer, int64_t n);
};

// Column tables of an image with `channels` interleaved channels.
void V77ResizeColumnsInterleaved(const V77ResizeScratch& s, int channels, int dstWidth, const V77Rect& srcRoi,
                                 const V77ResizeClip& clip, double xFactor, double xShift);
// Column tables of a YUY2 row of dstWidth pixels (2 * dstWidth bytes). The
// source has at least one complete pixel pair.
void V77ResizeColumnsYuy2(const V77ResizeScratch& s, int dstWidth, int srcWidth, const V77Rect& srcRoi,
                          const V77ResizeClip& clip, double xFactor);
