// The DirectDraw renderer in Wine's real filter graph, drawing into a real
// window under Xvfb: what it offers and refuses, every format it can copy
// checked pixel by pixel (on screen for the screen's RGB, from the raw video
// surface for YUV), adjustments and deinterlacing, the host's rectangles, bad
// windows and the log lines of failures. The registry's present modes are the
// display window's (DisplayWindowTests).
#include <windows.h>
#include <strmif.h>
#include <ddraw.h>
#include <amvideo.h>
#include <uuids.h>
#include <algorithm>
#include <cstring>
#include <memory>
#include <gtest/gtest.h>

#include "display/CDirectDrawDevice.h"
#include "display/CV77DxRenderer.h"
#include "tests/ddraw/CDxRendererGraph.h"
#include "tests/ddraw/CHostWindowProc.h"
#include "tests/ddraw/DdrawTestSupport.h"
#include "tests/display/CTestDibDc.h"
#include "tests/display/CTestVideoWindow.h"
#include "tests/display/WindowProbes.h"
#include "tests/kit/CComInit.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr Rgb kRed{205, 45, 45};
constexpr Rgb kGreen{45, 185, 65};
constexpr Rgb kBlue{50, 60, 210};
constexpr Rgb kYellow{215, 205, 60};
constexpr LONG kW = 80, kH = 60;

std::vector<Probe> ProbesA(const RECT& r)
{
    return QuadrantProbes(r, kRed, kGreen, kBlue, kYellow);
}

std::vector<Probe> ProbesB(const RECT& r)
{
    return QuadrantProbes(r, kBlue, kRed, kYellow, kGreen);
}

TestPicture PictureA(LONG w = kW, LONG h = kH)
{
    return QuadrantPicture(w, h, kRed, kGreen, kBlue, kYellow);
}

TestPicture PictureB(LONG w = kW, LONG h = kH)
{
    return QuadrantPicture(w, h, kBlue, kRed, kYellow, kGreen);
}

// Bottom-up frames are copied in memory order: the video surface holds them upside down.
TestPicture AsStored(TestPicture p, bool bottomUp)
{
    if (bottomUp) {
        for (LONG y = 0; y < p.height / 2; ++y)
            for (LONG x = 0; x < p.width; ++x) {
                const Rgb top = p.At(x, y);
                p.Set(x, y, p.At(x, p.height - 1 - y));
                p.Set(x, p.height - 1 - y, top);
            }
    }
    return p;
}

Rgb Offset(Rgb c, int d)
{
    auto f = [d](int v) { return static_cast<BYTE>(v + d > 255 ? 255 : v + d); };
    return Rgb{f(c.r), f(c.g), f(c.b)};
}

class DxRendererTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_Com.Result()); }

    void OpenWindow(LONG w = kW, LONG h = kH)
    {
        m_Window = std::make_unique<CTestVideoWindow>(w, h);
        ASSERT_NE(nullptr, m_Window->Handle());
        m_Host = std::make_unique<CHostWindowProc>(m_Window->Handle());
    }

    // The module's renderer on a window, running RGB32 with picture A.
    void StartRgb32(bool topDown = false)
    {
        OpenWindow();
        ASSERT_EQ(S_OK, m_Graph.CreateFromModule());
        ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
        ASSERT_EQ(S_OK, m_Graph.Start(MakeRgb32Type(kW, kH, topDown)));
        ASSERT_EQ(S_OK, m_Graph.Push(EncodeRgb32(PictureA(), topDown)));
        ASSERT_TRUE(m_Graph.WaitRunning());
        m_bTopDown = topDown;
    }

    HRESULT PushRgb32(const TestPicture& picture) { return m_Graph.Push(EncodeRgb32(picture, m_bTopDown)); }

    ::testing::AssertionResult Composes(const std::vector<Probe>& probes, int tolerance = 2)
    {
        std::string mismatches;
        const bool shown = m_Window->PumpUntil(
            [&] {
                mismatches = Mismatches(m_Graph.Image(true), probes, tolerance);
                return mismatches.empty();
            },
            3000);
        if (shown)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "composition:\n" << mismatches;
    }

    // On screen: presented again (Invalidate) until it shows; bounded.
    ::testing::AssertionResult Shows(const std::vector<Probe>& probes, int tolerance = 2)
    {
        std::string mismatches;
        const bool shown = m_Window->PumpUntil(
            [&] {
                mismatches = Mismatches(m_Window->Capture(), probes, tolerance);
                if (!mismatches.empty())
                    m_Graph.Dx()->Invalidate();
                return mismatches.empty();
            },
            5000);
        if (shown)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "screen:\n" << mismatches;
    }

    RECT Client() const { return RECT{0, 0, m_Window->Width(), m_Window->Height()}; }

    CComInit m_Com;
    std::unique_ptr<CTestVideoWindow> m_Window;
    std::unique_ptr<CHostWindowProc> m_Host;
    CDxRendererGraph m_Graph;
    bool m_bTopDown = false;
};

