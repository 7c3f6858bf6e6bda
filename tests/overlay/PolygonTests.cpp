// The overlay renderer with polygon ("SEN2") samples in Wine's graph: the
// module's resources, the picture and the text lines DrawInfo paints, the
// polylines Draw blits, and damaged samples.
#include <gtest/gtest.h>

#include "sinks/formats/V77OverlaySampleWriter.h"
#include "tests/kit/CComInit.h"
#include "tests/overlay/COverlayGraph.h"
#include "tests/overlay/OverlayTestSupport.h"

namespace {

constexpr LONG kWidth = 64;
constexpr LONG kHeight = 48;
constexpr LONG kInfoWidth = 320;
constexpr LONG kInfoHeight = 240;
const LANGID kFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
const LANGID kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);

// String id of the module's string table in the given language, read from
// the resource block itself (16 counted strings a block).
std::wstring StringIn(HMODULE module, UINT id, LANGID language)
{
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!found)
        return L"<no block>";
    const auto* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    return std::wstring(p + 1, *p);
}

v77::TextRecord Integer(uint32_t id, int32_t value)
{
    return v77::TextRecord{id, 0, value, 0.0, {}};
}

class PolygonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, m_Graph.Start(MakePolygonType(kWidth, kHeight), L""));
        m_hModule = GetModuleHandleW(L"V77DsBuffer.dll");
        ASSERT_NE(nullptr, m_hModule);
    }

    void PaintInfo()
    {
        m_Info.Fill(RECT{0, 0, kInfoWidth, kInfoHeight}, kGrey);
        const RECT rc = {0, 0, kInfoWidth, kInfoHeight};
        ASSERT_EQ(S_OK, m_Graph.Overlay()->DrawInfo(m_Info.Dc(), &rc));
    }

    CComInit m_Com;
    COverlayGraph m_Graph;
    HMODULE m_hModule = nullptr;
    CTestDibDc m_Info{kInfoWidth, kInfoHeight, true, 32};
};

TEST_F(PolygonTest, TheModuleCarriesTheStringsInBothLanguages)
{
    const std::pair<UINT, std::wstring> strings[] = {
        {102, L"Surface (%%): %3.0f < %3.0f <%3.0f"},
        {103, L"Niveau: %3d"},
        {104, L"Compteur entr\u00e9es: %d"},
        {105, L"Compteur sorties: %d"},
    };
    for (LANGID language : {kFrench, kNeutral})
        for (const auto& s : strings)
            EXPECT_EQ(s.second, StringIn(m_hModule, s.first, language)) << s.first << " language " << language;
}

TEST_F(PolygonTest, ThePictureIs16x16In8BitsAndSitsAtTenTenWithWhiteTransparent)
{
    HBITMAP picture = static_cast<HBITMAP>(LoadImageA(m_hModule, MAKEINTRESOURCEA(104), IMAGE_BITMAP, 0, 0,
                                                      LR_CREATEDIBSECTION));
    ASSERT_NE(nullptr, picture);
    DIBSECTION section = {};
    ASSERT_EQ(static_cast<int>(sizeof(section)), GetObjectW(picture, sizeof(section), &section));
    EXPECT_EQ(16, section.dsBm.bmWidth);
    EXPECT_EQ(16, section.dsBm.bmHeight);
    EXPECT_EQ(8, section.dsBm.bmBitsPixel);
    // The picture as it is, drawn plainly into a reference canvas.
    CTestDibDc reference(16, 16, true, 32);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(reference.Dc(), 0, 0, 16, 16, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
    int white = 0;
    for (LONG y = 0; y < 16; ++y)
        for (LONG x = 0; x < 16; ++x)
            white += Same(reference.At(x, y), Rgb{0xFF, 0xFF, 0xFF});
    ASSERT_GT(white, 0);
    ASSERT_LT(white, 256);

    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildPolygonSample(104, {}, {})));
    PaintInfo();
    EXPECT_EQ("", Mismatches(m_Info, kInfoWidth, kInfoHeight, [&](LONG x, LONG y) {
                  if (x < 10 || y < 10 || x >= 26 || y >= 26)
                      return kGrey;
                  const Rgb c = reference.At(x - 10, y - 10);
                  return Same(c, Rgb{0xFF, 0xFF, 0xFF}) ? kGrey : c;
              }));
    // No picture (0) and an identifier that is not a bitmap of the module: nothing.
    for (uint32_t id : {0u, 103u, 0x10068u /* high bits ignored: 104 */}) {
        ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildPolygonSample(id, {}, {})));
        PaintInfo();
        EXPECT_EQ(id == 0x10068u, !Same(m_Info.At(10 + 7, 10 + 7), kGrey)) << id;
    }
}

