// Shared helpers of the DirectDraw suites: pictures into and out of
// surfaces, packed DIBs read back as pictures.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <string>
#include <vector>

#include "framework/CMediaType.h"
#include "tests/display/TestPicture.h"

// Writes picture into a locked 32- or 16-bit RGB surface (top row first).
void FillSurface(IDirectDrawSurface7* surface, const TestPicture& picture);
// Any RGB surface of 16, 24 or 32 bits read back as a picture.
TestPicture ReadSurface(IDirectDrawSurface7* surface);
// A packed DIB (BI_RGB, 24 or 32 bits, either row order) as a picture.
TestPicture DibPicture(const BITMAPINFOHEADER* dib);

// The frame and type of subtype as the display suites encode them (the benchmark's names).
std::vector<BYTE> EncodeAny(const TestPicture& picture, const GUID& subtype, bool topDown = false);
CMediaType MakeAnyType(const GUID& subtype, LONG width, LONG height, bool topDown = false);

// Lines the companion log gained since the mark (the log file named by V77_LOG_FILE).
class CLogWatch {
public:
    CLogWatch();
    std::string NewText() const;

private:
    std::string m_Path;
    size_t m_Start;
};
