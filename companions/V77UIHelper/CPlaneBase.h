// A plane of the overlay: a pixel size and the colour its marks are painted in.
#pragma once

#include <windows.h>

struct V77Rgb {
    BYTE red;
    BYTE green;
    BYTE blue;
};

class CPlaneBase {
public:
    virtual ~CPlaneBase() = default;

    LONG Width() const { return m_Width; }
    LONG Height() const { return m_Height; }
    V77Rgb Color() const { return m_Color; }

protected:
    CPlaneBase(LONG width, LONG height, V77Rgb color) : m_Width(width), m_Height(height), m_Color(color) {}

    LONG m_Width;
    LONG m_Height;
    V77Rgb m_Color;
};
