// Test pictures and their encodings in the renderers' input formats.
#pragma once

#include <windows.h>
#include <cstdint>
#include <vector>
#include "framework/CMediaType.h"

struct Rgb {
    BYTE r, g, b;
};

// width x height pixels, top row first.
struct TestPicture {
    LONG width = 0;
    LONG height = 0;
    std::vector<Rgb> pixels;

    Rgb At(LONG x, LONG y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void Set(LONG x, LONG y, Rgb c) { pixels[static_cast<size_t>(y) * width + x] = c; }
};

TestPicture UniformPicture(LONG width, LONG height, Rgb colour);
// Four quadrants: top-left, top-right, bottom-left, bottom-right.
TestPicture QuadrantPicture(LONG width, LONG height, Rgb tl, Rgb tr, Rgb bl, Rgb br);
// Even rows in one colour, odd rows in another.
TestPicture RowPicture(LONG width, LONG height, Rgb even, Rgb odd);
// Smooth gradients with some texture, as camera pictures look to an encoder.
TestPicture NaturalPicture(LONG width, LONG height);

// FORMAT_VideoInfo of RGB24, RGB32 or RGB565 (BI_RGB, bottom-up unless topDown), YUY2, YV12 or I420.
CMediaType MakeVideoType(const GUID& subtype, LONG width, LONG height, bool topDown = false);
// The picture in that format (BT.601 limited range for YUV, chroma averaged).
std::vector<BYTE> EncodeFrame(const TestPicture& picture, const GUID& subtype, bool topDown = false);

// BT.601 limited range, rounded.
void RgbToYuv(Rgb c, BYTE* y, BYTE* u, BYTE* v);

bool Near(Rgb a, Rgb b, int tolerance);
