#include "tools/V77Host/ArchivePlaybackDemo.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/V77Host/DemoSteps.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77DxRenderer.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kViews = 3;
constexpr LONG kSegment = 10;
constexpr REFERENCE_TIME kOrigin = 133485408000000000LL;  // make-demo-store.sh
constexpr LONG kWidth = 160;
constexpr LONG kHeight = 120;

REFERENCE_TIME T(int frame) { return kOrigin + frame * 400000LL; }

struct View {
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> buffer;
    ComPtr<IBaseFilter> renderer;
    std::unique_ptr<CHostVideoWindow> window;
};

// The frame number burnt into the window's picture: eight blocks, bit 0 left.
int FrameShown(const CHostVideoWindow& window)
{
    int frame = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const COLORREF c = window.PixelAt((2 * bit + 1) * kWidth / 16, kHeight / 4);
        if (c == CLR_INVALID)
            return -1;
        if (GetRValue(c) + GetGValue(c) + GetBValue(c) > 3 * 128)
            frame |= 1 << bit;
    }
    return frame;
}

bool BuildView(CHostGraph& graph, const std::wstring& store, int index, IV77DsBufferMaster* master, View* view)
{
    ComPtr<IV77DsARCSource> archive;
    ComPtr<IV77DsBuffer> control;
    ComPtr<IV77DxRenderer> display;
    if (!CheckStep("store archive source", CreateModuleFilter(CLSID_V77DsARCSource, view->source)) ||
        !CheckStep("buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, view->buffer)) ||
        !CheckStep("GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, view->renderer)) ||
        !CheckStep("IV77DsARCSource", view->source.As(&archive)) ||
        !CheckStep("IV77DsBuffer", view->buffer.As(&control)) ||
        !CheckStep("IV77DxRenderer", view->renderer.As(&display)))
        return false;
    BSTR folder = SysAllocString(store.c_str());
    SOURCE_INFORMATION info = {};
    const HRESULT opened = archive->Open(folder, nullptr, FALSE, &info);
    SysFreeString(folder);
    if (!CheckStep("Open", opened))
        return false;
    view->window = std::make_unique<CHostVideoWindow>(kWidth, kHeight);
    const std::wstring suffix = std::to_wstring(index);
    return view->window->Handle() &&
           SUCCEEDED(control->CreateQueue(V77_QUEUE_FULL, kSegment, master)) &&
           CheckStep("SetTimeStep", control->SetTimeStep(info.AvgTimePerFrame)) &&
           CheckStep("SetWindow", display->SetWindow(view->window->Handle())) &&
           CheckStep("add source", graph.Add(view->source.Get(), (L"archive " + suffix).c_str())) &&
           CheckStep("add buffer", graph.Add(view->buffer.Get(), (L"buffer " + suffix).c_str())) &&
           CheckStep("add renderer", graph.Add(view->renderer.Get(), (L"renderer " + suffix).c_str())) &&
           CheckStep("connect source", graph.Connect(view->source.Get(), view->buffer.Get())) &&
           CheckStep("connect renderer", graph.Connect(view->buffer.Get(), view->renderer.Get())) &&
           CheckStep("SetRects", display->SetRects(nullptr, nullptr, nullptr));
}

HRESULT StartSource(IBaseFilter* source)
{
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = source->EnumPins(pins.GetAddressOf());
    if (SUCCEEDED(hr))
        hr = pins->Next(1, pin.GetAddressOf(), nullptr) == S_OK ? S_OK : E_FAIL;
    if (SUCCEEDED(hr))
        hr = pin.As(&seeking);
    REFERENCE_TIME start = T(0);
    return SUCCEEDED(hr) ? seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, 0) : hr;
}

class ArchiveDemo {
public:
    ArchiveDemo(CHostGraph& graph, std::vector<View>& views, IV77DsBuffer* master)
        : m_Graph(graph), m_Views(views), m_pMaster(master)
    {
    }

    // Lets the graph play for ms, then prints what each window shows;
    // expected >= 0: every view must show it, else the views must agree within one frame.
    bool Show(const char* what, DWORD ms, int expected = -1)
    {
        m_Graph.PumpFor(ms, [&](long code, LONG_PTR p1, LONG_PTR) {
            if (code == EC_V77_SEGMENT_END)
                std::printf("  event 0x8005 (0x%08lX)\n", static_cast<unsigned long>(p1));
        });
        int shown[kViews];
        for (int v = 0; v < kViews; ++v)
            shown[v] = FrameShown(*m_Views[v].window);
        bool ok = shown[0] >= 0;
        for (int v = 0; v < kViews; ++v)
            ok = ok && (expected >= 0 ? shown[v] == expected : std::abs(shown[v] - shown[0]) <= 1);
        std::printf("  %-30s views show frames %3d %3d %3d%s %s\n", what, shown[0], shown[1], shown[2],
                    expected >= 0 ? (" (expected " + std::to_string(expected) + ")").c_str() : "",
                    ok ? "ok" : "DIFFERENT");
        m_bOk = m_bOk && ok;
        return ok;
    }

    bool Rate(double rate, DWORD ms)
    {
        const std::string what = "rate " + std::to_string(rate).substr(0, 4) + " for " + std::to_string(ms) + " ms:";
        return CheckStep("SetGroupRate", m_pMaster->SetGroupRate(rate)) && Show(what.c_str(), ms);
    }

    bool Seek(int frame)
    {
        REFERENCE_TIME position = T(frame);
        const std::string what = "seek to frame " + std::to_string(frame) + ", one step:";
        return CheckStep("SetGroupPositions", m_pMaster->SetGroupPositions(&position, nullptr, nullptr)) &&
               CheckStep("Step", m_pMaster->Step(1)) && Show(what.c_str(), 400, frame + 1);
    }

    bool Step(LONG frames, int expected)
    {
        const std::string what = std::string("step ") + (frames > 0 ? "forward:" : "backward:");
        return CheckStep("Step", m_pMaster->Step(frames)) && Show(what.c_str(), 300, expected);
    }

    bool Ok() const { return m_bOk; }

private:
    CHostGraph& m_Graph;
    std::vector<View>& m_Views;
    IV77DsBuffer* m_pMaster;
    bool m_bOk = true;
};

}  // namespace

