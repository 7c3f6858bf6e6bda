// Media-type helpers shared by the filters. All take the media type by
// reference and never read beyond its format block.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CMediaType.h"
#include "v77/V77Types.h"

// The BITMAPINFOHEADER inside the format block of FORMAT_VideoInfo,
// FORMAT_VideoInfo2 or FORMAT_MPEG2Video (whose first member is a
// VIDEOINFOHEADER2); null for other formats or a block too short for its
// header. Writable: it points into the caller's format block.
BITMAPINFOHEADER* GetBitmapInfoHeaderFromMediaType(const AM_MEDIA_TYPE& mt);

// The AvgTimePerFrame field (100 ns) of the same format blocks, or null.
REFERENCE_TIME* GetAvgTimePerFrameFromMediaType(const AM_MEDIA_TYPE& mt);

// Bytes of one image:
//  - BI_RGB / BI_BITFIELDS: rows padded to 4 bytes, times |height|;
//  - planar 4:2:0 (YV12, I420, IYUV, NV12): width x |height| x 3 / 2;
//  - packed 4:2:2 (YUY2, UYVY, YVYU): width x 2 bytes a row, times |height|;
//  - any other (compressed) FOURCC: biSizeImage when set, else an RGB image
//    of biBitCount bits (24 when 0) as an upper bound.
// 0 when the size does not fit a DWORD or the header is null.
DWORD GetBitmapSizeFromBitmapInfoHeader(const BITMAPINFOHEADER& bih);
// As above for the header of mt; 0 when mt carries none.
DWORD GetBitmapSizeFromMediaType(const AM_MEDIA_TYPE& mt);

// S_OK when a VIDEOINFOHEADER2 (also inside MPEG2VIDEOINFO) has
// AMINTERLACE_IsInterlaced; S_FALSE for progressive video and for
// VIDEOINFOHEADER (which has no interlace information); E_POINTER without a
// format block; E_INVALIDARG for a non-video or too short format block.
HRESULT IsMediaTypeInterlaced(const AM_MEDIA_TYPE& mt);

// The media type of the stream a SOURCE_INFORMATION record describes.
//  - Audio when Height is 0 and Compression is a wave format tag (1..0xFFFF,
//    the first 32 bits of the subtype, e.g. 1 for PCM): MEDIATYPE_Audio, the
//    subtype of that tag, FORMAT_WaveFormatEx with nSamplesPerSec =
//    Parameter (or 10^7 / AvgTimePerFrame when 0), nChannels = Width (1 when
//    0), wBitsPerSample = BitCount (16 when 0).
//  - Otherwise video: MEDIATYPE_Video, FORMAT_VideoInfo2. Compression 0 is
//    BI_RGB with the subtype from BitCount (32 RGB32, 24 RGB24, 16 RGB555,
//    8 RGB8 without a palette; 0 is taken as 24); BI_BITFIELDS (3) gives RGB565 for 16 bits and RGB32 for 32 and
//    carries the colour masks after the header; any other value is a FOURCC
//    subtype. biHeight is always positive: bottom-up rows for RGB, and YUV
//    is top-down with a positive height by definition. biSizeImage follows
//    GetBitmapSizeFromBitmapInfoHeader.
//  - A record with neither a width nor an audio tag gives an empty type
//    (IsValid() false).
CMediaType GetMediaTypeFromSourceInformation(const SOURCE_INFORMATION& info);
