// Checks of the JPEG renderer's output: picture comparisons against the test
// pictures, the marker segments of a JPEG stream, and decoding samples.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/display/TestPicture.h"
#include "tests/kit/WicJpegDecoder.h"

using Bytes = std::vector<BYTE>;

// PSNR in dB of the decoded picture against the expected one (same size,
// every channel); 0 when the sizes differ.
double PsnrAgainst(const WicDecodedImage& decoded, const TestPicture& expected);
// The picture turned upside down.
TestPicture Flipped(const TestPicture& picture);
// The picture as grey (BT.601 luma), each channel equal.
TestPicture Luma(const TestPicture& picture);
// Red, green / blue, white: shows orientation and left-right order at once.
extern const Rgb kRed, kGreen, kBlue, kWhite;
TestPicture Quadrants(LONG width, LONG height);
// Probes the four quadrants' centres: empty when each holds its colour
// (within a JPEG's error), otherwise what differs.
std::string QuadrantMismatch(const WicDecodedImage& decoded, Rgb tl, Rgb tr, Rgb bl, Rgb br);
// The same for Quadrants() the right way up.
std::string QuadrantMismatch(const WicDecodedImage& decoded);
// Decoded pixel at (x, y).
Rgb PixelAt(const WicDecodedImage& decoded, UINT x, UINT y);

// The payload (after the length) of the first segment with this marker
// (0xFE COM, 0xC0 SOF0, 0xDB DQT ...), searched from SOI up to SOS. False
// when there is none or the stream is malformed.
bool FindSegment(const Bytes& jpeg, BYTE marker, Bytes* payload);
// Components in the SOF0 segment, 0 when there is none.
int FrameComponents(const Bytes& jpeg);

// The valid bytes of a sample.
Bytes SampleBytes(IMediaSample* sample);
// Decodes with WIC; an empty picture when decoding fails.
WicDecodedImage Decode(const Bytes& jpeg);
