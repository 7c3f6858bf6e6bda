#include "companions/V77Media/V77Media.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <uuids.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr DWORD FourCC(char a, char b, char c, char d)
{
    return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) | (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

constexpr DWORD kYV12 = FourCC('Y', 'V', '1', '2');
constexpr DWORD kI420 = FourCC('I', '4', '2', '0');
constexpr DWORD kIYUV = FourCC('I', 'Y', 'U', 'V');
constexpr DWORD kNV12 = FourCC('N', 'V', '1', '2');
constexpr DWORD kYUY2 = FourCC('Y', 'U', 'Y', '2');
constexpr DWORD kUYVY = FourCC('U', 'Y', 'V', 'Y');
constexpr DWORD kYVYU = FourCC('Y', 'V', 'Y', 'U');

constexpr LONGLONG kUnitsPerSecond = 10000000;

bool IsPlanar420(DWORD compression)
{
    return compression == kYV12 || compression == kI420 || compression == kIYUV || compression == kNV12;
}

bool IsPacked422(DWORD compression)
{
    return compression == kYUY2 || compression == kUYVY || compression == kYVYU;
}

bool IsRgb(DWORD compression)
{
    return compression == BI_RGB || compression == BI_BITFIELDS;
}

// The video info header (VIDEOINFOHEADER or the VIDEOINFOHEADER2 that also
// opens MPEG2VIDEOINFO) as raw bytes, with the offset of its bitmap header.
BYTE* VideoHeader(const AM_MEDIA_TYPE& mt, size_t* bitmapOffset)
{
    if (!mt.pbFormat)
        return nullptr;
    if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        *bitmapOffset = offsetof(VIDEOINFOHEADER, bmiHeader);
        return mt.pbFormat;
    }
    if ((mt.formattype == FORMAT_VideoInfo2 || mt.formattype == FORMAT_MPEG2Video) &&
        mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        *bitmapOffset = offsetof(VIDEOINFOHEADER2, bmiHeader);
        return mt.pbFormat;
    }
    return nullptr;
}

DWORD ClampToDword(ULONGLONG value)
{
    return value > std::numeric_limits<DWORD>::max() ? 0 : static_cast<DWORD>(value);
}

ULONGLONG RgbImageSize(ULONGLONG width, ULONGLONG height, ULONGLONG bitCount)
{
    ULONGLONG stride = ((width * bitCount + 31) / 32) * 4;
    return stride * height;
}

GUID FourCCGuid(DWORD code)
{
    GUID guid = MEDIASUBTYPE_PCM;  // the {xxxxxxxx-0000-0010-8000-00AA00389B71} family
    guid.Data1 = code;
    return guid;
}

bool IsAudioRecord(const SOURCE_INFORMATION& info)
{
    return info.Height == 0 && info.Compression != 0 && info.Compression <= 0xFFFF;
}

CMediaType AudioType(const SOURCE_INFORMATION& info)
{
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = static_cast<WORD>(info.Compression);
    wfx.nChannels = static_cast<WORD>(info.Width > 0 && info.Width <= 0xFFFF ? info.Width : 1);
    wfx.nSamplesPerSec = info.Parameter;
    if (wfx.nSamplesPerSec == 0 && info.AvgTimePerFrame > 0)
        wfx.nSamplesPerSec = static_cast<DWORD>(kUnitsPerSecond / info.AvgTimePerFrame);
    wfx.wBitsPerSample = info.BitCount ? info.BitCount : 16;
    wfx.nBlockAlign = static_cast<WORD>(wfx.nChannels * ((wfx.wBitsPerSample + 7) / 8));
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    wfx.cbSize = 0;

    CMediaType mt(&MEDIATYPE_Audio);
    GUID subtype = FourCCGuid(info.Compression);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    mt.SetTemporalCompression(FALSE);
    mt.SetSampleSize(wfx.nBlockAlign);
    if (!mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof wfx))
        return CMediaType();
    return mt;
}

const GUID* RgbSubtype(DWORD compression, WORD bitCount)
{
    if (compression == BI_BITFIELDS)
        return bitCount == 16 ? &MEDIASUBTYPE_RGB565 : &MEDIASUBTYPE_RGB32;
    switch (bitCount) {
    case 32: return &MEDIASUBTYPE_RGB32;
    case 16: return &MEDIASUBTYPE_RGB555;
    case 8: return &MEDIASUBTYPE_RGB8;
    default: return &MEDIASUBTYPE_RGB24;
    }
}

WORD VideoBitCount(const SOURCE_INFORMATION& info)
{
    if (info.BitCount)
        return info.BitCount;
    if (IsPlanar420(info.Compression))
        return 12;
    if (IsPacked422(info.Compression))
        return 16;
    return IsRgb(info.Compression) ? 24 : 0;
}

LONG Magnitude(LONG value)
{
    const long long magnitude = std::llabs(static_cast<long long>(value));
    return static_cast<LONG>(magnitude > std::numeric_limits<LONG>::max() ? std::numeric_limits<LONG>::max() : magnitude);
}

// A format block: VIDEOINFOHEADER2, followed by three colour masks for BI_BITFIELDS.
struct VideoFormatBlock {
    VIDEOINFOHEADER2 header;
    DWORD masks[3];
};