bool RunArchivePlaybackDemo(const std::wstring& store)
{
    if (store.empty()) {
        std::printf("  no recording store given (--store FOLDER)\n");
        return false;
    }
    CHostGraph graph;
    if (!CheckStep("graph", graph.Create()))
        return false;
    std::vector<View> views(kViews);
    ComPtr<IV77DsBuffer> master;
    ComPtr<IV77DsBufferMaster> group;
    for (int v = 0; v < kViews; ++v) {
        if (!BuildView(graph, store, v, group.Get(), &views[v]))
            return false;
        if (v == 0 && (!CheckStep("IV77DsBuffer", views[0].buffer.As(&master)) ||
                       !CheckStep("IV77DsBufferMaster", views[0].buffer.As(&group))))
            return false;
    }
    std::printf("  store of 3 segments (frames 0-39, 40-79, 80-119) -> 3 x (archive source -> buffer ->"
                " GDI renderer), buffer 0 the master\n");
    if (!CheckStep("Run", graph.Run()))
        return false;
    for (View& view : views) {
        if (!CheckStep("start source", StartSource(view.source.Get())))
            return false;
    }
    ArchiveDemo demo(graph, views, master.Get());
    bool ok = demo.Seek(10) && demo.Rate(4.0, 600) && demo.Rate(1.0, 600) && demo.Rate(-1.0, 600) &&
              demo.Rate(0.25, 800) && demo.Rate(0.0, 300);
    // Frame steps across the edge between the first two segments.
    ok = ok && demo.Seek(37);
    const int forward[] = {39, 40, 41};
    for (int expected : forward)
        ok = ok && demo.Step(1, expected);
    const int backward[] = {40, 39, 38};
    for (int expected : backward)
        ok = ok && demo.Step(-1, expected);
    graph.Stop();
    return ok && demo.Ok();
}
