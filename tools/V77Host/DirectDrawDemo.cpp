#include "tools/V77Host/DirectDrawDemo.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <windows.h>
#include <strmif.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <oleauto.h>
#include <uuids.h>
#include <wrl/client.h>
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostPatternSource.h"
#include "tools/V77Host/CHostPatternStream.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/V77Host/DemoSteps.h"
#include "tools/V77Host/HostPng.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77DxRenderer.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kW = CHostPatternStream::kWidth;
constexpr LONG kH = CHostPatternStream::kHeight;
constexpr LONG kSpyIntervalMs = 40;
constexpr DWORD kPlayMs = 1500;
constexpr int kColourTolerance = 24;

std::wstring Beside(const std::wstring& path, const wchar_t* name)
{
    const size_t slash = path.find_last_of(L"/\\");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + name;
}

// What the screen shows at client point (x, y) of window.
COLORREF ScreenPixel(HWND window, LONG x, LONG y)
{
    POINT p = {x, y};
    ClientToScreen(window, &p);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

// The eight colour bars of the camera in window; how many match.
int MatchingBars(HWND window)
{
    int matched = 0;
    for (int bar = 0; bar < 8; ++bar) {
        const LONG x = (2 * bar + 1) * kW / 16;
        const COLORREF want = CHostPatternStream::BarColour(x), seen = ScreenPixel(window, x, kH / 2 + 7);
        matched += std::abs(GetRValue(want) - GetRValue(seen)) <= kColourTolerance &&
                   std::abs(GetGValue(want) - GetGValue(seen)) <= kColourTolerance &&
                   std::abs(GetBValue(want) - GetBValue(seen)) <= kColourTolerance;
    }
    return matched;
}

void SaveScreenshot(HWND window, const std::wstring& path, const char* what)
{
    const HRESULT hr = SaveWindowPng(window, path);
    if (SUCCEEDED(hr))
        std::printf("  screenshot of the %s window: %ls\n", what, path.c_str());
    else
        std::printf("  screenshot of the %s window: %s\n", what, HResultText(hr).c_str());
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    if (FAILED(filter->EnumPins(pins.GetAddressOf())))
        return nullptr;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction)
            return pin;
    }
    return nullptr;
}

