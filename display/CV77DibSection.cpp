#include "display/CV77DibSection.h"

bool CV77DibSection::Create(HDC dc, LONG width, LONG height)
{
    Reset();
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;  // top-down: row 0 is the top of the picture
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                      nullptr, 0);
    if (!bitmap)
        return false;
    HGDIOBJ previous = SelectObject(dc, bitmap);
    if (!previous || previous == HGDI_ERROR) {
        const DWORD error = GetLastError();
        DeleteObject(bitmap);
        SetLastError(error ? error : ERROR_INVALID_HANDLE);
        return false;
    }
    m_hDC = dc;
    m_hBitmap = bitmap;
    m_hPrevious = previous;
    m_pBits = static_cast<BYTE*>(bits);
    m_Width = width;
    m_Height = height;
    return true;
}

void CV77DibSection::Reset()
{
    if (!m_hBitmap)
        return;
    // Pending GDI output into the section must land before it goes away.
    GdiFlush();
    SelectObject(m_hDC, m_hPrevious);
    DeleteObject(m_hBitmap);
    m_hDC = nullptr;
    m_hBitmap = nullptr;
    m_hPrevious = nullptr;
    m_pBits = nullptr;
    m_Width = 0;
    m_Height = 0;
}
