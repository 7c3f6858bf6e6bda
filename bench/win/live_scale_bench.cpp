// How many live graphs one process runs at once: each graph is the AVI file
// source on its receiver (ffmpeg's 720p YUY2 file, paced at its 25 frames a
// second, looping) through a buffer filter into a null renderer. For 1, 2,
// 4, ... 32 graphs running together it counts the frames every renderer got
// in a measuring window and the process CPU time (GetProcessTimes), and
// prints the CPU each stream costs as a share of one core, with its ratio to
// the baseline measured first in the same run: one such graph alone. The
// figure reached is the most graphs up to which no step had a graph get
// fewer frames than the file's pace gives. The goal is 32 streams at no
// more than 5 % of one core each. The file read (AVIStreamRead of the same
// frames alone, at the same pace) is measured too, to show what a graph costs
// beyond the read it cannot avoid: its threads, waits and per-frame work.
// V77_BENCH_MEDIA names the folder of ffmpeg's files (bench/run-benchmarks).
#include <windows.h>
#include <strmif.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <wrl/client.h>

#include "bench/win/BenchCounters.h"
#include "bench/win/CNullRenderer.h"
#include "bench/win/V77AviReadLoop.h"
#include "buffer/CV77DsBufferFilter.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kMaxGraphs = 32;
constexpr double kFramesPerSecond = 25.0;
constexpr DWORD kWarmUpMs = 1500;
constexpr DWORD kWindowMs = 8000;
// Frames a graph may be short in a window for lateness alone: a receiver
// that woke late catches up within a second, so a frame short at the end of
// the window is late, not lost. More than this is a frame dropped.
constexpr double kEdgeFrames = 3.0;
constexpr double kGoalCorePercent = 5.0;


// One source -> buffer -> null renderer graph.
struct LiveGraph {
    BenchCounters counters;
    TestGraph graph;

    bool Build(const std::wstring& path)
    {
        ComPtr<IBaseFilter> source;
        if (FAILED(CoCreateInstance(CLSID_V77DsAviSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                    reinterpret_cast<void**>(source.GetAddressOf()))))
            return false;
        ComPtr<IV77DsNetworkSource> control;
        ComPtr<IV77DsAviSource> avi;
        source->QueryInterface(IID_IV77DsNetworkSource, reinterpret_cast<void**>(control.GetAddressOf()));
        source->QueryInterface(IID_IV77DsAviSource, reinterpret_cast<void**>(avi.GetAddressOf()));
        BSTR file = SysAllocString(path.c_str());
        const bool opened = control && avi && control->Open(file, nullptr, 0, 0, 0, nullptr) == S_OK &&
                            SUCCEEDED(avi->Configure(1, 1));  // looping, paced at the file's rate
        SysFreeString(file);
        HRESULT hr = S_OK;
        CUnknown* object = CV77DsBufferFilter::CreateInstance(nullptr, &hr);
        if (!object)
            return false;
        ComPtr<CV77DsBufferFilter> buffer(static_cast<CV77DsBufferFilter*>(object));
        ComPtr<IV77DsBuffer> queue;
        buffer->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(queue.GetAddressOf()));
        ComPtr<CNullRenderer> renderer = Adopt(CNullRenderer::Create(&counters));
        if (!opened || FAILED(hr) || !queue || FAILED(queue->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)) ||
            !renderer || FAILED(graph.Create()))
            return false;
        return SUCCEEDED(graph.Add(source.Get(), L"avi")) && SUCCEEDED(graph.Add(buffer.Get(), L"buffer")) &&
               SUCCEEDED(graph.Add(renderer->Filter(), L"renderer")) &&
               SUCCEEDED(graph.ConnectFilters(source.Get(), buffer.Get())) &&
               SUCCEEDED(graph.ConnectFilters(buffer.Get(), renderer->Filter()));
    }
};

struct Step {
    int graphs = 0;
    bool ran = false;
    double fewestFps = 0;         // the slowest graph's frames a second
    double corePercentEach = 0;   // process CPU a second, per graph, in % of one core
};

