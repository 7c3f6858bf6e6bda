// The moving test picture of the capture tool, in YUY2: colour bars that
// scroll sideways by four pixels a frame, the frame number as a stamp
// across the top (V77FrameStamp) and in large digits below it.
#pragma once

#include <cstdint>

class CCapturePattern {
public:
    CCapturePattern(uint32_t width, uint32_t height) : m_uWidth(width), m_uHeight(height) {}
    uint32_t FrameBytes() const { return m_uWidth * m_uHeight * 2; }
    void Draw(uint8_t* yuy2, uint32_t frame) const;

private:
    void DrawDigits(uint8_t* yuy2, uint32_t frame) const;

    uint32_t m_uWidth;
    uint32_t m_uHeight;
};
