#include "display/V77VideoLayout.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <uuids.h>
#include "v77/V77Guids.h"

namespace {

struct KnownFormat {
    const GUID* subtype;
    WORD bitCount;
    DWORD compression;   // BI_RGB, BI_BITFIELDS or the FOURCC
    DWORD altCompression;
    bool planar420;      // 8-bit luma plane plus two quarter chroma planes
    LONG widthMultiple;  // chroma subsampling needs whole pairs
    LONG heightMultiple;
};

const KnownFormat kFormats[] = {
    {&MEDIASUBTYPE_RGB24, 24, BI_RGB, BI_RGB, false, 1, 1},
    {&MEDIASUBTYPE_RGB32, 32, BI_RGB, BI_BITFIELDS, false, 1, 1},
    {&MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, BI_RGB, false, 1, 1},
    {&MEDIASUBTYPE_RGB555, 16, BI_RGB, BI_BITFIELDS, false, 1, 1},
    {&MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), MAKEFOURCC('Y', 'U', 'Y', '2'), false, 2, 1},
    {&MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y'), MAKEFOURCC('U', 'Y', 'V', 'Y'), false, 2, 1},
    {&MEDIASUBTYPE_YV12, 12, MAKEFOURCC('Y', 'V', '1', '2'), MAKEFOURCC('Y', 'V', '1', '2'), true, 2, 2},
    {&MEDIASUBTYPE_I420, 12, MAKEFOURCC('I', '4', '2', '0'), MAKEFOURCC('I', 'Y', 'U', 'V'), true, 2, 2},
    {&MEDIASUBTYPE_IYUV, 12, MAKEFOURCC('I', 'Y', 'U', 'V'), MAKEFOURCC('I', '4', '2', '0'), true, 2, 2},
};

const KnownFormat* Find(const GUID& subtype)
{
    for (const KnownFormat& format : kFormats) {
        if (*format.subtype == subtype)
            return &format;
    }
    return nullptr;
}

// The bitmap header inside the format block, when the block is long enough
// for its header structure and for the bitmap header it announces.
const BITMAPINFOHEADER* HeaderOf(const AM_MEDIA_TYPE& mt)
{
    if (!mt.pbFormat)
        return nullptr;
    size_t offset = 0;
    if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER))
        offset = offsetof(VIDEOINFOHEADER, bmiHeader);
    else if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2))
        offset = offsetof(VIDEOINFOHEADER2, bmiHeader);
    else
        return nullptr;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(mt.pbFormat + offset);
    if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biSize > mt.cbFormat - offset)
        return nullptr;
    return header;
}

}  // namespace

bool V77DescribeVideo(const AM_MEDIA_TYPE& mt, V77VideoLayout* layout)
{
    const KnownFormat* format = Find(mt.subtype);
    const BITMAPINFOHEADER* header = HeaderOf(mt);
    if (!format || !header || !layout)
        return false;
    if (header->biBitCount != format->bitCount ||
        (header->biCompression != format->compression && header->biCompression != format->altCompression))
        return false;
    const LONGLONG width = header->biWidth;
    const LONGLONG signedHeight = header->biHeight;
    const LONGLONG height = signedHeight < 0 ? -signedHeight : signedHeight;
    if (width <= 0 || height == 0 || width > kV77MaxImageSide || height > kV77MaxImageSide ||
        width % format->widthMultiple != 0 || height % format->heightMultiple != 0)
        return false;
    // Only RGB may be stored top row first (negative height).
    const bool rgb = format->compression == BI_RGB || format->compression == BI_BITFIELDS;
    if (signedHeight < 0 && !rgb)
        return false;
    ULONGLONG stride = 0;
    ULONGLONG bytes = 0;
    if (format->planar420) {
        stride = static_cast<ULONGLONG>(width);
        bytes = stride * height * 3 / 2;
    } else {
        stride = (static_cast<ULONGLONG>(width) * format->bitCount / 8 + 3) & ~3ULL;
        bytes = stride * height;
    }
    // A stated image size smaller than the picture cannot hold a frame.
    if (bytes == 0 || bytes > 0x7FFFFFFF || (header->biSizeImage != 0 && header->biSizeImage < bytes))
        return false;
    layout->width = static_cast<LONG>(width);
    layout->height = static_cast<LONG>(height);
    layout->bottomUp = rgb && signedHeight > 0;
    layout->bitCount = header->biBitCount;
    layout->stride = static_cast<DWORD>(stride);
    layout->imageBytes = static_cast<DWORD>(bytes);
    return true;
}