Step RunTogether(int count, const std::wstring& path)
{
    Step step;
    step.graphs = count;
    std::vector<std::unique_ptr<LiveGraph>> graphs;
    for (int i = 0; i < count; ++i) {
        graphs.push_back(std::make_unique<LiveGraph>());
        if (!graphs.back()->Build(path))
            return step;
    }
    bool running = true;
    for (auto& g : graphs)
        running = running && SUCCEEDED(g->graph.RunAndWait(10000));
    if (running) {
        Sleep(kWarmUpMs);
        std::vector<long> before;
        for (auto& g : graphs)
            before.push_back(g->counters.received.load());
        const LONGLONG cpuBefore = V77ProcessCpu100ns();
        const ULONGLONG start = GetTickCount64();
        Sleep(kWindowMs);
        const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
        const LONGLONG cpu = V77ProcessCpu100ns() - cpuBefore;
        step.fewestFps = 1e9;
        for (size_t i = 0; i < graphs.size(); ++i) {
            const double fps = (graphs[i]->counters.received.load() - before[i]) / seconds;
            if (fps < step.fewestFps)
                step.fewestFps = fps;
        }
        step.corePercentEach = static_cast<double>(cpu) / 1e7 / seconds * 100.0 / count;
        step.ran = true;
    }
    for (auto& g : graphs)
        g->graph.StopAndWait(10000);
    for (auto& g : graphs)
        g->graph.Release();
    return step;
}

// Process CPU of AVIStreamRead alone for the file's frames read back to back,
// as a share of one core at kFramesPerSecond; negative when the file cannot
// be read.
double FileReadCorePercent(const std::wstring& path)
{
    const V77AviReadFigures read = V77ReadAviFramesFor(path, 2000);
    if (read.frames == 0)
        return -1;
    return static_cast<double>(read.cpu100ns) / 1e7 / read.frames * kFramesPerSecond * 100.0;
}

bool NothingDropped(const Step& step)
{
    const double seconds = kWindowMs / 1000.0;
    return step.ran && step.fewestFps * seconds >= kFramesPerSecond * seconds - kEdgeFrames;
}

}  // namespace

int main()
{
    CComInit com;
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(com.Result()) || !GetEnvironmentVariableW(L"V77_BENCH_MEDIA", folder, MAX_PATH)) {
        std::printf("live_scale_bench: needs COM and V77_BENCH_MEDIA (the folder of the benchmark AVI files)\n");
        return 1;
    }
    std::wstring path = std::wstring(folder) + L"\\bench-1280x720.avi";
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    std::printf("live_scale_bench: N graphs at once, each AVI file source (720p YUY2, paced at 25 frames/s, looping)\n"
                "-> buffer -> null renderer; a %lu ms window after %lu ms of warm-up; CPU from GetProcessTimes\n",
                static_cast<unsigned long>(kWindowMs), static_cast<unsigned long>(kWarmUpMs));
    const Step baseline = RunTogether(1, path);
    if (!NothingDropped(baseline) || baseline.corePercentEach <= 0) {
        std::printf("baseline (one graph alone) %s: %.1f frames/s\n", baseline.ran ? "dropped frames" : "did not run",
                    baseline.fewestFps);
        return 1;
    }
    std::printf("\nbaseline, one graph alone: %.1f frames/s, %.2f %% of one core\n", baseline.fewestFps,
                baseline.corePercentEach);
    const double read = FileReadCorePercent(path);
    if (read >= 0) {
        const double beyond = baseline.corePercentEach - read;
        std::printf("of which the file read alone (AVIStreamRead at %.0f frames/s): %.2f %% of one core; the graph "
                    "beyond it: ", kFramesPerSecond, read);
        if (beyond > 0)
            std::printf("%.2f %%\n\n", beyond);
        else
            std::printf("below the noise of the two figures\n\n");
    } else {
        std::printf("the file read alone could not be measured\n\n");
    }
    std::printf("  graphs  slowest graph frames/s  %% of one core each  ratio to baseline  no frame dropped\n");
    int reached = 0;
    Step last;
    for (int count = 1; count <= kMaxGraphs; count *= 2) {
        const Step step = RunTogether(count, path);
        const bool ok = NothingDropped(step);
        std::printf("  %6d  %22.1f  %18.2f  %17.2f  %s\n", count, step.fewestFps, step.corePercentEach,
                    step.corePercentEach / baseline.corePercentEach, ok ? "yes" : (step.ran ? "NO" : "did not run"));
        if (ok && reached == count / 2) {
            reached = count;
            last = step;
        }
    }
    std::printf("\nreached %d simultaneous graphs with no frame dropped (goal %d)", reached, kMaxGraphs);
    if (reached > 0)
        std::printf(", %.2f %% of one core each there (goal <= %.0f %%): %s", last.corePercentEach, kGoalCorePercent,
                    reached == kMaxGraphs && last.corePercentEach <= kGoalCorePercent ? "met" : "not met");
    std::printf("\n");
    return 0;
}
