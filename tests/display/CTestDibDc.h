// A memory DC holding a DIB section of the host's kind (24 or 32 bits per
// pixel, either row order): to draw into, to copy a window into and to encode
// from, with its pixels readable in picture (top-first) order.
#pragma once

#include <windows.h>

#include "tests/display/TestPicture.h"

class CTestDibDc {
public:
    CTestDibDc(LONG width, LONG height, bool topDown, WORD bitCount = 24);
    ~CTestDibDc();
    CTestDibDc(const CTestDibDc&) = delete;
    CTestDibDc& operator=(const CTestDibDc&) = delete;

    bool IsValid() const { return m_pBits != nullptr; }
    HDC Dc() const { return m_hDc; }
    // The picture's pixels, from the top-left corner, as far as both reach.
    void Fill(const TestPicture& picture);
    // Pixels of rect (clipped to the section) set to colour.
    void Fill(const RECT& rect, Rgb colour);
    Rgb At(LONG x, LONG y) const;
    // Every pixel, or an empty picture when the section could not be made.
    TestPicture Picture() const;

private:
    BYTE* Pixel(LONG x, LONG y) const;
    void Put(LONG x, LONG y, Rgb colour);

    HDC m_hDc;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hPrevious;
    BYTE* m_pBits;
    LONG m_Width;
    LONG m_Height;
    LONG m_Stride;
    LONG m_PixelBytes;
    bool m_bTopDown;
};