TEST_F(PolygonTest, TextLinesAreFormattedAndStackedUpwardFromFourFifthsOfTheHeight)
{
    v77::TextRecord surface{102, 1, 0, 12.25, {}};
    v77::TextRecord wrongKind{103, 2, 0, 0.0, u"abc"};   // %3d with a text: an empty line
    v77::TextRecord oddKind{105, 9, 0, 0.0, {}};
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildPolygonSample(
                        0, {}, {Integer(103, 42), Integer(999, 1), wrongKind, Integer(104, 7), oddKind, surface})));
    PaintInfo();

    const std::wstring lines[] = {L"Niveau:  42", L"Compteur entr\u00e9es: 7", L"Surface (%):  12 <  12 < 12"};
    CTestDibDc reference(kInfoWidth, kInfoHeight, true, 32);
    reference.Fill(RECT{0, 0, kInfoWidth, kInfoHeight}, kGrey);
    const int fh = 12;  // 5 % of 240
    HFONT font = CreateFontA(fh, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, nullptr);
    HGDIOBJ previous = SelectObject(reference.Dc(), font);
    SetBkMode(reference.Dc(), OPAQUE);
    SetTextColor(reference.Dc(), 0x0101FA);
    SetBkColor(reference.Dc(), 0x01FAFA);
    // left = 0.1 x 320 = 32, right = 32 + 256, top = 0.8 x 240 = 192 (single-precision constants).
    RECT line = {32, 192, 32 + 256, 192 + fh + 3};
    for (int i = 2; i >= 0; --i) {
        DrawTextW(reference.Dc(), lines[i].c_str(), -1, &line, DT_SINGLELINE | DT_VCENTER);
        OffsetRect(&line, 0, -3 - fh);
    }
    SelectObject(reference.Dc(), previous);
    DeleteObject(font);
    int inked = 0;
    for (LONG y = 150; y < 210; ++y)
        for (LONG x = 32; x < 288; ++x)
            inked += !Same(reference.At(x, y), kGrey);
    ASSERT_GT(inked, 100) << "the reference shows text";
    EXPECT_EQ("", Mismatches(m_Info, kInfoWidth, kInfoHeight, [&](LONG x, LONG y) { return reference.At(x, y); }));
}

