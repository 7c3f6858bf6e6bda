// Video YUV to 24-bit BGR conversions (BT.601, limited range).
//
//   R = 1.164383 (Y - 16)                      + 1.596027 (V - 128)
//   G = 1.164383 (Y - 16) - 0.391762 (U - 128) - 0.812968 (V - 128)
//   B = 1.164383 (Y - 16) + 2.017232 (U - 128)
//
// Fixed point in 1/32 of a level: each term is a 16-bit product whose high
// half is taken (floor), the terms are added with 16 (one half) and shifted
// right by 5, then clamped to 0..255. Every result is within 1 of the exact
// value rounded to nearest. Output bytes are B, G, R per pixel; exactly
// width * 3 bytes are written per row.
//
// Odd sizes: chroma comes in pairs of pixels (YUY2) or 2 x 2 blocks (4:2:0).
// A pixel whose pair or block is incomplete -- the last column of an odd
// width, the last row of an odd height -- takes the chroma of the last
// complete pair or block before it, and when there is none (width or height
// 1) neutral chroma (128). Nothing outside width * 2 bytes per YUY2 row, or
// outside floor(width / 2) x floor(height / 2) chroma samples, is read.
#pragma once

#include <cstdint>

// Packed YUY2 (Y0 U Y1 V), rows of width * 2 bytes every srcStep bytes.
using V77Yuy2ToBgr24Fn = void (*)(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                                  int width, int height);
void V77Yuy2ToBgr24(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int width,
                    int height);
void V77Yuy2ToBgr24Plain(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int width,
                         int height);
void V77Yuy2ToBgr24Sse2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, int width,
                        int height);
V77Yuy2ToBgr24Fn V77SelectYuy2ToBgr24(uint32_t features);

// Planar 4:2:0: planes[0..2] = Y, U, V with their row steps in steps[0..2].
// Chroma sample (x / 2, y / 2) belongs to pixel (x, y).
using V77Yuv420ToBgr24Fn = void (*)(const uint8_t* const planes[3], const int steps[3],
                                    uint8_t* dst, int dstStep, int width, int height);
void V77Yuv420ToBgr24(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                      int dstStep, int width, int height);
void V77Yuv420ToBgr24Plain(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                           int dstStep, int width, int height);
void V77Yuv420ToBgr24Sse2(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                          int dstStep, int width, int height);
// Needs SSSE3 (V77_CPU_SSSE3); the same bytes as the other two.
void V77Yuv420ToBgr24Ssse3(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                           int dstStep, int width, int height);
// Needs AVX2 (V77_CPU_AVX2); the same bytes again.
void V77Yuv420ToBgr24Avx2(const uint8_t* const planes[3], const int steps[3], uint8_t* dst,
                          int dstStep, int width, int height);
V77Yuv420ToBgr24Fn V77SelectYuv420ToBgr24(uint32_t features);

// One pixel with the arithmetic above (B, G, R into out[0..2]).
void V77YuvPixelToBgr(int y, int u, int v, uint8_t* out);
