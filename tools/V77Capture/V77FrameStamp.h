// The frame number the capture tool draws into each YUY2 picture: a band of
// kStampRows rows across the top holding 32 blocks, black for 0 and white
// for 1, most significant first: 24 bits of frame number and an 8-bit check.
// Readers (tests, the demo) get the number back from the picture alone.
// Portable: no Windows header.
#pragma once

#include <cstdint>

constexpr uint32_t kStampRows = 8;
constexpr uint32_t kStampBits = 32;
// Narrowest picture that carries a stamp (one macropixel per bit).
constexpr uint32_t kStampMinWidth = 2 * kStampBits;

// Writes the stamp of frame into the top rows of a YUY2 picture.
void WriteFrameStamp(uint8_t* yuy2, uint32_t width, uint32_t stride, uint32_t frame);
// The frame number of a stamped YUY2 picture, or -1 when the band holds no
// valid stamp (wrong check, too narrow, too few bytes).
long ReadFrameStamp(const uint8_t* yuy2, uint32_t width, uint32_t stride, uint64_t bytes);
