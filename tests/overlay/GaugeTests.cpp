// The level gauge that DrawInfo paints for the selected sensor group: bands,
// frame and maximum marker at the geometry computed from the rectangle, and
// labels compared with reference drawings in the same font.
#include <windows.h>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <algorithm>
#include <cstdio>

#include "sinks/formats/V77OverlaySampleWriter.h"
#include "tests/kit/CComInit.h"
#include "tests/overlay/COverlayGraph.h"
#include "tests/overlay/OverlayTestSupport.h"

namespace {

constexpr Rgb kWhite = {0xFF, 0xFF, 0xFF};
constexpr Rgb kDark = {0x01, 0x01, 0x01};
constexpr Rgb kBlue = {0x01, 0x01, 0xFF};
constexpr Rgb kPaleBlue = {0xC8, 0xC8, 0xFF};
constexpr Rgb kGreen = {0x01, 0xFF, 0x01};
constexpr Rgb kPaleGreen = {0xC8, 0xFF, 0xC8};
constexpr Rgb kRed = {0xFF, 0x01, 0x01};
constexpr Rgb kPaleRed = {0xFF, 0xC8, 0xC8};
constexpr LONG kCanvasWidth = 480;
constexpr LONG kCanvasHeight = 720;
// The Hall group's thresholds in the zone configuration.
constexpr int kLow = 30;
constexpr int kHigh = 60;

// Where the gauge must land for a rectangle and levels.
struct Geometry {
    int fh;
    RECT outer;       // the framed bar
    RECT bar;         // inside the two frame lines
    RECT scale100;
    RECT scale0;
    int yLow, yHigh, yCur, yMax;
};

Geometry Expect(const RECT& rc, double current, double maximum)
{
    Geometry g = {};
    const int H = rc.bottom - rc.top, W = rc.right - rc.left;
    g.fh = std::min(static_cast<int>(H * 0.05), 20);
    const int top0 = static_cast<int>(H * 0.05 + rc.top);
    const int left = static_cast<int>(W * 0.01 + rc.left);
    int top = top0, bottom = top0 + static_cast<int>(H * 0.83);
    top = std::max(top, g.fh + 40);
    bottom = std::min(bottom, H - g.fh - 3);
    const int textRight = left + 24 - static_cast<int>(W * -0.01);
    g.outer = RECT{left, top, left + 24, bottom};
    g.bar = RECT{left + 2, top + 2, left + 22, bottom - 2};
    g.scale100 = RECT{0, top - g.fh - 3, textRight, top - 3};
    g.scale0 = RECT{0, bottom + 3, textRight, bottom + 3 + g.fh};
    const double k = (g.bar.bottom - g.bar.top) / 100.0;
    g.yLow = g.bar.bottom - static_cast<int>(kLow * k);
    g.yHigh = g.bar.bottom - static_cast<int>(kHigh * k);
    g.yCur = g.bar.bottom - static_cast<int>(current * k);
    g.yMax = g.bar.bottom - static_cast<int>(maximum * k);
    return g;
}

HFONT GaugeFont(int fh)
{
    return CreateFontA(fh, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, nullptr);
}

class GaugeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_Graph.Start(MakeSensorType(), kZoneXml));
        BSTR name = SysAllocString(L"Hall");
        ASSERT_EQ(S_OK, m_Graph.Overlay()->SetSensorName(name));
        SysFreeString(name);
    }

    void SendValues(std::initializer_list<uint32_t> values)
    {
        for (uint32_t value : values)
            ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildSensorSample(true, {{0, {}}, {value, {}}})));
    }

    void Paint(const RECT& rc)
    {
        m_Canvas.Fill(RECT{0, 0, kCanvasWidth, kCanvasHeight}, kGrey);
        ASSERT_EQ(S_OK, m_Graph.Overlay()->DrawInfo(m_Canvas.Dc(), &rc));
    }

    std::string Column(int x, std::initializer_list<std::pair<int, Rgb>> rows)
    {
        std::string out;
        for (const auto& row : rows)
            if (!Same(m_Canvas.At(x, row.first), row.second))
                out += "row " + std::to_string(row.first) + ": " + Describe(m_Canvas.At(x, row.first)) + " want " +
                       Describe(row.second) + "; ";
        return out;
    }

    // The label as the gauge must draw it, in a reference canvas of the same
    // kind, compared pixel for pixel over rect.
    std::string CompareLabel(const char* text, const RECT& rect, int fh, COLORREF back, UINT format)
    {
        CTestDibDc reference(kCanvasWidth, kCanvasHeight, true, 32);
        reference.Fill(RECT{0, 0, kCanvasWidth, kCanvasHeight}, kGrey);
        HFONT font = GaugeFont(fh);
        HGDIOBJ previous = SelectObject(reference.Dc(), font);
        SetBkMode(reference.Dc(), OPAQUE);
        SetBkColor(reference.Dc(), back);
        SetTextColor(reference.Dc(), 0x0101FA);
        RECT r = rect;
        DrawTextA(reference.Dc(), text, -1, &r, format);
        SelectObject(reference.Dc(), previous);
        DeleteObject(font);
        std::string out;
        int differing = 0, inked = 0;
        for (LONG y = std::max(0L, rect.top); y < rect.bottom; ++y)
            for (LONG x = std::max(0L, rect.left); x < rect.right && x < kCanvasWidth; ++x) {
                if (!Same(reference.At(x, y), kGrey))
                    ++inked;
                if (!Same(reference.At(x, y), m_Canvas.At(x, y)) && ++differing <= 3)
                    out += std::to_string(x) + "," + std::to_string(y) + " ";
            }
        if (inked == 0)
            out += "reference drew nothing";
        return differing ? out + "(" + std::to_string(differing) + " differ)" : out;
    }

    int LabelWidth(int fh)
    {
        HDC dc = CreateCompatibleDC(nullptr);
        HFONT font = GaugeFont(fh);
        HGDIOBJ previous = SelectObject(dc, font);
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, previous);
        DeleteObject(font);
        DeleteDC(dc);
        return 6 * metrics.tmAveCharWidth;
    }

    CComInit m_Com;
    COverlayGraph m_Graph;
    CTestDibDc m_Canvas{kCanvasWidth, kCanvasHeight, true, 32};
};

