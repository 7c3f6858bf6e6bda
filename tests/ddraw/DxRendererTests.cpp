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
#include <new>
#include <gtest/gtest.h>

#include "display/CDirectDrawDevice.h"
#include "display/CV77DxRenderer.h"
#include "tests/ddraw/CHostWindowProc.h"
#include "tests/ddraw/DdrawTestSupport.h"
#include "tests/display/CRendererGraph.h"
#include "tests/display/CTestDibDc.h"
#include "tests/display/CTestVideoWindow.h"
#include "tests/display/WindowProbes.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CComInit.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kW = 80, kH = 60;

// A DirectDraw renderer built here offering these subtypes (formats the
// display driver does not list); *direct, when asked for, is its object.
ComPtr<IBaseFilter> NewDxRenderer(const GUID* subtypes, int count, CV77DxRenderer** direct = nullptr)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CV77DxRenderer(nullptr, &hr, subtypes, count);
    if (!renderer)
        return nullptr;
    renderer->NonDelegatingAddRef();
    ComPtr<IBaseFilter> filter = Adopt(static_cast<IBaseFilter*>(renderer));
    if (FAILED(hr))
        return nullptr;
    if (direct)
        *direct = renderer;
    return filter;
}

// The picture a renderer holds: composed (true) or its last video surface.
TestPicture CurrentImage(IV77DxRenderer* dx, bool fromComposition, HRESULT* result = nullptr)
{
    BITMAPINFOHEADER* dib = nullptr;
    const HRESULT hr = dx->GetCurrentImage(&dib, fromComposition);
    if (result)
        *result = hr;
    TestPicture picture = SUCCEEDED(hr) ? DibPicture(dib) : TestPicture();
    CoTaskMemFree(dib);
    return picture;
}

// The raw DIB of the last video surface (header and bytes), empty on failure.
std::vector<BYTE> RawVideo(IV77DxRenderer* dx, BITMAPINFOHEADER* header)
{
    BITMAPINFOHEADER* dib = nullptr;
    std::vector<BYTE> bytes;
    if (SUCCEEDED(dx->GetCurrentImage(&dib, FALSE)) && dib) {
        *header = *dib;
        const BYTE* first = reinterpret_cast<const BYTE*>(dib + 1);
        bytes.assign(first, first + dib->biSizeImage);
    }
    CoTaskMemFree(dib);
    return bytes;
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

// The set-up helpers fail fatally with what failed: call them through ASSERT_NO_FATAL_FAILURE.
class DxRendererTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_Com.Result()) << "COM"; }

    void OpenWindow(LONG w = kW, LONG h = kH)
    {
        m_Window = std::make_unique<CTestVideoWindow>(w, h);
        ASSERT_NE(nullptr, m_Window->Handle()) << "test window not created";
        m_Host = std::make_unique<CHostWindowProc>(m_Window->Handle());
    }

    // The renderer's graph running subtype with first delivered.
    void Run(const GUID& subtype, const TestPicture& first, bool topDown = false)
    {
        ASSERT_TRUE(m_Graph.Dx()) << "no renderer";
        ASSERT_EQ(S_OK, m_Graph.Start(subtype, first.width, first.height, topDown)) << "graph not connected and run";
        ASSERT_EQ(S_OK, m_Graph.Push(first)) << "first frame not delivered";
        ASSERT_TRUE(m_Graph.WaitRunning()) << "graph not running after its first frame";
    }

    // The module's renderer on a window, running RGB32 with picture A.
    void StartRgb32(bool topDown = false)
    {
        ASSERT_NO_FATAL_FAILURE(OpenWindow());
        ASSERT_EQ(S_OK, m_Graph.Create(CLSID_V77DxRenderer, m_Window->Handle()))
            << "DirectDraw renderer not created or given its window";
        ASSERT_NO_FATAL_FAILURE(Run(MEDIASUBTYPE_RGB32, PictureA(kW, kH), topDown));
    }

    ::testing::AssertionResult Composes(const std::vector<Probe>& probes, int tolerance = 2)
    {
        return PumpUntilShown(*m_Window, "composition", [this] { return CurrentImage(m_Graph.Dx(), true); }, probes,
                              tolerance, 3000);
    }

    // On screen: presented again (Invalidate) until it shows; bounded.
    ::testing::AssertionResult Shows(const std::vector<Probe>& probes, int tolerance = 2)
    {
        return PumpUntilShown(*m_Window, "screen", [this] { return m_Window->Capture(); }, probes, tolerance, 5000,
                              [this] { m_Graph.Dx()->Invalidate(); });
    }

    RECT Client() const { return RECT{0, 0, m_Window->Width(), m_Window->Height()}; }

    CComInit m_Com;
    std::unique_ptr<CTestVideoWindow> m_Window;
    std::unique_ptr<CHostWindowProc> m_Host;
    CRendererGraph m_Graph;
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
    ASSERT_EQ(S_OK, m_Graph.Create(CLSID_V77DxRenderer));
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

    // Types whose header contradicts the subtype: the malformed-type table (TypeRefusalTests).
}

