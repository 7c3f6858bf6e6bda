// Run-length coding of 1-bit masks (sensor regions and sensor sample masks).
//
// A mask is width x height pixels read row by row, top row first, left to
// right. Its coding is a sequence of little-endian 32-bit words, one run each:
//
//     bit 31      the run's pixel value (1 set, 0 clear)
//     bits 0-30   the run's length in pixels (0 is allowed and does nothing)
//
// Runs continue from one row into the next. Pixels after the last run are
// clear; runs that reach past the last pixel are cut there (an overrun).
//
// Decoded rows hold one bit per pixel, the leftmost pixel in the most
// significant bit of the row's first byte (the layout of 1-bit DIBs). A row
// of rowBytes bytes carries pixels 0 .. 8 * rowBytes - 1; pixels beyond that
// are read from the coding but not written (rowBytes = width / 8 drops the
// last width % 8 columns). Padding bits of a row are cleared.
//
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace v77 {

constexpr uint32_t kRunSetBit = 0x80000000u;
constexpr uint32_t kRunLengthMask = 0x7FFFFFFFu;

enum class RunLengthResult {
    Complete,   // the runs covered the mask exactly
    Short,      // the runs ended before the last pixel (the rest is clear)
    Overrun,    // the runs reached past the last pixel (cut there)
    BadArgument // null pointers or sizes that do not describe a mask
};

// Decodes byteCount / 4 words at data (any alignment) into height rows of
// rowBytes bytes, rowStride bytes apart (rowStride >= rowBytes). The whole
// rows are rewritten. Never reads past data + byteCount or writes outside
// the rows.
RunLengthResult DecodeRunLength(const void* data, size_t byteCount, uint8_t* rows, int width, int rowBytes,
                                int height, ptrdiff_t rowStride);

// Codes a mask given in the decoder's row layout (rows of rowBytes bytes,
// rowStride apart; pixels beyond 8 * rowBytes count as clear).
std::vector<uint32_t> EncodeRunLength(const uint8_t* rows, int width, int rowBytes, int height,
                                      ptrdiff_t rowStride);

// Codes a mask given one byte per pixel (non-zero = set), width x height.
std::vector<uint32_t> EncodeRunLengthPixels(const uint8_t* pixels, int width, int height);

// The words as little-endian bytes, as samples and the region data carry them.
std::vector<uint8_t> RunLengthBytes(const std::vector<uint32_t>& words);

}  // namespace v77
