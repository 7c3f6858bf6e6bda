// Brightness and contrast of the video renderers.
//
// brightness and gain are the renderers' 8.8 fixed-point settings as stored
// (gain 256 = contrast 1.0). Division by 256 truncates toward zero, as C's
// signed division does; clamp limits to the channel's range:
//
//   luma     Y' = clamp(Y * gain / 256 + brightness, 0..255)
//   chroma   C' = clamp((C - 128) * gain / 256 + 128, 0..255)
//   RGB565   B' = clamp(B * gain / 256 + brightness / 2, 0..31)
//            G' = clamp(G * gain / 256 + brightness, 0..63)
//            R' = clamp(R * gain / 256 + brightness / 2, 0..31)
//
// brightness is added as it is stored, so brightness 256 (1.0) lifts luma by
// 256 levels. Any 16-bit brightness and gain gives defined results.
//
// Field rule (lineDouble): destination rows 2k and 2k + 1 both come from
// source row 2k, so the first field is shown with its lines doubled and the
// second is dropped. Without it each destination row has its own source row.
// Source rows are packed (the step is the row's byte count); the destination
// advances by its pitch. Source and destination must not overlap unless they
// are the same buffer with the same row layout and lineDouble is off.
#pragma once

#include <cstdint>

// Packed YUY2, rows of width * 2 bytes: Y bytes by the luma rule, U and V by
// the chroma rule; height rows with the field rule.
void V77AdjustYuy2(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                   int16_t brightness, int16_t gain, bool lineDouble);
// rowBytes bytes per row, each by the luma rule; rows rows with the field rule.
void V77AdjustLuma(const uint8_t* src, uint8_t* dst, int dstPitch, int rowBytes, int rows,
                   int16_t brightness, int16_t gain, bool lineDouble);
// Both quarter-size chroma planes of a 4:2:0 picture in one pass: height rows
// of width / 2 bytes, the source advancing width / 2 and the destination
// dstPitch / 2 per row; no field rule.
void V77AdjustChroma(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                     int16_t gain);
// 16-bit RGB565 (B in the low bits), rows of width * 2 bytes; field rule.
void V77AdjustRgb565(const uint8_t* src, uint8_t* dst, int dstPitch, int width, int height,
                     int16_t brightness, int16_t gain, bool lineDouble);

// The four routines of one build.
struct V77PixelAdjustRoutines {
    void (*adjustYuy2)(const uint8_t*, uint8_t*, int, int, int, int16_t, int16_t, bool);
    void (*adjustLuma)(const uint8_t*, uint8_t*, int, int, int, int16_t, int16_t, bool);
    void (*adjustChroma)(const uint8_t*, uint8_t*, int, int, int, int16_t);
    void (*adjustRgb565)(const uint8_t*, uint8_t*, int, int, int, int16_t, int16_t, bool);
};

extern const V77PixelAdjustRoutines kV77PixelAdjustPlain;
extern const V77PixelAdjustRoutines kV77PixelAdjustSse2;

// The build for a feature word: SSE2 with V77_CPU_SSE2, otherwise plain (the
// plain build also stands for the MMX one of 32-bit processors).
const V77PixelAdjustRoutines& V77SelectPixelAdjust(uint32_t features);