// ---- the screen's RGB, both row orders ----

class DxRgbTest : public DxRendererTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DxRgbTest, FramesShowUprightAndFollowTheHostsRectangles)
{
    ASSERT_NO_FATAL_FAILURE(StartRgb32(GetParam()));
    EXPECT_TRUE(Composes(ProbesA(Client())));
    EXPECT_TRUE(Shows(ProbesA(Client())));
    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(kW, kH)));
    EXPECT_TRUE(Shows(ProbesB(Client()))) << "a later frame replaces it";
    EXPECT_EQ("", Mismatches(AsStored(CurrentImage(m_Graph.Dx(), false), !GetParam()), ProbesB(Client()), 0)) << "the video surface";

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
    EXPECT_TRUE(Mismatches(CurrentImage(m_Graph.Dx(), true), UniformProbes(Client(), Rgb{0, 0, 0}), 0).empty());
    ASSERT_EQ(S_OK, m_Graph.Push(PictureA(kW, kH)));
    EXPECT_TRUE(Composes(ProbesA(Client())));
}

INSTANTIATE_TEST_SUITE_P(RowOrders, DxRgbTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "TopDown" : "BottomUp");
                         });

TEST_F(DxRendererTest, BrightnessContrastAndDeinterlaceShowOnScreen)
{
    // Top-down, so that the first field in memory is the picture's first row.
    ASSERT_NO_FATAL_FAILURE(StartRgb32(true));
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
    ASSERT_EQ(S_OK, m_Graph.Push(RowPicture(kW, kH, even, odd)));
    ASSERT_EQ(S_OK, dx->SetDeinterlaceMode(2));
    EXPECT_TRUE(Shows({{10, 11, even}, {40, 31, even}, {70, 30, even}}));
    // The deinterlace filter mixes the fields: an odd row is no longer pure.
    ASSERT_EQ(S_OK, dx->SetDeinterlaceMode(1));
    m_Window->Pump();
    const TestPicture filtered = CurrentImage(m_Graph.Dx(), false);
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
    ASSERT_NO_FATAL_FAILURE(OpenWindow());
    ASSERT_EQ(S_OK, m_Graph.Use(NewDxRenderer(c.subtype, 1))) << "DirectDraw renderer not built";
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    bool made = true;
    {
        CDirectDrawDevice device;
        device.Initialize(nullptr);
        made = device.IsFourCCSupported(c.fourCC);
    }
    const HRESULT started = m_Graph.Start(*c.subtype, kW, kH);
    if (!made) {
        // The driver makes no such surface: the connection fails, nothing runs.
        EXPECT_TRUE(FAILED(started)) << std::hex << started;
        return;
    }
    ASSERT_EQ(S_OK, started);
    const std::vector<BYTE> a = EncodeFrame(PictureA(kW, kH), *c.subtype);
    ASSERT_EQ(S_OK, m_Graph.PushBytes(a));
    ASSERT_TRUE(m_Graph.WaitRunning());
    BITMAPINFOHEADER header = {};
    EXPECT_EQ(a, RawVideo(m_Graph.Dx(), &header)) << "neutral settings copy the frame";
    EXPECT_EQ(c.fourCC, header.biCompression);

    // Brightness adds to luma only; gain 0 leaves luma at the offset and chroma at 128.
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(20.0 / 256, 0));
    std::vector<BYTE> raw = RawVideo(m_Graph.Dx(), &header);
    ASSERT_EQ(a.size(), raw.size());
    const bool packed = c.fourCC == MAKEFOURCC('Y', 'U', 'Y', '2');
    const size_t luma = static_cast<size_t>(kW) * kH;
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool isLuma = packed ? (i % 2 == 0) : (i < luma);
        const int want = isLuma ? std::min(255, a[i] + 20) : a[i];
        ASSERT_EQ(want, raw[i]) << "byte " << i;
    }
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(20.0 / 256, -1));
    raw = RawVideo(m_Graph.Dx(), &header);
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool isLuma = packed ? (i % 2 == 0) : (i < luma);
        ASSERT_EQ(isLuma ? 20 : 128, raw[i]) << "byte " << i;
    }

    // Line doubling: odd luma rows repeat the even ones.
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetBrightnessContrast(0, 0));
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetDeinterlaceMode(2));
    const std::vector<BYTE> rows = EncodeFrame(RowPicture(kW, kH, kRed, kBlue), *c.subtype);
    ASSERT_EQ(S_OK, m_Graph.PushBytes(rows));
    raw = RawVideo(m_Graph.Dx(), &header);
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
    ASSERT_NO_FATAL_FAILURE(OpenWindow());
    ASSERT_EQ(S_OK, m_Graph.Create(CLSID_V77DxRenderer));
    ComPtr<IPin> pin = TestGraph::FindPin(m_Graph.Renderer(), PINDIR_INPUT);
    ASSERT_TRUE(pin) << "renderer without an input pin";
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.GetAddressOf()));
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &mt, nullptr));
    EXPECT_EQ(MEDIASUBTYPE_RGB565, mt->subtype) << "the screen's own depth";
    CoTaskMemFree(mt->pbFormat);
    CoTaskMemFree(mt);

    // 16-bit rows, bottom-up, each pixel 5-6-5.
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    ASSERT_NO_FATAL_FAILURE(Run(MEDIASUBTYPE_RGB565, PictureA(kW, kH)));
    EXPECT_TRUE(Shows(ProbesA(Client()), 10)) << "5-6-5 levels";
    m_Graph.Close();
}

