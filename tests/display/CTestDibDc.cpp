#include "tests/display/CTestDibDc.h"

#include <algorithm>

CTestDibDc::CTestDibDc(LONG width, LONG height, bool topDown, WORD bitCount)
    : m_hDc(CreateCompatibleDC(nullptr)),
      m_hBitmap(nullptr),
      m_hPrevious(nullptr),
      m_pBits(nullptr),
      m_Width(width),
      m_Height(height),
      m_Stride(((width * bitCount + 31) / 32) * 4),
      m_PixelBytes(bitCount / 8),
      m_bTopDown(topDown)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = topDown ? -height : height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    m_hBitmap = CreateDIBSection(m_hDc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_hDc || !m_hBitmap)
        return;
    m_hPrevious = SelectObject(m_hDc, m_hBitmap);
    m_pBits = static_cast<BYTE*>(bits);
}

CTestDibDc::~CTestDibDc()
{
    if (m_hPrevious)
        SelectObject(m_hDc, m_hPrevious);
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    if (m_hDc)
        DeleteDC(m_hDc);
}

BYTE* CTestDibDc::Pixel(LONG x, LONG y) const
{
    const LONG row = m_bTopDown ? y : m_Height - 1 - y;
    return m_pBits + static_cast<size_t>(row) * m_Stride + static_cast<size_t>(x) * m_PixelBytes;
}

void CTestDibDc::Put(LONG x, LONG y, Rgb colour)
{
    BYTE* p = Pixel(x, y);
    p[0] = colour.b;
    p[1] = colour.g;
    p[2] = colour.r;
    if (m_PixelBytes == 4)
        p[3] = 0;
}

void CTestDibDc::Fill(const TestPicture& picture)
{
    if (!m_pBits)
        return;
    // GDI may still be writing into the section.
    GdiFlush();
    for (LONG y = 0; y < m_Height && y < picture.height; ++y) {
        for (LONG x = 0; x < m_Width && x < picture.width; ++x)
            Put(x, y, picture.At(x, y));
    }
}

void CTestDibDc::Fill(const RECT& rect, Rgb colour)
{
    if (!m_pBits)
        return;
    GdiFlush();
    const LONG left = std::max(0L, rect.left), right = std::min(m_Width, rect.right);
    const LONG top = std::max(0L, rect.top), bottom = std::min(m_Height, rect.bottom);
    for (LONG y = top; y < bottom; ++y) {
        for (LONG x = left; x < right; ++x)
            Put(x, y, colour);
    }
}

Rgb CTestDibDc::At(LONG x, LONG y) const
{
    GdiFlush();
    const BYTE* p = Pixel(x, y);
    return Rgb{p[2], p[1], p[0]};
}

TestPicture CTestDibDc::Picture() const
{
    if (!m_pBits)
        return TestPicture();
    TestPicture picture = UniformPicture(m_Width, m_Height, Rgb{0, 0, 0});
    GdiFlush();
    for (LONG y = 0; y < m_Height; ++y) {
        for (LONG x = 0; x < m_Width; ++x) {
            const BYTE* p = Pixel(x, y);
            picture.Set(x, y, Rgb{p[2], p[1], p[0]});
        }
    }
    return picture;
}