TEST_F(DxRendererTest, OffersTheDisplaysFormatsAndRefusesOthers)
{
    // What the driver can show, worked out as the renderer must.
    std::vector<GUID> expected;
    {
        CDirectDrawDevice device;
        if (device.Initialize(nullptr)) {
            if (device.IsFourCCSupported(MAKEFOURCC('Y', 'V', '1', '2')))
                expected.push_back(MEDIASUBTYPE_YV12);
            if (device.IsFourCCSupported(MAKEFOURCC('Y', 'U', 'Y', '2')))
                expected.push_back(MEDIASUBTYPE_YUY2);
            if (device.IsFourCCSupported(MAKEFOURCC('I', '4', '2', '0')))
                expected.push_back(MEDIASUBTYPE_I420);
        }
        const DWORD bits = device.PrimaryFormat().dwRGBBitCount;
        expected.push_back(bits == 16 ? MEDIASUBTYPE_RGB565 : bits == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32);
    }
    ASSERT_EQ(S_OK, m_Graph.CreateFromModule());
    ComPtr<IPin> pin = TestGraph::FindPin(m_Graph.Renderer(), PINDIR_INPUT);
    ASSERT_NE(nullptr, pin.Get());
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.GetAddressOf()));
    std::vector<GUID> offered;
    AM_MEDIA_TYPE* mt = nullptr;
    while (types->Next(1, &mt, nullptr) == S_OK) {
        offered.push_back(mt->subtype);
        EXPECT_EQ(MEDIATYPE_Video, mt->majortype);
        CoTaskMemFree(mt->pbFormat);
        CoTaskMemFree(mt);
    }
    EXPECT_EQ(expected, offered);

    // Before a window: nothing to do, E_FAIL (S_FALSE where nothing is lost).
    IV77DxRenderer* dx = m_Graph.Dx();
    COLORREF key = 0;
    BITMAPINFOHEADER* dib = nullptr;
    RECT rect{0, 0, 4, 4};
    EXPECT_EQ(E_FAIL, dx->SetRects(nullptr, &rect, &rect));
    EXPECT_EQ(S_FALSE, dx->Invalidate());
    EXPECT_EQ(E_FAIL, dx->GetCurrentImage(&dib, TRUE));
    EXPECT_EQ(nullptr, dib);
    EXPECT_EQ(E_FAIL, dx->DrawOverlay(nullptr, TRUE));
    EXPECT_EQ(E_FAIL, dx->SetColorKey(RGB(1, 2, 3)));
    EXPECT_EQ(E_FAIL, dx->GetColorKey(&key));
    EXPECT_EQ(E_FAIL, dx->ClearColorKey());
    EXPECT_EQ(E_FAIL, dx->EnableOverlay(TRUE, TRUE));
    EXPECT_EQ(S_FALSE, dx->ClearImage());
    EXPECT_EQ(S_OK, dx->SetBrightnessContrast(10, 0));
    EXPECT_EQ(S_OK, dx->SetWindow(nullptr)) << "no window: no display";
    EXPECT_EQ(E_FAIL, dx->EnableOverlay(TRUE, TRUE));

    // Types whose header contradicts the subtype, or that are not offered.
    ASSERT_EQ(S_OK, m_Graph.Graph().Create());
    CMediaType bad = MakeRgb32Type(16, 16);
    reinterpret_cast<VIDEOINFOHEADER*>(bad.Format())->bmiHeader.biBitCount = 24;
    EXPECT_EQ(S_FALSE, pin->QueryAccept(&bad)) << "RGB32 with 24-bit rows";
    CMediaType yuy2 = MakeVideoType(MEDIASUBTYPE_YUY2, 16, 16);
    const bool yuy2Offered = std::find(offered.begin(), offered.end(), MEDIASUBTYPE_YUY2) != offered.end();
    EXPECT_EQ(yuy2Offered ? S_OK : S_FALSE, pin->QueryAccept(&yuy2));
    CMediaType noFormat = MakeRgb32Type(16, 16);
    noFormat.ResetFormatBuffer();
    EXPECT_EQ(S_FALSE, pin->QueryAccept(&noFormat)) << "no format block";
}

