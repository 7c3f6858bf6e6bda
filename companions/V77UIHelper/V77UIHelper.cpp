#include "companions/V77UIHelper/V77UIHelper.h"

#include "companions/V77UIHelper/rle/V77Dither.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"

#include <cstring>
#include <vector>

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
    auto* bits = static_cast<uint8_t*>(bm.bmBits);
    ptrdiff_t stride = bm.bmWidthBytes;
    // A bottom-up section keeps its top row last.
    if (section.dsBmih.biHeight > 0) {
        bits += static_cast<ptrdiff_t>(bm.bmHeight - 1) * bm.bmWidthBytes;
        stride = -stride;
    }
    GdiFlush();
    const size_t bytes = static_cast<size_t>(wordCount) * 4;
    if (stride > 0)
        return ResultOf(v77::DecodeRunLength(data, bytes, bits, bm.bmWidth, bm.bmWidthBytes, bm.bmHeight, stride));
    // The decoder writes rows downwards in memory: decode, then flip.
    std::vector<uint8_t> rows(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
    const HRESULT hr = ResultOf(
        v77::DecodeRunLength(data, bytes, rows.data(), bm.bmWidth, bm.bmWidthBytes, bm.bmHeight, bm.bmWidthBytes));
    for (LONG y = 0; y < bm.bmHeight; ++y)
        memcpy(bits + y * stride, rows.data() + static_cast<size_t>(y) * bm.bmWidthBytes, bm.bmWidthBytes);
    return hr;
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
