#include "sinks/CSensorGauge.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kFrameDark = 0x010101;
constexpr COLORREF kBlue = 0xFF0101;
constexpr COLORREF kPaleBlue = 0xFFC8C8;
constexpr COLORREF kGreen = 0x01FF01;
constexpr COLORREF kPaleGreen = 0xC8FFC8;
constexpr COLORREF kRed = 0x0101FF;
constexpr COLORREF kPaleRed = 0xC8C8FF;
constexpr COLORREF kLabelBack = 0x01FAFA;
constexpr COLORREF kLabelText = 0x0101FA;

// Truncation toward zero, kept inside int for absurd values.
int Trunc(double value)
{
    const double limit = 1 << 30;
    return static_cast<int>(std::max(-limit, std::min(limit, value)));
}

// A band of the bar; an empty or upside-down band paints nothing.
void Fill(HDC hdc, int left, int top, int right, int bottom, COLORREF colour)
{
    if (bottom <= top || right <= left)
        return;
    const RECT rect = {left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush)
        return;
    FillRect(hdc, &rect, brush);
    DeleteObject(brush);
}

void Frame(HDC hdc, const RECT& rect, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush)
        return;
    FrameRect(hdc, &rect, brush);
    DeleteObject(brush);
}

// Right of the bar, moved further right past every label already placed.
class CLabelPlacer {
public:
    CLabelPlacer(HDC hdc, int barRight, int fontHeight, int labelWidth)
        : m_hDC(hdc), m_BarRight(barRight), m_FontHeight(fontHeight), m_LabelWidth(labelWidth)
    {
    }

    void Occupy(const RECT& rect) { m_Occupied.push_back(rect); }

    void Place(const char* text, COLORREF textColour, COLORREF backColour, int y)
    {
        SetBkColor(m_hDC, backColour);
        SetTextColor(m_hDC, textColour);
        RECT candidate = {m_BarRight + 5, y - m_FontHeight / 2, m_BarRight + m_LabelWidth, y + m_FontHeight / 2};
        for (size_t i = 0; i < m_Occupied.size();) {
            RECT overlap;
            if (IntersectRect(&overlap, &m_Occupied[i], &candidate)) {
                OffsetRect(&candidate, m_Occupied[i].right - candidate.left + 1, 0);
                i = 0;
            } else {
                ++i;
            }
        }
        m_Occupied.push_back(candidate);
        DrawTextA(m_hDC, text, -1, &candidate, DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    }

private:
    HDC m_hDC;
    int m_BarRight;
    int m_FontHeight;
    int m_LabelWidth;
    std::vector<RECT> m_Occupied;
};

}  // namespace

CSensorGauge::~CSensorGauge()
{
    if (m_hFont)
        DeleteObject(m_hFont);
}

HGDIOBJ CSensorGauge::SelectFont(HDC hdc, int height)
{
    if (height != m_FontHeight) {
        m_FontHeight = height;
        if (m_hFont)
            DeleteObject(m_hFont);
        m_hFont = CreateFontA(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, nullptr);
        HGDIOBJ previous = m_hFont ? SelectObject(hdc, m_hFont) : nullptr;
        TEXTMETRICA metrics = {};
        m_LabelWidth = GetTextMetricsA(hdc, &metrics) ? 6 * metrics.tmAveCharWidth : 0;
        return previous;
    }
    return m_hFont ? SelectObject(hdc, m_hFont) : nullptr;
}

void CSensorGauge::Draw(HDC hdc, const RECT& rc, const GaugeLevels& levels)
{
    const int H = rc.bottom - rc.top;
    const int W = rc.right - rc.left;
    const int fh = std::min(Trunc(H * 0.05), 20);
    HGDIOBJ previousFont = SelectFont(hdc, fh);
    SetBkMode(hdc, OPAQUE);

    const int top0 = Trunc(H * 0.05 + rc.top);
    int left = Trunc(W * 0.01 + rc.left);
    int right = left + 24;
    int top = top0;
    int bottom = top0 + Trunc(H * 0.83);
    if (top < fh + 40)
        top = fh + 40;
    if (bottom > H - fh - 3)
        bottom = H - fh - 3;

    const int textRight = right - Trunc(W * -0.01);
    const RECT scale100 = {0, top - fh - 3, textRight, top - 3};
    const RECT scale0 = {0, bottom + 3, textRight, bottom + 3 + fh};

    RECT bar = {left, top, right, bottom};
    Frame(hdc, bar, kWhite);
    InflateRect(&bar, -1, -1);
    Frame(hdc, bar, kFrameDark);
    InflateRect(&bar, -1, -1);
    left = bar.left;
    top = bar.top;
    right = bar.right;
    bottom = bar.bottom;

    const double k = (bottom - top) / 100.0;
    const int yLow = bottom - Trunc(levels.low * k);
    const int yHigh = bottom - Trunc(levels.high * k);
    const int yCur = bottom - Trunc(levels.current * k);
    const int yMax = bottom - Trunc(levels.maximum * k);

    if (yCur < yLow) {
        Fill(hdc, left, yLow, right, bottom, kBlue);
    } else {
        Fill(hdc, left, yCur, right, bottom, kBlue);
        Fill(hdc, left, yLow, right, yCur, kPaleBlue);
    }
    if (yCur < yHigh) {
        Fill(hdc, left, yHigh, right, yLow, kGreen);
        Fill(hdc, left, yCur, right, yHigh, kRed);
        Fill(hdc, left, top, right, yCur, kPaleRed);
    } else {
        if (yCur < yLow)
            Fill(hdc, left, yCur, right, yLow, kGreen);
        Fill(hdc, left, yHigh, right, std::min(yCur, yLow), kPaleGreen);
        Fill(hdc, left, top, right, yHigh, kPaleRed);
    }

    const COLORREF maxSolid = yMax < yHigh ? kRed : yMax < yLow ? kGreen : kBlue;
    const COLORREF maxPale = yMax < yHigh ? kPaleRed : yMax < yLow ? kPaleGreen : kPaleBlue;
    Fill(hdc, left, std::max(yMax - 1, top), right, std::min(yMax + 1, bottom), maxSolid);

    SetBkColor(hdc, kLabelBack);
    SetTextColor(hdc, kLabelText);
    RECT r100 = scale100, r0 = scale0;
    DrawTextA(hdc, "100%", -1, &r100, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    DrawTextA(hdc, "0%", -1, &r0, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);

    CLabelPlacer labels(hdc, right, fh, m_LabelWidth);
    labels.Occupy(scale100);
    labels.Occupy(scale0);
    char text[64];
    snprintf(text, sizeof(text), "%d%%", static_cast<int>(levels.low));
    labels.Place(text, kLabelText, kPaleBlue, yLow);
    snprintf(text, sizeof(text), "%d%%", static_cast<int>(levels.high));
    labels.Place(text, kLabelText, kPaleRed, yHigh);
    snprintf(text, sizeof(text), "%0.f%%", levels.maximum);
    labels.Place(text, kLabelText, maxPale, yMax);
    snprintf(text, sizeof(text), "%0.f%%", levels.current);
    labels.Place(text, kLabelText, yCur < yHigh ? kPaleRed : yCur < yLow ? kPaleGreen : kPaleBlue, yCur);

    if (previousFont)
        SelectObject(hdc, previousFont);
}
