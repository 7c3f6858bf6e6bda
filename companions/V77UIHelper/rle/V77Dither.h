// Dithering of a decoded region mask into the rows of a 1-bit bitmap, so that
// a configured region shows as a screen over the picture while the solid live
// mask painted on top of it stands out.
//
// Modes (pixel x, y counted from the top-left corner, shifted by the state's
// phase):
//     0   copy: every set pixel stays set
//     1   checkerboard: a set pixel stays set where (x + y) is even (half)
//     2   sparse: a set pixel stays set where x and y are both even (a quarter)
// Any other mode clears the region.
//
// The state is an optional DitherPhase (null or all zero: the pattern starts
// at the top-left pixel). The function only reads it.
//
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v77 {

struct DitherPhase {
    int32_t x;
    int32_t y;
};

// raw: height rows of rawRowBytes (the decoder's layout); dib: height rows of
// dibRowBytes, top row first. Pixels at x >= width, and beyond either row,
// come out clear. False (nothing written) for null pointers or bad sizes.
bool DitherRegion(const uint8_t* raw, uint8_t* dib, int width, int rawRowBytes, int dibRowBytes, int height,
                  const DitherPhase* phase, int mode);

}  // namespace v77
