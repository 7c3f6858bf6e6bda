#include "tests/display/CTestDib32.h"

#include <algorithm>

CTestDib32::CTestDib32(LONG width, LONG height)
    : m_hDc(CreateCompatibleDC(nullptr)), m_hBitmap(nullptr), m_hPrevious(nullptr), m_pBits(nullptr),
      m_Width(width),
      m_Height(height)
{
    if (!m_hDc)
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_hBitmap = CreateDIBSection(m_hDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_hBitmap)
        return;
    m_hPrevious = SelectObject(m_hDc, m_hBitmap);
    m_pBits = static_cast<BYTE*>(bits);
}

CTestDib32::~CTestDib32()
{
    if (m_hBitmap) {
        SelectObject(m_hDc, m_hPrevious);
        DeleteObject(m_hBitmap);
    }
    if (m_hDc)
        DeleteDC(m_hDc);
}

void CTestDib32::Fill(const RECT& rect, Rgb colour)
{
    if (!m_pBits)
        return;
    // GDI may still be writing into the section.
    GdiFlush();
    const LONG left = std::max(0L, rect.left), right = std::min(m_Width, rect.right);
    const LONG top = std::max(0L, rect.top), bottom = std::min(m_Height, rect.bottom);
    for (LONG y = top; y < bottom; ++y) {
        BYTE* row = m_pBits + static_cast<size_t>(y) * m_Width * 4;
        for (LONG x = left; x < right; ++x) {
            row[x * 4] = colour.b;
            row[x * 4 + 1] = colour.g;
            row[x * 4 + 2] = colour.r;
            row[x * 4 + 3] = 0;
        }
    }
}
