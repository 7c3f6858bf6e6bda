#include "sinks/CSensorGroup.h"

#include <vector>

#include "companions/V77UIHelper/V77UIHelper.h"
#include "companions/V77UIHelper/rle/V77Dither.h"
#include "sinks/V77OverlayErrors.h"

namespace {

// The dither state handed to V77DitherRegionRaw: zero phase, never written.
const v77::DitherPhase kDitherState = {0, 0};
constexpr int kDitherMode = 1;

struct MaskBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
};

}  // namespace

CSensorGroup::CSensorGroup(IXMLDOMElement* element) : CSensorGroupBase(element)
{
    try {
        void* bits = nullptr;
        m_hRegionBitmap = CreateMaskBitmap(&bits);
        m_hDataBitmap = CreateMaskBitmap(&bits);
        m_hRegionDC = CreateCompatibleDC(nullptr);
        m_hDataDC = CreateCompatibleDC(nullptr);
        if (!m_hRegionDC || !m_hDataDC)
            V77OV_THROW_WIN32();
        m_hRegionPrevious = SelectObject(m_hRegionDC, m_hRegionBitmap);
        m_hDataPrevious = SelectObject(m_hDataDC, m_hDataBitmap);
        FillRegion();
    } catch (...) {
        Release();
        throw;
    }
}

CSensorGroup::~CSensorGroup()
{
    Release();
}

void CSensorGroup::Release()
{
    if (m_hRegionDC) {
        if (m_hRegionPrevious)
            SelectObject(m_hRegionDC, m_hRegionPrevious);
        DeleteDC(m_hRegionDC);
    }
    if (m_hDataDC) {
        if (m_hDataPrevious)
            SelectObject(m_hDataDC, m_hDataPrevious);
        DeleteDC(m_hDataDC);
    }
    if (m_hRegionBitmap)
        DeleteObject(m_hRegionBitmap);
    if (m_hDataBitmap)
        DeleteObject(m_hDataBitmap);
    m_hRegionDC = m_hDataDC = nullptr;
    m_hRegionBitmap = m_hDataBitmap = nullptr;
}

HBITMAP CSensorGroup::CreateMaskBitmap(void** bits) const
{
    MaskBitmapInfo info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = m_Width;
    info.header.biHeight = -m_Height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.colours[1] = RGBQUAD{m_Color.blue, m_Color.green, m_Color.red, 0};
    HBITMAP bitmap =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits, nullptr, 0);
    if (!bitmap)
        V77OV_THROW_WIN32();
    return bitmap;
}

void CSensorGroup::FillRegion()
{
    // Whole bytes only: the last width % 8 columns of the region are not carried.
    const int rowBytes = m_Width / 8;
    std::vector<BYTE> raw(static_cast<size_t>(m_Height) * (rowBytes > 0 ? rowBytes : 1));
    V77RLDecodeRaw(RegionData(), 4 * RegionWordCount(), raw.data(), m_Width, rowBytes, m_Height);
    BITMAP bm = {};
    if (GetObjectA(m_hRegionBitmap, sizeof(bm), &bm) != sizeof(bm) || !bm.bmBits)
        V77OV_THROW_WIN32();
    GdiFlush();
    V77DitherRegionRaw(raw.data(), bm.bmBits, m_Width, rowBytes, bm.bmWidthBytes, m_Height,
                       const_cast<v77::DitherPhase*>(&kDitherState), kDitherMode);
}

void CSensorGroup::UpdateValue(const v77::SensorRecord& record)
{
    m_Current = static_cast<double>(record.value);
    if (m_Current >= m_Maximum)
        m_Maximum = m_Current;
    V77RLDecode(record.mask, record.maskBytes / 4, m_hDataBitmap);
}

void CSensorGroup::DrawRegion(HDC hdc, const RECT& dst, const RECT& source)
{
    SetStretchBltMode(hdc, HALFTONE);
    SetBrushOrgEx(hdc, 0, 0, nullptr);
    RECT from = source;
    if (IsRectEmpty(&from))
        from = RECT{0, 0, m_Width, m_Height};
    const int width = dst.right - dst.left, height = dst.bottom - dst.top;
    const int fromWidth = from.right - from.left, fromHeight = from.bottom - from.top;
    TransparentBlt(hdc, dst.left, dst.top, width, height, m_hRegionDC, from.left, from.top, fromWidth, fromHeight, 0);
    TransparentBlt(hdc, dst.left, dst.top, width, height, m_hDataDC, from.left, from.top, fromWidth, fromHeight, 0);
}

void CSensorGroup::DrawGauge(HDC hdc, const RECT& rc)
{
    m_Gauge.Draw(hdc, rc, GaugeLevels{m_Low, m_High, m_Current, m_Maximum});
}
