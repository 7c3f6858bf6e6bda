#include "tests/jpeg/CTestDibDc.h"

CTestDibDc::CTestDibDc(LONG width, LONG height, bool topDown, WORD bitCount)
    : m_hDc(CreateCompatibleDC(nullptr)),
      m_hBitmap(nullptr),
      m_hPrevious(nullptr),
      m_pBits(nullptr),
      m_Width(width),
      m_Height(height),
      m_Stride(((width * bitCount + 31) / 32) * 4),
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

BYTE* CTestDibDc::Row(LONG y) const
{
    return m_pBits + static_cast<size_t>(m_bTopDown ? y : m_Height - 1 - y) * m_Stride;
}

void CTestDibDc::Fill(const TestPicture& picture)
{
    GdiFlush();
    for (LONG y = 0; y < m_Height && y < picture.height; ++y) {
        BYTE* row = Row(y);
        for (LONG x = 0; x < m_Width && x < picture.width; ++x) {
            const Rgb c = picture.At(x, y);
            row[x * 3] = c.b;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.r;
        }
    }
}

Rgb CTestDibDc::At(LONG x, LONG y) const
{
    GdiFlush();
    const BYTE* p = Row(y) + x * 3;
    return Rgb{p[2], p[1], p[0]};
}
