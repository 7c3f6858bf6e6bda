// A top-down 24-bit DIB section selected into a memory DC. Reset (or the
// destructor) puts the DC's previous bitmap back before deleting ours, so the
// DC never holds a deleted object.
#pragma once

#include <windows.h>

class CV77DibSection {
public:
    CV77DibSection() = default;
    ~CV77DibSection() { Reset(); }
    CV77DibSection(const CV77DibSection&) = delete;
    CV77DibSection& operator=(const CV77DibSection&) = delete;

    // Creates width x height pixels and selects them into dc; false (with the
    // Win32 error set) when the section cannot be made.
    bool Create(HDC dc, LONG width, LONG height);
    void Reset();

    HBITMAP Handle() const { return m_hBitmap; }
    BYTE* Bits() const { return m_pBits; }
    explicit operator bool() const { return m_hBitmap != nullptr; }
    LONG Width() const { return m_Width; }
    LONG Height() const { return m_Height; }
    // Bytes per row: 3 per pixel, rounded up to a DWORD.
    LONG Stride() const { return StrideOf(m_Width); }
    static LONG StrideOf(LONG width) { return (width * 3 + 3) & ~3; }

private:
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hPrevious = nullptr;
    BYTE* m_pBits = nullptr;
    LONG m_Width = 0;
    LONG m_Height = 0;
};
