#include "tools/V77Host/SpyCommand.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <wrl/client.h>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/CHostFrameTap.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostProgress.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/V77Host/DemoSteps.h"
#include "tools/V77Host/HostCli.h"
#include "tools/V77Host/HostPng.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77DxRenderer.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kUsage[] =
    "spy WINDOW [options]\n"
    "Captures a window with the window spy and shows it live: window spy -> buffer filter ->\n"
    "renderer in a window of the host. WINDOW is a window's exact title, a handle (0x1234) or\n"
    "\"desktop\".\n"
    "  --renderer gdi|ddraw   the renderer (default ddraw)\n"
    "  --interval MS          capture period, 10-1000 ms (default 40)\n"
    "  --duration SECONDS     how long to show it (default 10)\n"
    "  --screenshot FILE.png  save what the host's window shows at the end\n"
    "Exit codes: 0 shown, 1 no such window, a call failed or no frame arrived, 2 bad arguments.";

HWND FindTarget(const std::string& name)
{
    if (name == "desktop")
        return GetDesktopWindow();
    if (name.compare(0, 2, "0x") == 0) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(name.c_str() + 2, &end, 16);
        if (end && *end == '\0')
            return IsWindow(reinterpret_cast<HWND>(value)) ? reinterpret_cast<HWND>(value) : nullptr;
    }
    return FindWindowW(nullptr, Widen(name).c_str());
}

}  // namespace

int RunSpyCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"spy", kUsage, {{"--renderer", true}, {"--interval", true}}, 1, 1, 10};
    HostCommandLine line;
    int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    long interval = 40;
    if (!line.args.Integer("--interval", 10, 1000, &interval))
        return HostUsageError("spy", line.args.Error());
    const std::string renderer = line.args.Value("--renderer", "ddraw");
    if (renderer != "gdi" && renderer != "ddraw")
        return HostUsageError("spy", "--renderer takes gdi or ddraw, not \"" + renderer + "\"");
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("spy", "CoInitializeEx", com.Result());
    const HWND target = FindTarget(line.args.Positionals()[0]);
    if (!target)
        return HostFailure("spy", "no window \"" + line.args.Positionals()[0] + "\"");
    RECT client = {};
    GetClientRect(target, &client);
    const SIZE size = {client.right > 0 ? client.right : 320, client.bottom > 0 ? client.bottom : 240};
    CHostVideoWindow window(size.cx, size.cy, 16, 16);
    CHostGraph graph;
    ComPtr<IBaseFilter> spy, buffer, display;
    ComPtr<IV77WindowSpy> spyControl;
    ComPtr<IV77DsBuffer> queue;
    ComPtr<IV77DxRenderer> view;
    ComPtr<CHostFrameTap> tap;
    *tap.GetAddressOf() = CHostFrameTap::Create();  // adopt
    const char* step = "create the filter graph";
    HRESULT hr = graph.Create();
    auto next = [&](const char* what, HRESULT result) {
        if (SUCCEEDED(hr)) {
            step = what;
            hr = result;
        }
    };
    next("create the window spy", CreateModuleFilter(CLSID_V77WindowSpy, spy));
    next("create the buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, buffer));
    next("create the renderer", CreateModuleFilter(renderer == "gdi" ? CLSID_V77WindowsRenderer : CLSID_V77DxRenderer, display));
    next("create the frame counter", tap ? S_OK : E_OUTOFMEMORY);
    next("IV77WindowSpy", SUCCEEDED(hr) ? spy.As(&spyControl) : hr);
    next("IV77DsBuffer", SUCCEEDED(hr) ? buffer.As(&queue) : hr);
    next("IV77DxRenderer", SUCCEEDED(hr) ? display.As(&view) : hr);
    next("IV77WindowSpy::SetWindow", SUCCEEDED(hr) ? spyControl->SetWindow(target, nullptr, interval) : hr);
    next("IV77WindowSpy::SetSize", SUCCEEDED(hr) ? spyControl->SetSize(&size) : hr);
    next("CreateQueue", SUCCEEDED(hr) ? queue->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr) : hr);
    next("SetWindow", SUCCEEDED(hr) ? view->SetWindow(window.Handle()) : hr);
    next("add the window spy", SUCCEEDED(hr) ? graph.Add(spy.Get(), L"Varnokel77 Window Spy filter") : hr);
    next("add the buffer filter", SUCCEEDED(hr) ? graph.Add(buffer.Get(), L"Varnokel77 buffer filter") : hr);
    next("add the frame counter", SUCCEEDED(hr) ? graph.Add(tap->Filter(), L"V77Host frame counter") : hr);
    next("add the renderer", SUCCEEDED(hr) ? graph.Add(display.Get(), L"Varnokel77 renderer") : hr);
    next("connect the spy", SUCCEEDED(hr) ? graph.Connect(spy.Get(), buffer.Get()) : hr);
    next("connect the frame counter", SUCCEEDED(hr) ? graph.Connect(buffer.Get(), tap->Filter()) : hr);
    next("connect the renderer", SUCCEEDED(hr) ? graph.Connect(tap->Filter(), display.Get()) : hr);
    next("SetRects", SUCCEEDED(hr) ? view->SetRects(nullptr, nullptr, nullptr) : hr);
    next("Run", SUCCEEDED(hr) ? graph.Run() : hr);
    if (FAILED(hr))
        return HostFailure("spy", step, hr);
    std::printf("spy: window %p, %ldx%ld, every %ld ms\n", static_cast<void*>(target), size.cx, size.cy, interval);
    std::fflush(stdout);
    CHostProgress progress("spy");
    graph.PumpWhile(static_cast<DWORD>(line.durationSeconds * 1000), nullptr, [&] {
        HostFigures figures;
        figures.frames = tap->Frames();
        progress.Update(figures);
        return true;
    });
    const HRESULT saved = line.screenshot.empty() ? S_OK : SaveWindowPng(window.Handle(), line.screenshot);
    HostFigures figures;
    figures.frames = tap->Frames();
    graph.Stop();
    progress.Finish(figures);
    if (FAILED(saved))
        return HostFailure("spy", "saving the screenshot", saved);
    return figures.frames > 0 ? kHostExitOk : HostFailure("spy", "no frame reached the renderer");
}
