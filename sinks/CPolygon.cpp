#include "sinks/CPolygon.h"

#include <algorithm>

#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "sinks/CPolygonText.h"
#include "sinks/V77OverlayErrors.h"
#include "sinks/formats/CPolygonSampleReader.h"

namespace {

constexpr COLORREF kTextColour = 0x0101FA;
constexpr COLORREF kTextBack = 0x01FAFA;
constexpr COLORREF kPictureTransparent = 0xFFFFFF;

int Trunc(double value)
{
    const double limit = 1 << 30;
    return static_cast<int>(std::max(-limit, std::min(limit, value)));
}

}  // namespace

CPolygon::CPolygon(int width, int height)
    : m_Width(width), m_Height(height), m_hModule(GetModuleHandleA("V77DsBuffer.dll"))
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    m_hCanvas = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_hCanvas)
        V77OV_THROW_WIN32();
    m_hCanvasDC = CreateCompatibleDC(nullptr);
    if (!m_hCanvasDC) {
        const DWORD error = GetLastError();
        DeleteObject(m_hCanvas);
        throw CWin32Error(kV77OverlayModule, __LINE__, error);
    }
    m_hCanvasPrevious = SelectObject(m_hCanvasDC, m_hCanvas);
}

CPolygon::~CPolygon()
{
    if (m_hCanvasPrevious)
        SelectObject(m_hCanvasDC, m_hCanvasPrevious);
    DeleteDC(m_hCanvasDC);
    DeleteObject(m_hCanvas);
    if (m_hPicture)
        DeleteObject(m_hPicture);
    if (m_hFont)
        DeleteObject(m_hFont);
}

void CPolygon::LoadPicture(uint32_t id)
{
    if (m_hPicture) {
        DeleteObject(m_hPicture);
        m_hPicture = nullptr;
    }
    if (id == 0 || !m_hModule)
        return;
    m_hPicture = static_cast<HBITMAP>(LoadImageA(m_hModule, MAKEINTRESOURCEA(id & 0xFFFF), IMAGE_BITMAP, 0, 0,
                                                 LR_CREATEDIBSECTION | LR_SHARED));
}

void CPolygon::SetSample(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (!sample || FAILED(sample->GetPointer(&data)) || !data)
        return;
    // Offsets are never trusted beyond the bytes the sample holds.
    LONG length = sample->GetActualDataLength();
    const LONG size = sample->GetSize();
    if (length < 0 || length > size)
        length = size;
    const v77::CPolygonSampleReader reader(data, static_cast<size_t>(length));
    LoadPicture(reader.Picture());

    m_Lines.clear();
    const CPolygonText formatter(m_hModule);
    for (const v77::TextRecord& record : reader.Texts()) {
        std::wstring line;
        if (!formatter.Format(record, &line)) {
            g_ErrorHandling.WriteLog("polygon overlay: no string %u in the module, text record skipped\n",
                                     record.stringId);
            continue;
        }
        if (!line.empty())
            m_Lines.push_back(std::move(line));
    }

    const RECT all = {0, 0, m_Width, m_Height};
    FillRect(m_hCanvasDC, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    for (const v77::Polyline& line : reader.Polylines()) {
        HPEN pen = CreatePen(PS_SOLID, 2, line.colour);
        if (!pen)
            continue;
        HGDIOBJ previous = SelectObject(m_hCanvasDC, pen);
        std::vector<POINT> points(line.points.size());
        for (size_t i = 0; i < points.size(); ++i)
            points[i] = POINT{line.points[i].x, line.points[i].y};
        if (!points.empty())
            Polyline(m_hCanvasDC, points.data(), static_cast<int>(std::min<size_t>(points.size(), 0x7FFFFFFF)));
        SelectObject(m_hCanvasDC, previous);
        DeleteObject(pen);
    }
    GdiFlush();
}

void CPolygon::Draw(HDC hdc, const RECT* dst, const RECT* src, const std::string&)
{
    if (!hdc || !dst)
        return;
    SetStretchBltMode(hdc, HALFTONE);
    SetBrushOrgEx(hdc, 0, 0, nullptr);
    RECT source = src ? *src : RECT{};
    if (IsRectEmpty(&source))
        source = RECT{0, 0, m_Width, m_Height};
    TransparentBlt(hdc, dst->left, dst->top, dst->right - dst->left, dst->bottom - dst->top, m_hCanvasDC,
                   source.left, source.top, source.right - source.left, source.bottom - source.top, 0);
}

void CPolygon::DrawInfo(HDC hdc, const RECT* rc, const std::string&)
{
    if (!hdc || !rc)
        return;
    const int H = rc->bottom - rc->top;
    const int fh = std::min(Trunc(H * 0.05), 20);
    if (fh != m_FontHeight) {
        m_FontHeight = fh;
        if (m_hFont)
            DeleteObject(m_hFont);
        m_hFont = CreateFontA(fh, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, nullptr);
    }
    HGDIOBJ previousFont = m_hFont ? SelectObject(hdc, m_hFont) : nullptr;
    SetBkMode(hdc, OPAQUE);
    SetTextColor(hdc, kTextColour);
    SetBkColor(hdc, kTextBack);
    if (m_hPicture) {
        HDC memory = CreateCompatibleDC(hdc);
        if (memory) {
            HGDIOBJ previous = SelectObject(memory, m_hPicture);
            TransparentBlt(hdc, 10, 10, 16, 16, memory, 0, 0, 16, 16, kPictureTransparent);
            SelectObject(memory, previous);
            DeleteDC(memory);
        }
    }
    DrawLines(hdc, *rc, fh);
    if (previousFont)
        SelectObject(hdc, previousFont);
}

void CPolygon::DrawLines(HDC hdc, const RECT& rc, int fh)
{
    // The block's position uses single-precision constants, as the producer expects.
    const float w = static_cast<float>(rc.right - rc.left);
    const int H = rc.bottom - rc.top;
    const double tenth = 0.1f, fourFifths = 0.8f;
    RECT line;
    line.left = Trunc(w * tenth + rc.left);
    line.right = line.left + Trunc(w * fourFifths);
    line.top = Trunc(fourFifths * H + rc.top);
    line.bottom = line.top + fh + 3;
    for (auto it = m_Lines.rbegin(); it != m_Lines.rend(); ++it) {
        DrawTextW(hdc, it->c_str(), -1, &line, DT_SINGLELINE | DT_VCENTER);
        OffsetRect(&line, 0, -3 - fh);
    }
}
