// Frames from the AVI file receiver (pacing off, looping) through the AVI
// file source and the buffer filter into a null renderer, against frames of
// the benchmark source (pooled) straight into the same null renderer, in the
// same run, for a 720p and a small frame. Prints frames per second, wall
// time and process CPU time per frame, and their ratio to the baseline.
// The files are ffmpeg's (bench/run-benchmarks makes them; V77_BENCH_MEDIA
// names their folder).
#include <windows.h>
#include <strmif.h>
#include <amvideo.h>
#include <cstdio>
#include <string>
#include <wrl/client.h>

#include "bench/win/BenchCounters.h"
#include "bench/win/CBenchSource.h"
#include "bench/win/CNullRenderer.h"
#include "buffer/CV77DsBufferFilter.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77SamplePool.h"
#include "v77/V77Guids.h"
#include <uuids.h>

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kWarmUpMs = 500;
constexpr DWORD kWindowMs = 3000;
constexpr int kRuns = 3;

struct Format {
    const char* file;
    LONG width;
    LONG height;
};

struct Figures {
    double fps = 0;
    double cpuUsPerFrame = 0;
    bool ok = false;
};

LONGLONG ProcessCpu100ns()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return static_cast<LONGLONG>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return value(kernel) + value(user);
}

// Counts the frames the renderer gets in a window of kWindowMs after a warm-up.
Figures Measure(TestGraph& graph, BenchCounters& counters)
{
    Figures figures;
    if (FAILED(graph.RunAndWait()))
        return figures;
    Sleep(kWarmUpMs);
    const long before = counters.received.load();
    const LONGLONG cpuBefore = ProcessCpu100ns();
    const ULONGLONG start = GetTickCount64();
    Sleep(kWindowMs);
    const long frames = counters.received.load() - before;
    const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    const LONGLONG cpu = ProcessCpu100ns() - cpuBefore;
    graph.StopAndWait();
    if (frames <= 0)
        return figures;
    figures.fps = frames / seconds;
    figures.cpuUsPerFrame = static_cast<double>(cpu) / 10.0 / frames;
    figures.ok = true;
    return figures;
}

ComPtr<CV77DsBufferFilter> MakeBuffer()
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsBufferFilter::CreateInstance(nullptr, &hr);
    if (!object)
        return nullptr;
    ComPtr<CV77DsBufferFilter> buffer(static_cast<CV77DsBufferFilter*>(object));
    ComPtr<IV77DsBuffer> control;
    buffer->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(control.GetAddressOf()));
    if (FAILED(hr) || !control || FAILED(control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr)))
        return nullptr;
    return buffer;
}

Figures AviThroughBuffer(const std::wstring& path)
{
    BenchCounters counters;
    ComPtr<IBaseFilter> source;
    if (FAILED(CoCreateInstance(CLSID_V77DsAviSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(source.GetAddressOf()))))
        return Figures();
    ComPtr<IV77DsNetworkSource> control;
    ComPtr<IV77DsAviSource> avi;
    BSTR file = SysAllocString(path.c_str());
    const bool opened = SUCCEEDED(source.As(&control)) && control->Open(file, nullptr, 0, 0, 0, nullptr) == S_OK &&
                        SUCCEEDED(source.As(&avi)) && SUCCEEDED(avi->Configure(1, 0));  // loop, no pacing
    SysFreeString(file);
    ComPtr<CV77DsBufferFilter> buffer = MakeBuffer();
    ComPtr<CNullRenderer> renderer = Adopt(CNullRenderer::Create(&counters));
    TestGraph graph;
    if (!opened || !buffer || !renderer || FAILED(graph.Create()))
        return Figures();
    graph.Add(source.Get(), L"avi");
    graph.Add(buffer.Get(), L"buffer");
    graph.Add(renderer->Filter(), L"renderer");
    if (FAILED(graph.ConnectFilters(source.Get(), buffer.Get())) ||
        FAILED(graph.ConnectFilters(buffer.Get(), renderer->Filter())))
        return Figures();
    Figures figures = Measure(graph, counters);
    graph.Release();
    return figures;
}

CMediaType MakeYuy2(LONG width, LONG height)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_YUY2);
    mt.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = 400000;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 16;
    vih.bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 2);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    return mt;
}

Figures BenchSourceDirect(const Format& format)
{
    BenchCounters counters;
    ComPtr<IV77SamplePool> pool;
    const LONG bytes = format.width * format.height * 2;
    if (FAILED(CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                reinterpret_cast<void**>(pool.GetAddressOf()))) ||
        FAILED(pool->InitializePool(static_cast<DWORD>(bytes), 11)))
        return Figures();
    BenchSourceConfig config;
    config.mediaType = MakeYuy2(format.width, format.height);
    config.frameBytes = bytes;
    config.frameCount = 100000000;  // ends with the window
    config.pool = pool.Get();
    config.counters = &counters;
    ComPtr<CBenchSource> source = Adopt(CBenchSource::Create(config));
    ComPtr<CNullRenderer> renderer = Adopt(CNullRenderer::Create(&counters));
    TestGraph graph;
    if (!source || !renderer || FAILED(graph.Create()))
        return Figures();
    graph.Add(source->Filter(), L"source");
    graph.Add(renderer->Filter(), L"renderer");
    if (FAILED(graph.ConnectFilters(source->Filter(), renderer->Filter())))
        return Figures();
    Figures figures = Measure(graph, counters);
    graph.Release();
    return figures;
}

}  // namespace

int main()
{
    CComInit com;
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(com.Result()) || !GetEnvironmentVariableW(L"V77_BENCH_MEDIA", folder, MAX_PATH)) {
        std::printf("live_bench: needs COM and V77_BENCH_MEDIA (the folder of the benchmark AVI files)\n");
        return 1;
    }
    std::printf("live_bench: AVI file receiver (pacing off, looping) -> AVI file source -> buffer -> null renderer\n");
    std::printf("against the benchmark source (pooled frames) -> null renderer; best of %d windows of %lu ms\n",
                kRuns, static_cast<unsigned long>(kWindowMs));
    const Format formats[] = {{"bench-1280x720.avi", 1280, 720}, {"bench-160x120.avi", 160, 120}};
    int rc = 0;
    for (const Format& format : formats) {
        std::wstring path = std::wstring(folder) + L"\\" + std::wstring(format.file, format.file + strlen(format.file));
        for (wchar_t& c : path) {
            if (c == L'/')
                c = L'\\';
        }
        Figures live, direct;
        for (int run = 0; run < kRuns; ++run) {
            const Figures a = AviThroughBuffer(path);
            const Figures b = BenchSourceDirect(format);
            if (!a.ok || !b.ok) {
                std::printf("\n%s: a graph failed to run\n", format.file);
                rc = 1;
                break;
            }
            if (a.fps > live.fps)
                live = a;
            if (b.fps > direct.fps)
                direct = b;
        }
        if (!live.ok || !direct.ok)
            continue;
        std::printf("\nYUY2 %ldx%ld (%ld bytes a frame)\n", format.width, format.height,
                    format.width * format.height * 2);
        std::printf("  AVI source -> buffer -> null renderer: %9.0f frames/s, %8.2f us wall, %8.2f us CPU a frame\n",
                    live.fps, 1e6 / live.fps, live.cpuUsPerFrame);
        std::printf("  bench source -> null renderer:         %9.0f frames/s, %8.2f us wall, %8.2f us CPU a frame\n",
                    direct.fps, 1e6 / direct.fps, direct.cpuUsPerFrame);
        std::printf("  ratio live/baseline frames/s:          %9.3f\n", live.fps / direct.fps);
    }
    return rc;
}
