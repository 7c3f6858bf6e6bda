// A memory DC holding a DIB section of the host's kind, to draw into and to
// encode from, with its pixels readable in picture (top-first) order.
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
    // 24-bit sections only.
    void Fill(const TestPicture& picture);
    Rgb At(LONG x, LONG y) const;

private:
    BYTE* Row(LONG y) const;

    HDC m_hDc;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hPrevious;
    BYTE* m_pBits;
    LONG m_Width;
    LONG m_Height;
    LONG m_Stride;
    bool m_bTopDown;
};
