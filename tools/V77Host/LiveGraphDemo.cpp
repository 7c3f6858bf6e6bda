#include "tools/V77Host/LiveGraphDemo.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <wrl/client.h>
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostPatternSource.h"
#include "tools/V77Host/CHostPatternStream.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/V77Host/DemoSteps.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DxRenderer.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kPlayMs = 2000;
constexpr LONG kBufferCount = 10;
constexpr int kColourTolerance = 24;  // YUV rounding of the pattern and the renderer

ComPtr<CHostPatternSource> NewCamera()
{
    ComPtr<CHostPatternSource> camera;
    *camera.GetAddressOf() = CHostPatternSource::Create();  // adopt: mingw's Attach adds a reference
    return camera;
}

LONGLONG MediaTimeOf(LONG_PTR low, LONG_PTR high)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | static_cast<DWORD>(low));
}

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= kColourTolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= kColourTolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= kColourTolerance;
}

// Compares the middle of each colour bar with the pattern; true when all match.
bool PrintWindowColours(const CHostVideoWindow& window)
{
    const LONG row = CHostPatternStream::kHeight / 2 + 7;  // off the moving line most of the time
    int matched = 0;
    for (int bar = 0; bar < 8; ++bar) {
        const LONG x = (2 * bar + 1) * CHostPatternStream::kWidth / 16;
        const COLORREF expected = CHostPatternStream::BarColour(x);
        const COLORREF shown = window.PixelAt(x, row);
        const bool ok = shown != CLR_INVALID && Near(expected, shown);
        matched += ok ? 1 : 0;
        std::printf("  window pixel (%3ld,%3ld): pattern %02X%02X%02X, shown %02X%02X%02X %s\n", x, row,
                    GetRValue(expected), GetGValue(expected), GetBValue(expected), GetRValue(shown),
                    GetGValue(shown), GetBValue(shown), ok ? "ok" : "DIFFERENT");
    }
    return matched == 8;
}

}  // namespace

bool RunLiveGraphDemo()
{
    CHostVideoWindow window(CHostPatternStream::kWidth, CHostPatternStream::kHeight);
    ComPtr<CHostPatternSource> camera = NewCamera();
    ComPtr<IBaseFilter> buffer;
    ComPtr<IBaseFilter> renderer;
    ComPtr<IV77DsBuffer> control;
    ComPtr<IV77DxRenderer> display;
    CHostGraph graph;
    if (!window.Handle() || !camera) {
        std::printf("  no window or camera\n");
        return false;
    }
    if (!CheckStep("graph", graph.Create()) ||
        !CheckStep("buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, buffer)) ||
        !CheckStep("GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, renderer)) ||
        !CheckStep("IV77DsBuffer", buffer.As(&control)) || !CheckStep("IV77DxRenderer", renderer.As(&display)))
        return false;
    if (!CheckStep("CreateQueue", control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)) ||
        !CheckStep("SetBufferCount", control->SetBufferCount(kBufferCount)) ||
        !CheckStep("SetWindow", display->SetWindow(window.Handle())) ||
        !CheckStep("add camera", graph.Add(camera->Filter(), L"Demo camera")) ||
        !CheckStep("add buffer", graph.Add(buffer.Get(), L"Varnokel77 buffer filter")) ||
        !CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 GDI renderer")) ||
        !CheckStep("connect camera", graph.Connect(camera->Filter(), buffer.Get())) ||
        !CheckStep("connect renderer", graph.Connect(buffer.Get(), renderer.Get())) ||
        !CheckStep("SetRects", display->SetRects(nullptr, nullptr, nullptr)) || !CheckStep("Run", graph.Run()))
        return false;

    std::printf("  demo camera (YUY2 %ldx%ld, 25 fps) -> buffer filter (live queue of %ld) -> GDI renderer\n",
                CHostPatternStream::kWidth, CHostPatternStream::kHeight, kBufferCount);
    long mediaTimeEvents = 0;
    long memoryEvents = 0;
    graph.PumpFor(kPlayMs, [&](long code, LONG_PTR p1, LONG_PTR p2) {
        if (code == EC_V77_MEDIA_TIME) {
            ++mediaTimeEvents;
            std::printf("  event 0x8001 media time %.3f s\n", MediaTimeOf(p1, p2) / 1e7);
        } else if (code == EC_V77_MEMORY) {
            ++memoryEvents;
            std::printf("  event 0x8009 buffer memory %+lld bytes\n", MediaTimeOf(p1, p2));
        } else if (code == EC_ERRORABORT) {
            std::printf("  event EC_ERRORABORT %s\n", HResultText(static_cast<HRESULT>(p1)).c_str());
        }
    });
    const bool coloursOk = PrintWindowColours(window);
    LONG capacity = 0;
    control->GetCapacity(&capacity);
    graph.Stop();
    const long frames = camera->Stream()->FramesDelivered();
    std::printf("  %ld frames delivered in %.1f s, %ld media-time events, queue capacity %ld, %ld memory event(s)\n",
                frames, kPlayMs / 1000.0, mediaTimeEvents, capacity, memoryEvents);
    return frames >= 25 && mediaTimeEvents > 0 && coloursOk;
}
