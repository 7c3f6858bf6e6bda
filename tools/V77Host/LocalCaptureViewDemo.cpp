#include "tools/V77Host/LocalCaptureViewDemo.h"

#include <cstdio>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "tools/V77Capture/V77FrameStamp.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/V77Host/DemoSteps.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77DxRenderer.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kWidth = 320;
constexpr LONG kHeight = 240;
constexpr DWORD kViewMs = 1500;

// The capture tool, ended by its process handle.
class CCaptureTool {
public:
    explicit CCaptureTool(const std::wstring& name)
    {
        wchar_t path[MAX_PATH] = {};
        std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
        exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"V77Capture.exe";
        std::wstring line = L"\"" + exe + L"\" --name " + name + L" --size 320x240 --fps 25";
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_Info))
            m_Info = PROCESS_INFORMATION{};
    }
    ~CCaptureTool()
    {
        if (!m_Info.hProcess)
            return;
        TerminateProcess(m_Info.hProcess, 0);
        WaitForSingleObject(m_Info.hProcess, 5000);
        CloseHandle(m_Info.hThread);
        CloseHandle(m_Info.hProcess);
    }
    bool Started() const { return m_Info.hProcess != nullptr; }
    DWORD Pid() const { return m_Info.dwProcessId; }

private:
    PROCESS_INFORMATION m_Info = {};
};

// The frame number in the window's top rows (the GDI renderer shows the
// picture at its size), or -1.
long FrameShown(const CHostVideoWindow& window)
{
    const LONG row = kStampRows / 2;
    std::vector<uint8_t> band(static_cast<size_t>(kWidth) * 2 * kStampRows, 0);
    for (LONG x = 0; x < kWidth; ++x) {
        const COLORREF shown = window.PixelAt(x, row);
        band[static_cast<size_t>(row) * kWidth * 2 + 2 * x] = shown == CLR_INVALID ? 0 : GetGValue(shown);
    }
    return ReadFrameStamp(band.data(), kWidth, kWidth * 2, band.size());
}

}  // namespace

bool RunLocalCaptureViewDemo()
{
    const std::wstring name = L"demo" + std::to_wstring(GetCurrentProcessId());
    CCaptureTool tool(name);
    if (!tool.Started()) {
        std::printf("  V77Capture.exe did not start beside the host\n");
        return false;
    }
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> buffer;
    ComPtr<IBaseFilter> renderer;
    ComPtr<IV77DsNetworkSource> live;
    ComPtr<IV77DsBuffer> control;
    ComPtr<IV77DxRenderer> display;
    CHostGraph graph;
    if (!CheckStep("graph", graph.Create()) ||
        !CheckStep("local source", CreateModuleFilter(CLSID_V77DsLocalSource, source)) ||
        !CheckStep("buffer filter", CreateModuleFilter(CLSID_V77DsBufferFilter, buffer)) ||
        !CheckStep("GDI renderer", CreateModuleFilter(CLSID_V77WindowsRenderer, renderer)) ||
        !CheckStep("IV77DsNetworkSource", source.As(&live)) || !CheckStep("IV77DsBuffer", buffer.As(&control)) ||
        !CheckStep("IV77DxRenderer", renderer.As(&display)))
        return false;
    // The tool is still starting: Open waits for its ring.
    BSTR ring = SysAllocString(name.c_str());
    SOURCE_INFORMATION info = {};
    const HRESULT opened = live->Open(ring, nullptr, 0, 0, 0, &info);
    SysFreeString(ring);
    if (!CheckStep("Open", opened))
        return false;
    CHostVideoWindow window(info.Width, info.Height);
    if (!window.Handle() || info.Width != kWidth || info.Height != kHeight) {
        std::printf("  no window, or a %ldx%ld stream\n", info.Width, info.Height);
        return false;
    }
    if (!CheckStep("CreateQueue", control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)) ||
        !CheckStep("SetWindow", display->SetWindow(window.Handle())) ||
        !CheckStep("add source", graph.Add(source.Get(), L"Varnokel77 Local Live source filter")) ||
        !CheckStep("add buffer", graph.Add(buffer.Get(), L"Varnokel77 buffer filter")) ||
        !CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 GDI renderer")) ||
        !CheckStep("connect source", graph.Connect(source.Get(), buffer.Get())) ||
        !CheckStep("connect renderer", graph.Connect(buffer.Get(), renderer.Get())) ||
        !CheckStep("SetRects", display->SetRects(nullptr, nullptr, nullptr)) || !CheckStep("Run", graph.Run()))
        return false;
    std::printf("  V77Capture (pid %lu, ring '%ls', %ldx%ld YUY2, %.1f fps) -> local source -> buffer filter"
                " -> GDI renderer\n", static_cast<unsigned long>(tool.Pid()), name.c_str(), info.Width, info.Height,
                info.AvgTimePerFrame ? 1e7 / static_cast<double>(info.AvgTimePerFrame) : 0.0);
    long starts = 0, ends = 0;
    const auto count = [&](long code, LONG_PTR, LONG_PTR) {
        starts += code == EC_V77_STREAM_EVENT_1 ? 1 : 0;
        ends += code == EC_V77_STREAM_EVENT_2 ? 1 : 0;
    };
    graph.PumpFor(kViewMs, count);
    const long first = FrameShown(window);
    graph.PumpFor(kViewMs, count);
    const long second = FrameShown(window);
    graph.Stop();
    std::printf("  window shows frame %ld, then %ld %.1f s later; %ld stream start(s), %ld end(s)\n", first, second,
                kViewMs / 1000.0, starts, ends);
    const bool advanced = first >= 0 && second > first;
    if (!advanced)
        std::printf("  the frame numbers shown did not advance\n");
    return advanced && starts >= 1 && ends == 0;
}