// ---- the screen's RGB, both row orders ----

class DxRgbTest : public DxRendererTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DxRgbTest, FramesShowUprightAndFollowTheHostsRectangles)
{
    StartRgb32(GetParam());
    EXPECT_TRUE(Composes(ProbesA(Client())));
    EXPECT_TRUE(Shows(ProbesA(Client())));
    ASSERT_EQ(S_OK, PushRgb32(PictureB()));
    EXPECT_TRUE(Shows(ProbesB(Client()))) << "a later frame replaces it";
    EXPECT_EQ("", Mismatches(AsStored(m_Graph.Image(false), !GetParam()), ProbesB(Client()), 0)) << "the video surface";

    // Host coordinates are top-origin whatever the row order: top-right quarter of B is red.
    RECT source{kW / 2, 0, kW, kH / 2};
    RECT destination{0, 0, kW / 2, kH / 2};
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetRects(nullptr, &source, &destination));
    EXPECT_TRUE(Composes(UniformProbes(destination, kRed)));
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetRects(nullptr, nullptr, nullptr));

    // The host's overlay over the video, key-coloured where the video shows.
    CTestDibDc drawing(kW, kH, true, 32);
    drawing.Fill(RECT{0, 0, kW, kH}, Rgb{255, 0, 255});
    drawing.Fill(RECT{kW / 2 - 6, kH / 2 - 6, kW / 2 + 6, kH / 2 + 6}, Rgb{255, 255, 255});
    COLORREF key = 0;
    EXPECT_EQ(S_FALSE, m_Graph.Dx()->GetColorKey(&key));
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetColorKey(RGB(255, 0, 255)));
    EXPECT_EQ(S_OK, m_Graph.Dx()->GetColorKey(&key));
    EXPECT_EQ(RGB(255, 0, 255), key);
    ASSERT_EQ(S_OK, m_Graph.Dx()->DrawOverlay(drawing.Dc(), FALSE));
    ASSERT_EQ(S_OK, m_Graph.Dx()->EnableOverlay(TRUE, TRUE));
    std::vector<Probe> overlaid = ProbesB(Client());
    overlaid.push_back({kW / 2, kH / 2, Rgb{255, 255, 255}});
    EXPECT_TRUE(Composes(overlaid)) << "overlay with its key over the video";
    ASSERT_EQ(S_OK, m_Graph.Dx()->ClearColorKey());
    EXPECT_EQ(S_FALSE, m_Graph.Dx()->GetColorKey(&key));
    EXPECT_TRUE(Composes(UniformProbes(RECT{0, 0, kW / 3, kH / 3}, Rgb{255, 0, 255}))) << "no key: overlay covers";
    ASSERT_EQ(S_OK, m_Graph.Dx()->EnableOverlay(FALSE, TRUE));

    // Clearing blackens the composition; the next frame comes back.
    ASSERT_EQ(S_OK, m_Graph.Dx()->ClearImage());
    EXPECT_TRUE(Mismatches(m_Graph.Image(true), UniformProbes(Client(), Rgb{0, 0, 0}), 0).empty());
    ASSERT_EQ(S_OK, PushRgb32(PictureA()));
    EXPECT_TRUE(Composes(ProbesA(Client())));
}

