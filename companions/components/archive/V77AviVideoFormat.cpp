#include "companions/components/archive/V77AviVideoFormat.h"

#include <vfwmsgs.h>

#include "companions/V77Media/V77Media.h"

namespace {

// Larger pictures than this are not what the filters expect from a file.
constexpr LONG kMaxDimension = 8192;

bool IsUncompressed(DWORD compression, WORD bitCount)
{
    if (compression == BI_RGB)
        return bitCount == 24 || bitCount == 32;
    return compression == MAKEFOURCC('Y', 'U', 'Y', '2') || compression == MAKEFOURCC('I', '4', '2', '0') ||
           compression == MAKEFOURCC('I', 'Y', 'U', 'V') || compression == MAKEFOURCC('Y', 'V', '1', '2');
}

}  // namespace

bool IsMpeg4Part2Video(DWORD fourcc)
{
    const DWORD upper = fourcc & 0xDFDFDFDF;  // FOURCCs are letters and digits: fold case
    for (const char* name : {"FMP4", "DIVX", "DX50", "XVID", "MP4V", "M4S2", "3IV2"}) {
        if (upper == (MAKEFOURCC(name[0], name[1], name[2], name[3]) & 0xDFDFDFDF))
            return true;
    }
    return false;
}

HRESULT MakeVideoMediaType(const SOURCE_INFORMATION& info, const BYTE* extra, size_t extraSize, CMediaType* mt)
{
    CMediaType base = GetMediaTypeFromSourceInformation(info);
    if (base.majortype == GUID_NULL || !base.pbFormat)
        return VFW_E_INVALIDMEDIATYPE;
    if (extra && extraSize) {
        BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(base);
        if (!bih || reinterpret_cast<BYTE*>(bih) + bih->biSize != base.pbFormat + base.cbFormat)
            return VFW_E_INVALIDMEDIATYPE;
        const size_t headerOffset = static_cast<size_t>(reinterpret_cast<BYTE*>(bih) - base.pbFormat);
        std::vector<BYTE> block(base.pbFormat, base.pbFormat + base.cbFormat);
        block.insert(block.end(), extra, extra + extraSize);
        reinterpret_cast<BITMAPINFOHEADER*>(block.data() + headerOffset)->biSize += static_cast<DWORD>(extraSize);
        if (!base.SetFormat(block.data(), static_cast<ULONG>(block.size())))
            return E_OUTOFMEMORY;
    }
    *mt = base;
    return S_OK;
}

HRESULT DescribeAviVideo(const std::vector<BYTE>& format, REFERENCE_TIME frameTime, SOURCE_INFORMATION* info,
                         CMediaType* mt, const std::vector<BYTE>& inBand)
{
    if (format.size() < sizeof(BITMAPINFOHEADER) || frameTime <= 0)
        return VFW_E_INVALID_FILE_FORMAT;
    const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
    if (bih->biWidth <= 0 || bih->biWidth > kMaxDimension || bih->biHeight == 0 || bih->biHeight > kMaxDimension ||
        bih->biHeight < -kMaxDimension)
        return VFW_E_INVALID_FILE_FORMAT;
    *info = SOURCE_INFORMATION();
    info->AvgTimePerFrame = frameTime;
    info->Width = bih->biWidth;
    info->Height = bih->biHeight;
    const BYTE* extra = nullptr;
    size_t extraSize = 0;
    if (IsMpeg4Part2Video(bih->biCompression)) {
        info->Compression = MAKEFOURCC('D', 'X', '5', '0');
        info->BitCount = 24;
        // The configuration follows the 40-byte header, whatever its biSize says.
        extra = format.data() + sizeof(BITMAPINFOHEADER);
        extraSize = format.size() - sizeof(BITMAPINFOHEADER);
        if (!extraSize) {
            extra = inBand.data();
            extraSize = inBand.size();
        }
    } else if (IsUncompressed(bih->biCompression, bih->biBitCount)) {
        info->Compression = bih->biCompression;
        info->BitCount = bih->biBitCount;
    } else {
        return VFW_E_UNSUPPORTED_VIDEO;
    }
    return MakeVideoMediaType(*info, extra, extraSize, mt);
}