// Camera -> buffer filter -> GDI renderer in window.
bool StartGdiScene(CHostGraph& graph, ComPtr<CHostPatternSource>& camera, HWND window)
{
    ComPtr<IBaseFilter> buffer, renderer;
    ComPtr<IV77DsBuffer> control;
    ComPtr<IV77DxRenderer> display;
    *camera.ReleaseAndGetAddressOf() = CHostPatternSource::Create();  // adopt
    return camera && CheckStep("graph", graph.Create()) &&
           CheckStep("buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, buffer)) &&
           CheckStep("GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, renderer)) &&
           CheckStep("IV77DsBuffer", buffer.As(&control)) && CheckStep("IV77DxRenderer", renderer.As(&display)) &&
           CheckStep("CreateQueue", control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)) &&
           CheckStep("SetWindow", display->SetWindow(window)) &&
           CheckStep("add camera", graph.Add(camera->Filter(), L"Demo camera")) &&
           CheckStep("add buffer", graph.Add(buffer.Get(), L"Varnokel77 buffer filter")) &&
           CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 GDI renderer")) &&
           CheckStep("connect camera", graph.Connect(camera->Filter(), buffer.Get())) &&
           CheckStep("connect renderer", graph.Connect(buffer.Get(), renderer.Get())) &&
           CheckStep("Run", graph.Run());
}

// Window spy on source -> buffer filter -> DirectDraw renderer in target.
bool StartDirectDrawView(CHostGraph& graph, HWND source, HWND target)
{
    ComPtr<IBaseFilter> spy, buffer, renderer;
    ComPtr<IV77WindowSpy> spyControl;
    ComPtr<IV77DsBuffer> control;
    ComPtr<IV77DxRenderer> display;
    const SIZE size = {kW, kH};
    return CheckStep("graph", graph.Create()) &&
           CheckStep("window spy", CreateModuleFilter(CLSID_V77WindowSpy, spy)) &&
           CheckStep("buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, buffer)) &&
           CheckStep("DirectDraw renderer", CreateModuleFilter(CLSID_V77DxRenderer, renderer)) &&
           CheckStep("IV77WindowSpy", spy.As(&spyControl)) && CheckStep("IV77DsBuffer", buffer.As(&control)) &&
           CheckStep("IV77DxRenderer", renderer.As(&display)) &&
           CheckStep("spy SetWindow", spyControl->SetWindow(source, nullptr, kSpyIntervalMs)) &&
           CheckStep("spy SetSize", spyControl->SetSize(&size)) &&
           CheckStep("CreateQueue", control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)) &&
           CheckStep("SetWindow", display->SetWindow(target)) &&
           CheckStep("add spy", graph.Add(spy.Get(), L"Varnokel77 Window Spy filter")) &&
           CheckStep("add buffer", graph.Add(buffer.Get(), L"Varnokel77 buffer filter")) &&
           CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 Direct Draw Overlay renderer")) &&
           CheckStep("connect spy", graph.Connect(spy.Get(), buffer.Get())) &&
           CheckStep("connect renderer", graph.Connect(buffer.Get(), renderer.Get())) && CheckStep("Run", graph.Run());
}

// Window spy on source -> JPEG renderer (RGB24, which the JPEG renderer takes); one snapshot.
bool SpySnapshot(CHostGraph& pump, HWND source, const std::wstring& path)
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> spy, renderer;
    ComPtr<IV77WindowSpy> spyControl;
    ComPtr<IV77JpegRenderer> jpeg;
    ComPtr<IV77DxRenderer> display;
    const SIZE size = {kW, kH};
    if (!CheckStep("graph", CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                             reinterpret_cast<void**>(graph.GetAddressOf()))) ||
        !CheckStep("IMediaControl", graph.As(&control)) ||
        !CheckStep("window spy", CreateModuleFilter(CLSID_V77WindowSpy, spy)) ||
        !CheckStep("JPEG renderer", CreateModuleFilter(CLSID_V77JpegRenderer, renderer)) ||
        !CheckStep("IV77WindowSpy", spy.As(&spyControl)) || !CheckStep("IV77JpegRenderer", renderer.As(&jpeg)) ||
        !CheckStep("IV77DxRenderer", renderer.As(&display)) ||
        !CheckStep("spy SetWindow", spyControl->SetWindow(source, nullptr, kSpyIntervalMs)) ||
        !CheckStep("spy SetSize", spyControl->SetSize(&size)) ||
        !CheckStep("add spy", graph->AddFilter(spy.Get(), L"Varnokel77 Window Spy filter")) ||
        !CheckStep("add renderer", graph->AddFilter(renderer.Get(), L"Varnokel77 Jpeg renderer")))
        return false;
    // The spy's own type, asked for in 24 bits: DirectDraw converts while capturing.
    ComPtr<IPin> out = FirstPin(spy.Get(), PINDIR_OUTPUT), in = FirstPin(renderer.Get(), PINDIR_INPUT);
    ComPtr<IEnumMediaTypes> types;
    AM_MEDIA_TYPE* mt = nullptr;
    if (!out || !in || FAILED(out->EnumMediaTypes(types.GetAddressOf())) || types->Next(1, &mt, nullptr) != S_OK) {
        std::printf("  no type from the spy\n");
        return false;
    }
    auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(mt->pbFormat);
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(((kW * 3 + 3) & ~3) * kH);
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->lSampleSize = vih->bmiHeader.biSizeImage;
    const HRESULT connected = graph->ConnectDirect(out.Get(), in.Get(), mt);
    CoTaskMemFree(mt->pbFormat);
    CoTaskMemFree(mt);
    const RECT whole = {0, 0, kW, kH};
    if (!CheckStep("connect spy", connected) || !CheckStep("SetRects", display->SetRects(&whole, nullptr, nullptr)) ||
        !CheckStep("Run", control->Run()))
        return false;
    pump.PumpFor(600, nullptr);
    std::vector<BYTE> picture(static_cast<size_t>(kW) * kH * 3);
    DWORD bytes = static_cast<DWORD>(picture.size());
    BSTR comment = SysAllocString(L"V77Host window spy snapshot");
    const HRESULT encoded = jpeg->EncodeToBuffer(comment, picture.data(), &bytes);
    SysFreeString(comment);
    control->Stop();
    if (!CheckStep("EncodeToBuffer", encoded) || bytes == 0)
        return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool saved = file != INVALID_HANDLE_VALUE && WriteFile(file, picture.data(), bytes, &written, nullptr) &&
                       written == bytes;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    std::printf("  window spy (DirectDraw window, RGB24) -> JPEG renderer: %lu-byte JPEG %s %ls\n",
                static_cast<unsigned long>(bytes), saved ? "written to" : "NOT written to", path.c_str());
    return saved;
}

}  // namespace

bool RunDirectDrawDemo(const std::wstring& snapshotPath)
{
    CHostVideoWindow scene(kW, kH);
    CHostVideoWindow view(kW, kH);
    if (!scene.Handle() || !view.Handle()) {
        std::printf("  no windows\n");
        return false;
    }
    // Side by side, both on the screen.
    RECT frame = {};
    GetWindowRect(scene.Handle(), &frame);
    SetWindowPos(view.Handle(), nullptr, frame.right + 16, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    CHostGraph gdi, ddraw;
    ComPtr<CHostPatternSource> camera;
    if (!StartGdiScene(gdi, camera, scene.Handle()))
        return false;
    gdi.PumpFor(300, nullptr);
    if (!StartDirectDrawView(ddraw, scene.Handle(), view.Handle()))
        return false;
    std::printf("  demo camera -> buffer -> GDI renderer (left window); window spy of it -> buffer -> "
                "DirectDraw renderer (right window)\n");
    gdi.PumpFor(kPlayMs, nullptr);
    const int sceneBars = MatchingBars(scene.Handle());
    const int viewBars = MatchingBars(view.Handle());
    std::printf("  colour bars matching the camera: %d of 8 in the GDI window, %d of 8 in the DirectDraw window\n",
                sceneBars, viewBars);
    SaveScreenshot(scene.Handle(), Beside(snapshotPath, L"v77-demo-gdi-window.png"), "GDI");
    SaveScreenshot(view.Handle(), Beside(snapshotPath, L"v77-demo-directdraw-window.png"), "DirectDraw");
    const bool snapshot = SpySnapshot(gdi, view.Handle(), Beside(snapshotPath, L"v77-demo-spy-snapshot.jpg"));
    ddraw.Stop();
    gdi.Stop();
    return sceneBars == 8 && viewBars == 8 && snapshot;
}