INSTANTIATE_TEST_SUITE_P(RowOrders, DxRgbTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "TopDown" : "BottomUp");
                         });

TEST_F(DxRendererTest, BrightnessContrastAndDeinterlaceShowOnScreen)
{
    // Top-down, so that the first field in memory is the picture's first row.
    StartRgb32(true);
    IV77DxRenderer* dx = m_Graph.Dx();
    // Every colour byte is treated as luma: +40 levels (of 256 for 1.0) on each channel.
    ASSERT_EQ(S_OK, dx->SetBrightnessContrast(40.0 / 256, 0));
    EXPECT_TRUE(Shows(QuadrantProbes(Client(), Offset(kRed, 40), Offset(kGreen, 40), Offset(kBlue, 40),
                                     Offset(kYellow, 40))));
    ASSERT_EQ(S_OK, dx->SetBrightnessContrast(0, -1));
    EXPECT_TRUE(Shows(UniformProbes(Client(), Rgb{0, 0, 0}))) << "gain 0 flattens to the offset";
    ASSERT_EQ(S_OK, dx->SetBrightnessContrast(0, 0));

    // Line doubling shows the first field: every row as its even row.
    const Rgb even{200, 40, 40}, odd{40, 40, 200};
    ASSERT_EQ(S_OK, PushRgb32(RowPicture(kW, kH, even, odd)));
    ASSERT_EQ(S_OK, dx->SetDeinterlaceMode(2));
    EXPECT_TRUE(Shows({{10, 11, even}, {40, 31, even}, {70, 30, even}}));
    // The deinterlace filter mixes the fields: an odd row is no longer pure.
    ASSERT_EQ(S_OK, dx->SetDeinterlaceMode(1));
    m_Window->Pump();
    const TestPicture filtered = m_Graph.Image(false);
    ASSERT_FALSE(filtered.pixels.empty());
    EXPECT_FALSE(Near(filtered.At(10, 11), odd, 8)) << "odd row kept as it was";
    ASSERT_EQ(S_OK, dx->SetDeinterlaceMode(0));
    EXPECT_TRUE(Shows({{10, 11, odd}, {10, 10, even}}));
}

// ---- YUV through the forced subtype list, read from the raw surface ----

struct YuvCase {
    const char* name;
    const GUID* subtype;
    DWORD fourCC;
};

class DxYuvTest : public DxRendererTest, public ::testing::WithParamInterface<YuvCase> {};