TEST_F(PolygonTest, PolylinesKeepTheirColourAndWidthAndBlackStaysTransparent)
{
    const std::vector<v77::Polyline> lines = {
        {0x0000FF, {{4, 10}, {60, 10}}},
        {0x00FF00, {{20, 16}, {20, 44}, {50, 44}}},
        {0x000000, {{4, 30}, {60, 30}}},  // black: painted, but it is the transparent key
    };
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildPolygonSample(0, lines, {})));
    // The same polylines drawn with GDI on black, for the expected pixels.
    CTestDibDc reference(kWidth, kHeight, true, 32);
    reference.Fill(RECT{0, 0, kWidth, kHeight}, Rgb{0, 0, 0});
    for (const auto& polyline : lines) {
        HPEN pen = CreatePen(PS_SOLID, 2, polyline.colour);
        HGDIOBJ previous = SelectObject(reference.Dc(), pen);
        std::vector<POINT> points;
        for (const auto& p : polyline.points)
            points.push_back(POINT{p.x, p.y});
        Polyline(reference.Dc(), points.data(), static_cast<int>(points.size()));
        SelectObject(reference.Dc(), previous);
        DeleteObject(pen);
    }
    CTestDibDc canvas(kWidth, kHeight, true, 32);
    canvas.Fill(RECT{0, 0, kWidth, kHeight}, kGrey);
    const RECT dst = {0, 0, kWidth, kHeight};
    ASSERT_EQ(S_OK, m_Graph.Overlay()->Draw(canvas.Dc(), &dst, nullptr));
    EXPECT_EQ("", Mismatches(canvas, kWidth, kHeight, [&](LONG x, LONG y) {
                  const Rgb c = reference.At(x, y);
                  return Same(c, Rgb{0, 0, 0}) ? kGrey : c;
              }));
    int red = 0;
    for (LONG y = 0; y < kHeight; ++y)
        red += Same(canvas.At(30, y), Rgb{0xFF, 0, 0});
    EXPECT_EQ(2, red) << "a pen two pixels wide";
    // A sample without polylines leaves an all-black canvas: nothing is painted.
    ASSERT_EQ(S_OK, m_Graph.Push(v77::BuildPolygonSample(0, {}, {})));
    canvas.Fill(RECT{0, 0, kWidth, kHeight}, kGrey);
    ASSERT_EQ(S_OK, m_Graph.Overlay()->Draw(canvas.Dc(), &dst, nullptr));
    EXPECT_EQ("", Mismatches(canvas, kWidth, kHeight, [](LONG, LONG) { return kGrey; }));
}

TEST_F(PolygonTest, DamagedSamplesAreReadInsideTheBufferAndTheStreamCompletes)
{
    const auto good = v77::BuildPolygonSample(104, {{0x0000FF, {{1, 1}, {30, 30}}}},
                                              {Integer(103, 5), v77::TextRecord{104, 2, 0, 0.0, u"x"}});
    const std::vector<std::vector<BYTE>> damaged = {
        {},                                    // empty
        {1, 2, 3, 4, 5},                       // shorter than the header
        Poke(good, 4, 0xFFFFFFFF),             // absurd polyline count
        Poke(Poke(good, 8, 0xFFFFFFFF), 20, 0),  // absurd text count, zero-sized polyline
        Poke(good, 12, 0xFFFFFFF0),            // polyline offset far outside
        Poke(good, 16, 0x7FFFFFFF),            // text offset far outside
        Poke(good, 28, 0x40000000),            // point count past the end
        std::vector<BYTE>(good.begin(), good.end() - 3),  // the text's NUL cut off
        v77::BuildPolygonSample(0, {}, {Integer(0xFFFF, 1), Integer(2000, 2)}),  // missing strings
    };
    for (const auto& bytes : damaged)
        ASSERT_EQ(S_OK, m_Graph.Push(bytes));
    ASSERT_EQ(S_OK, m_Graph.Push(good));
    ASSERT_TRUE(m_Graph.Complete());
    PaintInfo();
    EXPECT_FALSE(Same(m_Info.At(17, 17), kGrey)) << "the last good sample's picture";
}

TEST(PolygonConnection, TheCanvasSizeComesFromTheMediaType)
{
    CComInit com;
    COverlayGraph graph;
    CMediaType noFormat = MakeSensorType();
    noFormat.SetSubtype(&MEDIASUBTYPE_V77_SEN2);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, graph.Start(noFormat, L""));
    COverlayGraph huge;
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, huge.Start(MakePolygonType(100000, 10), L""));
    COverlayGraph topDown;
    ASSERT_EQ(S_OK, topDown.Start(MakePolygonType(8, -6), L""));
    ASSERT_EQ(S_OK, topDown.Push(v77::BuildPolygonSample(0, {{0xFFFFFF, {{0, 5}, {7, 5}}}}, {})));
    CTestDibDc canvas(8, 6, true, 32);
    canvas.Fill(RECT{0, 0, 8, 6}, kGrey);
    const RECT dst = {0, 0, 8, 6};
    ASSERT_EQ(S_OK, topDown.Overlay()->Draw(canvas.Dc(), &dst, nullptr));
    EXPECT_TRUE(Same(canvas.At(3, 5), Rgb{0xFF, 0xFF, 0xFF})) << "a canvas of 8 x 6";
}

}  // namespace
