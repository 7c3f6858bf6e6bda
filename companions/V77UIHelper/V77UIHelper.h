// The overlay helpers: sensors and sensor groups read from a zone
// configuration, and the run-length and dithering functions the overlay
// renderer calls with plain arguments.
#pragma once

#include <windows.h>

#include "companions/V77UIHelper/CSensorBase.h"
#include "companions/V77UIHelper/CSensorGroupBase.h"

extern "C" {

// Decodes wordCount run-length words (any alignment) into the 1-bit bitmap
// (a top-down DIB section), rewriting all of it. S_OK when the runs
// covered the bitmap exactly, S_FALSE when they were short or overran (cut),
// E_POINTER or E_INVALIDARG for a missing or unusable bitmap.
HRESULT WINAPI V77RLDecode(const void* data, DWORD wordCount, HBITMAP target);

// Decodes byteCount / 4 words into height rows of rowBytes bytes (pixels
// beyond 8 x rowBytes of each row are read but not kept). Results as above.
HRESULT WINAPI V77RLDecodeRaw(const void* data, DWORD byteCount, BYTE* out, int width, int rowBytes, int height);

// Copies the decoded region into the DIB's rows through the dither pattern
// of mode (0 copy, 1 checkerboard, 2 one in four); state: null or a pair of
// 32-bit phases (x, y), only read. S_OK, or E_POINTER / E_INVALIDARG.
HRESULT WINAPI V77DitherRegionRaw(const BYTE* raw, void* dibBits, int width, int rawRowBytes, int dibRowBytes,
                                  int height, void* state, int mode);
}