TEST_P(DxYuvTest, FramesAndAdjustmentsLandInTheSurface)
{
    const YuvCase& c = GetParam();
    OpenWindow();
    ASSERT_EQ(S_OK, m_Graph.CreateWithSubtypes(c.subtype, 1));
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    bool made = true;
    {
        CDirectDrawDevice device;
        device.Initialize(nullptr);
        made = device.IsFourCCSupported(c.fourCC);
    }
    const HRESULT started = m_Graph.Start(MakeVideoType(*c.subtype, kW, kH));
    if (!made) {
        // The driver makes no such surface: the connection fails, nothing runs.
        EXPECT_TRUE(FAILED(started)) << std::hex << started;
        return;
    }
    ASSERT_EQ(S_OK, started);
    const std::vector<BYTE> a = EncodeFrame(PictureA(), *c.subtype);
    ASSERT_EQ(S_OK, m_Graph.Push(a));
    ASSERT_TRUE(m_Graph.WaitRunning());
    BITMAPINFOHEADER header = {};
    EXPECT_EQ(a, m_Graph.RawVideo(&header)) << "neutral settings copy the frame";
    EXPECT_EQ(c.fourCC, header.biCompression);

    // Brightness adds to luma only; gain 0 leaves luma at the offset and chroma at 128.
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(20.0 / 256, 0));
    std::vector<BYTE> raw = m_Graph.RawVideo(&header);
    ASSERT_EQ(a.size(), raw.size());
    const bool packed = c.fourCC == MAKEFOURCC('Y', 'U', 'Y', '2');
    const size_t luma = static_cast<size_t>(kW) * kH;
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool isLuma = packed ? (i % 2 == 0) : (i < luma);
        const int want = isLuma ? std::min(255, a[i] + 20) : a[i];
        ASSERT_EQ(want, raw[i]) << "byte " << i;
    }
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(20.0 / 256, -1));
    raw = m_Graph.RawVideo(&header);
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool isLuma = packed ? (i % 2 == 0) : (i < luma);
        ASSERT_EQ(isLuma ? 20 : 128, raw[i]) << "byte " << i;
    }

    // Line doubling: odd luma rows repeat the even ones.
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(0, 0));
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetDeinterlaceMode(2));
    const std::vector<BYTE> rows = EncodeFrame(RowPicture(kW, kH, kRed, kBlue), *c.subtype);
    ASSERT_EQ(S_OK, m_Graph.Push(rows));
    raw = m_Graph.RawVideo(&header);
    const size_t rowBytes = packed ? kW * 2 : kW;
    ASSERT_EQ(rows.size(), raw.size());
    for (LONG y = 0; y < kH; ++y)
        ASSERT_EQ(0, memcmp(&raw[y * rowBytes], &rows[(y & ~1) * rowBytes], rowBytes)) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Formats, DxYuvTest,
                         ::testing::Values(YuvCase{"Yuy2", &MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2')},
                                           YuvCase{"Yv12", &MEDIASUBTYPE_YV12, MAKEFOURCC('Y', 'V', '1', '2')},
                                           YuvCase{"I420", &MEDIASUBTYPE_I420, MAKEFOURCC('I', '4', '2', '0')}),
                         [](const ::testing::TestParamInfo<YuvCase>& info) { return std::string(info.param.name); });

// ---- a 16-bit desktop ----

// The desktop's depth for one scope (the display lists 32, 16 and 8 bits).
class CDesktopDepth {
public:
    explicit CDesktopDepth(DWORD bits)
    {
        DEVMODEW mode = {};
        mode.dmSize = sizeof mode;
        EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
        mode.dmBitsPerPel = bits;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        m_Result = ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_FULLSCREEN, nullptr);
    }
    ~CDesktopDepth() { ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr); }
    LONG Result() const { return m_Result; }

private:
    LONG m_Result;
};

TEST_F(DxRendererTest, ASixteenBitDesktopTakesRgb565)
{
    CDesktopDepth depth(16);
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, depth.Result());
    OpenWindow();
    ASSERT_EQ(S_OK, m_Graph.CreateFromModule());
    ComPtr<IPin> pin = TestGraph::FindPin(m_Graph.Renderer(), PINDIR_INPUT);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.GetAddressOf()));
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &mt, nullptr));
    EXPECT_EQ(MEDIASUBTYPE_RGB565, mt->subtype) << "the screen's own depth";
    CoTaskMemFree(mt->pbFormat);
    CoTaskMemFree(mt);

    // 16-bit rows, bottom-up, each pixel 5-6-5.
    CMediaType type = MakeRgb32Type(kW, kH);
    type.SetSubtype(&MEDIASUBTYPE_RGB565);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
    vih->bmiHeader.biBitCount = 16;
    vih->bmiHeader.biSizeImage = kW * kH * 2;
    type.SetSampleSize(vih->bmiHeader.biSizeImage);
    const TestPicture a = PictureA();
    std::vector<BYTE> frame(static_cast<size_t>(kW) * kH * 2);
    for (LONG y = 0; y < kH; ++y)
        for (LONG x = 0; x < kW; ++x) {
            const Rgb c = a.At(x, y);
            const WORD v = static_cast<WORD>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
            memcpy(&frame[(static_cast<size_t>(kH - 1 - y) * kW + x) * 2], &v, 2);
        }
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    ASSERT_EQ(S_OK, m_Graph.Start(type));
    ASSERT_EQ(S_OK, m_Graph.Push(frame));
    ASSERT_TRUE(m_Graph.WaitRunning());
    EXPECT_TRUE(Shows(ProbesA(Client()), 10)) << "5-6-5 levels";
    m_Graph.Close();
}

