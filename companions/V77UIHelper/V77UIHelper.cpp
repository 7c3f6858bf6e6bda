#include "companions/V77UIHelper/V77UIHelper.h"

#include "companions/V77UIHelper/rle/V77Dither.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"


namespace {

HRESULT ResultOf(v77::RunLengthResult result)
{
    switch (result) {
    case v77::RunLengthResult::Complete:
        return S_OK;
    case v77::RunLengthResult::BadArgument:
        return E_INVALIDARG;
    default:
        return S_FALSE;
    }
}

}  // namespace

HRESULT WINAPI V77RLDecode(const void* data, DWORD wordCount, HBITMAP target)
{
    if (!target || (!data && wordCount))
        return E_POINTER;
    DIBSECTION section = {};
    if (GetObjectW(target, sizeof(section), &section) != sizeof(section) || !section.dsBm.bmBits ||
        section.dsBm.bmBitsPixel != 1)
        return E_INVALIDARG;
    const BITMAP& bm = section.dsBm;
    // Rows are written top row first from bmBits: the overlay's mask bitmaps
    // are top-down. (The section's own header cannot tell: Wine reports a
    // positive height for top-down sections.)
    GdiFlush();
    return ResultOf(v77::DecodeRunLength(data, static_cast<size_t>(wordCount) * 4, static_cast<uint8_t*>(bm.bmBits),
                                         bm.bmWidth, bm.bmWidthBytes, bm.bmHeight, bm.bmWidthBytes));
}

HRESULT WINAPI V77RLDecodeRaw(const void* data, DWORD byteCount, BYTE* out, int width, int rowBytes, int height)
{
    if (!out || (!data && byteCount))
        return E_POINTER;
    return ResultOf(v77::DecodeRunLength(data, byteCount, out, width, rowBytes, height, rowBytes));
}

HRESULT WINAPI V77DitherRegionRaw(const BYTE* raw, void* dibBits, int width, int rawRowBytes, int dibRowBytes,
                                  int height, void* state, int mode)
{
    if (!raw || !dibBits)
        return E_POINTER;
    return v77::DitherRegion(raw, static_cast<uint8_t*>(dibBits), width, rawRowBytes, dibRowBytes, height,
                             static_cast<const v77::DitherPhase*>(state), mode)
               ? S_OK
               : E_INVALIDARG;
}