CMediaType VideoType(const SOURCE_INFORMATION& info)
{
    VideoFormatBlock block = {};
    VIDEOINFOHEADER2& vih = block.header;
    BITMAPINFOHEADER& bih = vih.bmiHeader;
    const LONG width = Magnitude(info.Width);
    const LONG height = Magnitude(info.Height);
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = VideoBitCount(info);
    bih.biCompression = info.Compression;
    bih.biSizeImage = GetBitmapSizeFromBitmapInfoHeader(bih);
    vih.AvgTimePerFrame = info.AvgTimePerFrame;
    vih.dwPictAspectRatioX = static_cast<DWORD>(width);
    vih.dwPictAspectRatioY = static_cast<DWORD>(height);
    if (info.AvgTimePerFrame > 0)
        vih.dwBitRate = ClampToDword(static_cast<ULONGLONG>(bih.biSizeImage) * 8 * kUnitsPerSecond /
                                     static_cast<ULONGLONG>(info.AvgTimePerFrame));

    ULONG length = sizeof(VIDEOINFOHEADER2);
    if (info.Compression == BI_BITFIELDS) {
        const bool is565 = bih.biBitCount == 16;
        block.masks[0] = is565 ? 0xF800 : 0xFF0000;
        block.masks[1] = is565 ? 0x07E0 : 0x00FF00;
        block.masks[2] = is565 ? 0x001F : 0x0000FF;
        length = sizeof(VIDEOINFOHEADER2) + sizeof block.masks;
    }

    CMediaType mt(&MEDIATYPE_Video);
    GUID subtype = IsRgb(info.Compression) ? *RgbSubtype(info.Compression, bih.biBitCount) : FourCCGuid(info.Compression);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo2);
    const bool compressed = !IsRgb(info.Compression) && !IsPlanar420(info.Compression) && !IsPacked422(info.Compression);
    mt.SetTemporalCompression(compressed);
    if (compressed)
        mt.SetVariableSize();
    else
        mt.SetSampleSize(bih.biSizeImage);
    if (!mt.SetFormat(reinterpret_cast<const BYTE*>(&block), length))
        return CMediaType();
    return mt;
}

}  // namespace

BITMAPINFOHEADER* GetBitmapInfoHeaderFromMediaType(const AM_MEDIA_TYPE& mt)
{
    size_t offset = 0;
    BYTE* header = VideoHeader(mt, &offset);
    return header ? reinterpret_cast<BITMAPINFOHEADER*>(header + offset) : nullptr;
}

REFERENCE_TIME* GetAvgTimePerFrameFromMediaType(const AM_MEDIA_TYPE& mt)
{
    static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == offsetof(VIDEOINFOHEADER2, AvgTimePerFrame),
                  "both video headers keep the frame time at the same place");
    size_t offset = 0;
    BYTE* header = VideoHeader(mt, &offset);
    return header ? reinterpret_cast<REFERENCE_TIME*>(header + offsetof(VIDEOINFOHEADER, AvgTimePerFrame)) : nullptr;
}

DWORD GetBitmapSizeFromBitmapInfoHeader(const BITMAPINFOHEADER& bih)
{
    const ULONGLONG width = static_cast<ULONGLONG>(std::llabs(bih.biWidth));
    const ULONGLONG height = static_cast<ULONGLONG>(std::llabs(bih.biHeight));
    if (IsRgb(bih.biCompression))
        return ClampToDword(RgbImageSize(width, height, bih.biBitCount));
    if (IsPlanar420(bih.biCompression))
        return ClampToDword(width * height * 3 / 2);
    if (IsPacked422(bih.biCompression))
        return ClampToDword(width * 2 * height);
    if (bih.biSizeImage)
        return bih.biSizeImage;
    return ClampToDword(RgbImageSize(width, height, bih.biBitCount ? bih.biBitCount : 24));
}

DWORD GetBitmapSizeFromMediaType(const AM_MEDIA_TYPE& mt)
{
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(mt);
    return bih ? GetBitmapSizeFromBitmapInfoHeader(*bih) : 0;
}

HRESULT IsMediaTypeInterlaced(const AM_MEDIA_TYPE& mt)
{
    if (!mt.pbFormat || mt.cbFormat == 0)
        return E_POINTER;
    if (mt.formattype == FORMAT_VideoInfo)
        return mt.cbFormat >= sizeof(VIDEOINFOHEADER) ? S_FALSE : E_INVALIDARG;
    if (mt.formattype != FORMAT_VideoInfo2 && mt.formattype != FORMAT_MPEG2Video)
        return E_INVALIDARG;
    if (mt.cbFormat < sizeof(VIDEOINFOHEADER2))
        return E_INVALIDARG;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
    return (vih->dwInterlaceFlags & AMINTERLACE_IsInterlaced) ? S_OK : S_FALSE;
}

CMediaType GetMediaTypeFromSourceInformation(const SOURCE_INFORMATION& info)
{
    if (IsAudioRecord(info))
        return AudioType(info);
    if (info.Width == 0)
        return CMediaType();
    return VideoType(info);
}