// ---- bad windows and failures ----

TEST_F(DxRendererTest, ADestroyedWindowDropsFramesUntilTheHostGivesAnother)
{
    StartRgb32();
    EXPECT_TRUE(Composes(ProbesA(Client())));
    m_Host.reset();
    m_Window.reset();   // destroyed while the graph streams
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(S_OK, PushRgb32(i % 2 ? PictureA() : PictureB()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE), m_Graph.Dx()->Invalidate());

    OpenWindow();
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    ASSERT_EQ(S_OK, PushRgb32(PictureB()));
    EXPECT_TRUE(Shows(ProbesB(Client()))) << "the new window shows the stream";
}

TEST_F(DxRendererTest, ZeroSizedAndHugeWindowsShowNothingAndNeverCrash)
{
    OpenWindow(0, 0);
    ASSERT_EQ(S_OK, m_Graph.CreateFromModule());
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    ASSERT_EQ(S_OK, m_Graph.Start(MakeRgb32Type(kW, kH)));
    ASSERT_EQ(S_OK, m_Graph.Push(EncodeRgb32(PictureA())));
    ASSERT_TRUE(m_Graph.WaitRunning());
    m_Window->Pump();
    HRESULT hr = S_OK;
    EXPECT_TRUE(m_Graph.Image(true, &hr).pixels.empty());
    EXPECT_EQ(E_FAIL, hr) << "no composition surface";
    EXPECT_EQ("", Mismatches(AsStored(m_Graph.Image(false), true), ProbesA(RECT{0, 0, kW, kH}), 0))
        << "video still copied";

    // A window far larger than any surface DirectDraw makes.
    HWND huge = CreateWindowExW(0, L"STATIC", L"huge", WS_POPUP, 0, 0, 60000, 60000, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, huge);
    const HRESULT set = m_Graph.Dx()->SetWindow(huge);
    EXPECT_TRUE(set == S_OK || set == E_FAIL);
    EXPECT_EQ(S_OK, m_Graph.Push(EncodeRgb32(PictureB())));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    m_Graph.Close();
    DestroyWindow(huge);
}

TEST_F(DxRendererTest, FailuresAreLoggedWithTheHandlersLine)
{
    OpenWindow();
    // Types the copies have no layout for never reach the display set-up:
    // the pin refuses them, and setting one directly throws before any
    // surface or frame buffer is sized from it.
    const struct {
        WORD bits;
        DWORD compression;
    } cases[] = {{8, BI_RGB}, {24, MAKEFOURCC('A', 'B', 'C', 'D')}};
    for (const auto& c : cases) {
        CDxRendererGraph graph;
        const GUID subtype = MEDIASUBTYPE_RGB8;
        ASSERT_EQ(S_OK, graph.CreateWithSubtypes(&subtype, 1));
        CMediaType mt = MakeRgb32Type(16, 16);
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.Format());
        vih->bmiHeader.biBitCount = c.bits;
        vih->bmiHeader.biCompression = c.compression;
        ComPtr<IPin> pin = TestGraph::FindPin(graph.Renderer(), PINDIR_INPUT);
        ASSERT_NE(nullptr, pin.Get());
        EXPECT_EQ(S_FALSE, pin->QueryAccept(&mt));
        EXPECT_ANY_THROW(graph.Direct()->SetMediaType(&mt));
        EXPECT_EQ(S_OK, graph.Dx()->SetWindow(m_Window->Handle())) << "nothing was kept to set up";
    }
    // A failure inside a host call: no video surface to read yet.
    CDxRendererGraph graph;
    ASSERT_EQ(S_OK, graph.CreateFromModule());
    ASSERT_EQ(S_OK, graph.Dx()->SetWindow(m_Window->Handle()));
    CLogWatch log;
    BITMAPINFOHEADER* dib = nullptr;
    EXPECT_EQ(E_FAIL, graph.Dx()->GetCurrentImage(&dib, FALSE));
    EXPECT_EQ(nullptr, dib);
    EXPECT_NE(std::string::npos, log.NewText().find(" - handler V77DxRenderer line ")) << log.NewText();
}

}  // namespace
