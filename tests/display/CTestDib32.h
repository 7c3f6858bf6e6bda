// A 32-bit top-down DIB section in a memory DC: a window capture is copied
// into it, and a host overlay is drawn in it.
#pragma once

#include <windows.h>

#include "tests/display/TestPicture.h"

class CTestDib32 {
public:
    CTestDib32(LONG width, LONG height);
    ~CTestDib32();
    CTestDib32(const CTestDib32&) = delete;
    CTestDib32& operator=(const CTestDib32&) = delete;

    bool IsValid() const { return m_pBits != nullptr; }
    HDC Dc() const { return m_hDc; }
    // B, G, R, X per pixel, rows of width * 4 bytes; null when the section could not be made.
    const BYTE* Bits() const { return m_pBits; }
    // Pixels of rect (clipped to the section) set to colour.
    void Fill(const RECT& rect, Rgb colour);

private:
    HDC m_hDc;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hPrevious;
    BYTE* m_pBits;
    LONG m_Width;
    LONG m_Height;
};
