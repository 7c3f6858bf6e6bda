// The stream description and media type of an AVI file's video format, as
// the archive receivers hand them to their source: uncompressed YUY2, I420,
// YV12 and 24/32-bit RGB keep their compression; MPEG-4 Part 2 (FMP4, DIVX,
// DX50, XVID, MP4V, M4S2, 3IV2) becomes DX50 with the format's extra bytes
// (the decoder configuration) after the bitmap header.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <vector>

#include "framework/CMediaType.h"
#include "v77/V77Types.h"

HRESULT DescribeAviVideo(const std::vector<BYTE>& format, REFERENCE_TIME frameTime, SOURCE_INFORMATION* info,
                         CMediaType* mt);