TEST_F(GaugeTest, BandsFrameAndMaximumLandAtTheComputedGeometry)
{
    SendValues({80, 45});  // maximum 80 (red zone), current 45 (green zone)
    // Unshifted, offset (non-zero top: the bar's limits come from the height
    // alone) and short rectangles; the last clamps both ends of the bar.
    const RECT rects[] = {{0, 0, 200, 400}, {30, 50, 230, 450}, {10, 10, 410, 130}, {5, 300, 105, 700}};
    for (const RECT& rc : rects) {
        SCOPED_TRACE(std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," +
                     std::to_string(rc.bottom));
        Paint(rc);
        const Geometry g = Expect(rc, 45, 80);
        ASSERT_LT(g.bar.top + 2, g.yMax - 1);
        const int cx = (g.bar.left + g.bar.right) / 2;
        const int midY = (g.yLow + g.bar.bottom) / 2;
        EXPECT_EQ("", Column(cx, {{g.outer.top, kWhite}, {g.outer.top + 1, kDark}, {g.outer.bottom - 1, kWhite},
                                  {g.outer.bottom - 2, kDark}, {g.bar.bottom - 1, kBlue}, {g.yLow, kBlue},
                                  {g.yLow - 1, kGreen}, {g.yCur, kGreen}, {g.yCur - 1, kPaleGreen},
                                  {g.yHigh, kPaleGreen}, {g.yHigh - 1, kPaleRed}, {g.yMax + 1, kPaleRed},
                                  {g.yMax, kRed}, {g.yMax - 1, kRed}, {g.yMax - 2, kPaleRed}, {g.bar.top, kPaleRed},
                                  {g.outer.top - 1, kGrey}}));
        EXPECT_TRUE(Same(m_Canvas.At(g.outer.left, midY), kWhite));
        EXPECT_TRUE(Same(m_Canvas.At(g.outer.left + 1, midY), kDark));
        EXPECT_TRUE(Same(m_Canvas.At(g.bar.left, midY), kBlue));
        EXPECT_TRUE(Same(m_Canvas.At(g.bar.right - 1, midY), kBlue));
        EXPECT_TRUE(Same(m_Canvas.At(g.outer.right - 1, midY), kWhite));
        EXPECT_TRUE(Same(m_Canvas.At(g.outer.right, midY), kGrey));
    }
}

