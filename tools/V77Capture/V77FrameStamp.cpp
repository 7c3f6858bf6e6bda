#include "tools/V77Capture/V77FrameStamp.h"

namespace {

constexpr uint8_t kBlack = 16;
constexpr uint8_t kWhite = 235;

uint32_t Check(uint32_t number)
{
    return ((number ^ (number >> 8) ^ (number >> 16)) & 0xFF) ^ 0xA5;
}

}  // namespace

void WriteFrameStamp(uint8_t* yuy2, uint32_t width, uint32_t stride, uint32_t frame)
{
    if (width < kStampMinWidth)
        return;
    const uint32_t number = frame & 0xFFFFFF;
    const uint32_t code = (number << 8) | Check(number);
    const uint32_t blockPixels = (width / kStampBits) & ~1u;
    for (uint32_t row = 0; row < kStampRows; ++row) {
        uint8_t* line = yuy2 + row * stride;
        for (uint32_t x = 0; x + 1 < width; x += 2) {
            const uint32_t bit = x / blockPixels;
            const bool one = bit < kStampBits && ((code >> (kStampBits - 1 - bit)) & 1);
            line[2 * x] = line[2 * x + 2] = one ? kWhite : kBlack;
            line[2 * x + 1] = line[2 * x + 3] = 128;
        }
    }
}

long ReadFrameStamp(const uint8_t* yuy2, uint32_t width, uint32_t stride, uint64_t bytes)
{
    if (width < kStampMinWidth || bytes < uint64_t{kStampRows} * stride)
        return -1;
    const uint32_t blockPixels = (width / kStampBits) & ~1u;
    const uint8_t* line = yuy2 + (kStampRows / 2) * stride;
    uint32_t code = 0;
    for (uint32_t bit = 0; bit < kStampBits; ++bit) {
        const uint32_t x = bit * blockPixels + blockPixels / 2;
        code = (code << 1) | (line[2 * x] > 128 ? 1u : 0u);
    }
    const uint32_t number = code >> 8;
    return (code & 0xFF) == Check(number) ? static_cast<long>(number) : -1;
}
