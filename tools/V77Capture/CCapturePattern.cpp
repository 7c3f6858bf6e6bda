#include "tools/V77Capture/CCapturePattern.h"

#include <cstdio>

#include "tools/V77Capture/V77FrameStamp.h"

namespace {

struct Yuv {
    uint8_t y, u, v;
};
// White, yellow, cyan, green, magenta, red, blue, black.
constexpr Yuv kBars[8] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                          {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};
// 3 × 5 digits, one row of three bits per nibble, top row first.
constexpr uint16_t kDigits[10] = {0x7B6F, 0x2492, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};
constexpr uint32_t kDigitScale = 4;

}  // namespace

void CCapturePattern::Draw(uint8_t* yuy2, uint32_t frame) const
{
    const uint32_t stride = m_uWidth * 2;
    const uint32_t shift = frame * 4;
    for (uint32_t y = 0; y < m_uHeight; ++y) {
        uint8_t* line = yuy2 + y * stride;
        for (uint32_t x = 0; x + 1 < m_uWidth; x += 2) {
            const Yuv& bar = kBars[((x + shift) % m_uWidth) * 8 / m_uWidth];
            line[2 * x] = line[2 * x + 2] = bar.y;
            line[2 * x + 1] = bar.u;
            line[2 * x + 3] = bar.v;
        }
    }
    WriteFrameStamp(yuy2, m_uWidth, stride, frame);
    DrawDigits(yuy2, frame);
}

void CCapturePattern::DrawDigits(uint8_t* yuy2, uint32_t frame) const
{
    char text[16];
    const int length = snprintf(text, sizeof text, "%u", frame);
    const uint32_t top = kStampRows + 4;
    const uint32_t cell = 4 * kDigitScale;
    if (top + 5 * kDigitScale > m_uHeight)
        return;
    for (int i = 0; i < length; ++i) {
        const uint16_t glyph = kDigits[text[i] - '0'];
        for (uint32_t row = 0; row < 5 * kDigitScale; ++row) {
            uint8_t* line = yuy2 + (top + row) * m_uWidth * 2;
            for (uint32_t col = 0; col < cell; ++col) {
                const uint32_t x = 4 + i * cell + col;
                if (x >= m_uWidth)
                    break;
                const uint32_t gx = col / kDigitScale;
                const bool on = gx < 3 && ((glyph >> (14 - (row / kDigitScale) * 3 - gx)) & 1);
                line[2 * x] = on ? 235 : 16;
                // Keep the chroma pair neutral under the digits.
                line[2 * (x & ~1u) + 1] = line[2 * (x & ~1u) + 3] = 128;
            }
        }
    }
}
