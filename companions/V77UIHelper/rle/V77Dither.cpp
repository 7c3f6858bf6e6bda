#include "companions/V77UIHelper/rle/V77Dither.h"

#include <cstring>

namespace v77 {

namespace {

// The pattern byte of one row: bit 7 is the row's pixel 0.
uint8_t PatternByte(int mode, int y, const DitherPhase& phase)
{
    const bool oddRow = ((y + phase.y) & 1) != 0;
    const bool oddColumn = (phase.x & 1) != 0;
    switch (mode) {
    case 0:
        return 0xFF;
    case 1:
        return oddRow != oddColumn ? 0x55 : 0xAA;
    case 2:
        return oddRow ? 0x00 : (oddColumn ? 0x55 : 0xAA);
    default:
        return 0x00;
    }
}

}  // namespace

bool DitherRegion(const uint8_t* raw, uint8_t* dib, int width, int rawRowBytes, int dibRowBytes, int height,
                  const DitherPhase* phase, int mode)
{
    if (!raw || !dib || width < 0 || rawRowBytes < 0 || dibRowBytes < 0 || height < 0)
        return false;
    const DitherPhase none = {0, 0};
    const DitherPhase& p = phase ? *phase : none;
    int pixels = width;
    if (pixels > 8 * rawRowBytes)
        pixels = 8 * rawRowBytes;
    if (pixels > 8 * dibRowBytes)
        pixels = 8 * dibRowBytes;
    const int wholeBytes = pixels / 8;
    const int restBits = pixels % 8;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = raw + static_cast<ptrdiff_t>(y) * rawRowBytes;
        uint8_t* out = dib + static_cast<ptrdiff_t>(y) * dibRowBytes;
        memset(out, 0, static_cast<size_t>(dibRowBytes));
        const uint8_t pattern = PatternByte(mode, y, p);
        for (int i = 0; i < wholeBytes; ++i)
            out[i] = in[i] & pattern;
        if (restBits)
            out[wholeBytes] = in[wholeBytes] & pattern & static_cast<uint8_t>(0xFFu << (8 - restBits));
    }
    return true;
}

}  // namespace v77
