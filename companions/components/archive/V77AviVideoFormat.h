// The stream description and media type of an AVI file's video format, as
// the live AVI receiver and the archive receivers hand them to their source:
// uncompressed YUY2, I420, YV12 and 24/32-bit RGB keep their compression;
// MPEG-4 Part 2 (FMP4, DIVX, DX50, XVID, MP4V, M4S2, 3IV2) becomes DX50 with
// the decoder configuration after the bitmap header.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <vector>

#include "framework/CMediaType.h"
#include "v77/V77Types.h"

// Whether fourcc names MPEG-4 Part 2 video (letters in either case).
bool IsMpeg4Part2Video(DWORD fourcc);

// format: the stream format as stored (a BITMAPINFOHEADER, then for MPEG-4
// the decoder configuration, which the header's biSize may or may not count).
// Without a configuration in the format, inBand (the headers a writer put in
// front of the first frame, or nothing) stands in for it.
HRESULT DescribeAviVideo(const std::vector<BYTE>& format, REFERENCE_TIME frameTime, SOURCE_INFORMATION* info,
                         CMediaType* mt, const std::vector<BYTE>& inBand = {});

// A video media type for info with extra bytes (the decoder configuration)
// after the header, which grows by them.
HRESULT MakeVideoMediaType(const SOURCE_INFORMATION& info, const BYTE* extra, size_t extraSize, CMediaType* mt);
