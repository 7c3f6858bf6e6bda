// Bilinear scaling of packed YUY2 (4:2:2) pictures and of 1-, 3- and 4-channel
// 8-bit images.
//
// Geometry. Destination pixel (dx, dy) of the destination rectangle samples
// the source at
//     sx = srcRoi.x + (dx + 0.5 - xShift) / xFactor - 0.5
//     sy = srcRoi.y + (dy + 0.5 - yShift) / yFactor - 0.5
// (pixel centres line up), clamped to the part of the source rectangle that
// lies inside the source image, so the whole destination rectangle is always
// written and nothing outside the source rectangle is read. For YUY2 the
// chroma bytes are scaled the same way on the grid of pixel pairs; a picture
// with no complete pair (width 1) gets neutral chroma (128).
//
// Arithmetic, identical in every build: the fraction of sx and sy is rounded
// to 1/128; a row is first blended horizontally into 16-bit values
//     h = a * (128 - wx) + b * wx                      (0 .. 32640)
// then two such rows vertically, with the high half of a 16-bit product:
//     t = ((h1 - h0) * (wy << 8)) >> 16                (floor)
//     out = (h0 + 2 * t + 64) >> 7
// so a factor of 1 with no shift copies the source exactly.
//
// Every call returns a V77ResizeStatus; on an error nothing is written.
#pragma once

#include <cstdint>

struct V77Size {
    int width, height;
};

struct V77Rect {
    int x, y, width, height;
};

enum V77ResizeStatus : int {
    V77_RESIZE_OK = 0,
    V77_RESIZE_NULL_POINTER = -1,
    V77_RESIZE_BAD_SIZE = -2,          // an empty or negative size or rectangle
    V77_RESIZE_BAD_STEP = -3,          // a row step shorter than its row
    V77_RESIZE_BAD_FACTOR = -4,        // a factor <= 0, infinite or NaN, or a non-finite shift
    V77_RESIZE_BAD_INTERPOLATION = -5, // a selector other than the two below
    V77_RESIZE_NO_OVERLAP = -6,        // the source rectangle misses the image
    V77_RESIZE_NO_MEMORY = -7,
};

// Interpolation selectors: linear, and linear with the high "smooth edge"
// bit, which this library treats the same.
constexpr int V77_INTERPOLATION_LINEAR = 2;
constexpr int V77_INTERPOLATION_LINEAR_SMOOTH = static_cast<int>(0x80000002u);

// Bytes of scratch memory that a 1-, 3- or 4-channel resize between these
// rectangles needs (the buffer may have any alignment).
int V77ResizeBufferSize(V77Rect srcRoi, V77Rect dstRoi, int channels, int interpolation, int* bytes);

// YUY2: rows of width * 2 bytes; the destination is the whole dstSize picture.
int V77ResizeYuv422(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst,
                    int dstStep, V77Size dstSize, double xFactor, double yFactor, int interpolation);

// 8-bit images of 1, 3 or 4 interleaved channels; buffer holds
// V77ResizeBufferSize bytes. The destination rectangle is written at
// dst + dstRoi.y * dstStep + dstRoi.x * channels.
int V77ResizeC1(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                V77Rect dstRoi, double xFactor, double yFactor, double xShift, double yShift, int interpolation,
                uint8_t* buffer);
int V77ResizeC3(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                V77Rect dstRoi, double xFactor, double yFactor, double xShift, double yShift, int interpolation,
                uint8_t* buffer);
int V77ResizeC4(const uint8_t* src, V77Size srcSize, int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep,
                V77Rect dstRoi, double xFactor, double yFactor, double xShift, double yShift, int interpolation,
                uint8_t* buffer);

// Column taps of a destination row: byte j blends row[o0[j]] and row[o1[j]]
// with weight w[j] (o1[j] = o0[j] + channels whenever w[j] != 0).
struct V77ResizeColumns {
    const int32_t* o0;
    const int32_t* o1;
    const int16_t* w;
    int n;         // destination bytes of a row
    int channels;  // 1, 3 or 4 interleaved channels; 2 for YUY2
    // Bytes [0, wideEnd) are whole pixels whose source pixel may be read
    // 2 x channels bytes wide from o0 without leaving the source row (YUY2:
    // 8 bytes wide, wideEnd a multiple of 4).
    int wideEnd;
};

// The row routines of one build. Both builds give the same bytes.
struct V77ResizeRowKernels {
    const char* name;
    // h[j] = row[o0[j]] * (128 - w[j]) + row[o1[j]] * w[j], j < n.
    void (*horizontal)(const uint8_t* row, const V77ResizeColumns& c, int16_t* h);
    // out[j] from h0[j] and h1[j] as above, j < n.
    void (*vertical)(const int16_t* h0, const int16_t* h1, int wy, uint8_t* out, int n);
};
extern const V77ResizeRowKernels kV77ResizePlain;
extern const V77ResizeRowKernels kV77ResizeSse2;
extern const V77ResizeRowKernels kV77ResizeAvx2;  // needs V77_CPU_AVX2
// The build chosen for a feature word; the entry points above use the one for
// this processor, chosen on first use.
const V77ResizeRowKernels& V77SelectResizeKernels(uint32_t features);

// The same entry points with an explicit build (for tests and benchmarks).
int V77ResizeYuv422With(const V77ResizeRowKernels& k, const uint8_t* src, V77Size srcSize, int srcStep,
                        V77Rect srcRoi, uint8_t* dst, int dstStep, V77Size dstSize, double xFactor,
                        double yFactor, int interpolation);
int V77ResizeChannelsWith(const V77ResizeRowKernels& k, int channels, const uint8_t* src, V77Size srcSize,
                          int srcStep, V77Rect srcRoi, uint8_t* dst, int dstStep, V77Rect dstRoi, double xFactor,
                          double yFactor, double xShift, double yShift, int interpolation, uint8_t* buffer);