// ---- bad windows and failures ----

TEST_F(DxRendererTest, ADestroyedWindowDropsFramesUntilTheHostGivesAnother)
{
    ASSERT_NO_FATAL_FAILURE(StartRgb32());
    EXPECT_TRUE(Composes(ProbesA(Client())));
    m_Host.reset();
    m_Window.reset();   // destroyed while the graph streams
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(S_OK, m_Graph.Push(i % 2 ? PictureA(kW, kH) : PictureB(kW, kH)));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE), m_Graph.Dx()->Invalidate());

    ASSERT_NO_FATAL_FAILURE(OpenWindow());
    ASSERT_EQ(S_OK, m_Graph.Dx()->SetWindow(m_Window->Handle()));
    ASSERT_EQ(S_OK, m_Graph.Push(PictureB(kW, kH)));
    EXPECT_TRUE(Shows(ProbesB(Client()))) << "the new window shows the stream";
}

TEST_F(DxRendererTest, ZeroSizedAndHugeWindowsShowNothingAndNeverCrash)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(0, 0));
    ASSERT_EQ(S_OK, m_Graph.Create(CLSID_V77DxRenderer, m_Window->Handle()));
    ASSERT_NO_FATAL_FAILURE(Run(MEDIASUBTYPE_RGB32, PictureA(kW, kH)));
    m_Window->Pump();
    HRESULT hr = S_OK;
    EXPECT_TRUE(CurrentImage(m_Graph.Dx(), true, &hr).pixels.empty());
    EXPECT_EQ(E_FAIL, hr) << "no composition surface";
    EXPECT_EQ("", Mismatches(AsStored(CurrentImage(m_Graph.Dx(), false), true), ProbesA(RECT{0, 0, kW, kH}), 0))
        << "video still copied";

    // A window far larger than any surface DirectDraw makes.
    HWND huge = CreateWindowExW(0, L"STATIC", L"huge", WS_POPUP, 0, 0, 60000, 60000, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, huge);
    const HRESULT set = m_Graph.Dx()->SetWindow(huge);
    EXPECT_TRUE(set == S_OK || set == E_FAIL);
    EXPECT_EQ(S_OK, m_Graph.Push(PictureB(kW, kH)));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    m_Graph.Close();
    DestroyWindow(huge);
}

TEST_F(DxRendererTest, FailuresAreLoggedWithTheHandlersLine)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow());
    // Types the copies have no layout for never reach the display set-up:
    // the pin refuses them, and setting one directly throws before any
    // surface or frame buffer is sized from it.
    const struct {
        WORD bits;
        DWORD compression;
    } cases[] = {{8, BI_RGB}, {24, MAKEFOURCC('A', 'B', 'C', 'D')}};
    for (const auto& c : cases) {
        const GUID subtype = MEDIASUBTYPE_RGB8;
        CV77DxRenderer* direct = nullptr;
        ComPtr<IBaseFilter> renderer = NewDxRenderer(&subtype, 1, &direct);
        ComPtr<IV77DxRenderer> dx;
        ASSERT_TRUE(renderer) << "DirectDraw renderer not built";
        ASSERT_EQ(S_OK, renderer.As(&dx));
        CMediaType mt = MakeVideoType(MEDIASUBTYPE_RGB32, 16, 16);
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.Format());
        vih->bmiHeader.biBitCount = c.bits;
        vih->bmiHeader.biCompression = c.compression;
        ComPtr<IPin> pin = TestGraph::FindPin(renderer.Get(), PINDIR_INPUT);
        ASSERT_NE(nullptr, pin.Get());
        EXPECT_EQ(S_FALSE, pin->QueryAccept(&mt));
        EXPECT_ANY_THROW(direct->SetMediaType(&mt));
        EXPECT_EQ(S_OK, dx->SetWindow(m_Window->Handle())) << "nothing was kept to set up";
    }
    // A failure inside a host call: no video surface to read yet.
    CRendererGraph graph;
    ASSERT_EQ(S_OK, graph.Create(CLSID_V77DxRenderer, m_Window->Handle()));
    CLogWatch log;
    BITMAPINFOHEADER* dib = nullptr;
    EXPECT_EQ(E_FAIL, graph.Dx()->GetCurrentImage(&dib, FALSE));
    EXPECT_EQ(nullptr, dib);
    EXPECT_NE(std::string::npos, log.NewText().find(" - handler V77DxRenderer line ")) << log.NewText();
}

}  // namespace