TEST_F(GaugeTest, ValuesAbove100FillRedAboveTheBarAndDropTheMarker)
{
    SendValues({110});
    const RECT rc = {0, 0, 200, 600};
    Paint(rc);
    const Geometry g = Expect(rc, 110, 110);
    ASSERT_LT(g.yCur, g.outer.top - 1);
    const int cx = (g.bar.left + g.bar.right) / 2;
    // Solid red from the current level down to the high threshold, over the frame.
    EXPECT_EQ("", Column(cx, {{g.yHigh - 1, kRed}, {g.bar.top, kRed}, {g.outer.top + 1, kRed}, {g.outer.top, kRed},
                              {g.outer.top - 1, kRed}, {g.yHigh, kGreen}, {g.yLow, kBlue}}));
    // The frame's sides are still there beside it.
    EXPECT_TRUE(Same(m_Canvas.At(g.outer.left, g.bar.top + 5), kWhite));
}

TEST_F(GaugeTest, ScaleAndValueLabelsMatchAReferenceDrawingInTheSameFont)
{
    SendValues({90, 50});
    const RECT rc = {0, 0, 240, 400};
    Paint(rc);
    const Geometry g = Expect(rc, 50, 90);
    const UINT scale = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    EXPECT_EQ("", CompareLabel("100%", g.scale100, g.fh, 0x01FAFA, scale));
    EXPECT_EQ("", CompareLabel("0%", g.scale0, g.fh, 0x01FAFA, scale));
    const int lw = LabelWidth(g.fh);
    ASSERT_GT(lw, 10);
    const UINT value = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    const auto at = [&](int y) { return RECT{g.bar.right + 5, y - g.fh / 2, g.bar.right + lw, y + g.fh / 2}; };
    EXPECT_EQ("", CompareLabel("30%", at(g.yLow), g.fh, 0xFFC8C8, value));
    EXPECT_EQ("", CompareLabel("60%", at(g.yHigh), g.fh, 0xC8C8FF, value));
    EXPECT_EQ("", CompareLabel("90%", at(g.yMax), g.fh, 0xC8C8FF, value));
    EXPECT_EQ("", CompareLabel("50%", at(g.yCur), g.fh, 0xC8FFC8, value));
}

TEST_F(GaugeTest, LabelsThatWouldOverlapMoveRightOfEachOther)
{
    SendValues({31});  // maximum and current one percent above the low threshold
    const RECT rc = {0, 0, 240, 400};
    Paint(rc);
    const Geometry g = Expect(rc, 31, 31);
    const int lw = LabelWidth(g.fh);
    const UINT value = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    RECT low = {g.bar.right + 5, g.yLow - g.fh / 2, g.bar.right + lw, g.yLow + g.fh / 2};
    RECT maximum = {g.bar.right + 5, g.yMax - g.fh / 2, g.bar.right + lw, g.yMax + g.fh / 2};
    OffsetRect(&maximum, low.right - maximum.left + 1, 0);
    RECT current = {g.bar.right + 5, g.yCur - g.fh / 2, g.bar.right + lw, g.yCur + g.fh / 2};
    OffsetRect(&current, maximum.right - current.left + 1, 0);
    EXPECT_EQ("", CompareLabel("30%", low, g.fh, 0xFFC8C8, value));
    // Green zone (above the low threshold): pale green behind both.
    EXPECT_EQ("", CompareLabel("31%", maximum, g.fh, 0xC8FFC8, value));
    EXPECT_EQ("", CompareLabel("31%", current, g.fh, 0xC8FFC8, value));
}

TEST_F(GaugeTest, ARectangleUnder20PixelsHighUsesTheDcFontAndNamesSelectGauges)
{
    SendValues({50});
    Paint(RECT{0, 0, 300, 19});  // font height 0: nothing made, nothing measured
    // An empty name or a name without a group paints no gauge.
    for (const wchar_t* name : {L"", L"Nobody"}) {
        BSTR text = SysAllocString(name);
        ASSERT_EQ(S_OK, m_Graph.Overlay()->SetSensorName(text));
        SysFreeString(text);
        Paint(RECT{0, 0, 200, 400});
        EXPECT_EQ("", Mismatches(m_Canvas, kCanvasWidth, kCanvasHeight, [](LONG, LONG) { return kGrey; })) << "name '"
                                                                                                           << name[0];
    }
    ASSERT_TRUE(m_Graph.Complete());
}

}  // namespace
