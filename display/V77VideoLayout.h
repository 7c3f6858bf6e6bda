// What an uncompressed video type's frames look like in memory, judged from
// its subtype; the bitmap header must agree with it. The renderers size every
// buffer and pick every pixel step from this, so a type whose header says
// something else is refused at connection instead of overrunning a buffer.
#pragma once

#include <windows.h>
#include <strmif.h>

struct V77VideoLayout {
    LONG width = 0;
    LONG height = 0;      // rows, always positive
    bool bottomUp = false;
    WORD bitCount = 0;
    DWORD stride = 0;     // bytes per row of the first (or only) plane
    DWORD imageBytes = 0; // bytes of one whole image
};

// Larger pictures would overflow the 32-bit byte counts of the frame buffers.
constexpr LONG kV77MaxImageSide = 16384;

// Fills layout from mt when its format block, bitmap header and subtype agree
// (size, bit count, compression, dimensions, image size); false otherwise.
bool V77DescribeVideo(const AM_MEDIA_TYPE& mt, V77VideoLayout* layout);
