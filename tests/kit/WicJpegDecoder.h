// Decodes a JPEG held in memory with the platform's own decoder (WIC), as an
// independent check of JPEG output. COM must be initialised on the thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

struct WicDecodedImage {
    UINT width = 0;
    UINT height = 0;
    UINT channels = 0;         // components in the file: 1 grey, 3 colour
    std::vector<BYTE> bgr;     // width * 3 bytes per row, top row first
};

// S_OK with the picture, or the failing WIC call's HRESULT.
HRESULT WicDecodeJpeg(const void* data, size_t size, WicDecodedImage& out);
