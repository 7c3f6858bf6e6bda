// Whether the live paths copy frames: cost per frame at a small (176x144) and
// a large (1920x1080) YUY2 frame, in the same run, of
//   - the benchmark source (pooled frames) straight into a null renderer: the baseline;
//   - the local source on the real local receiver, fed through a capture ring
//     by an in-process producer (CBenchRingProducer; its thread's CPU is taken
//     out), through the buffer filter into the null renderer;
//   - the AVI file source on the real AVI receiver (pacing off, looping)
//     through the buffer filter into the null renderer;
//   - AVIStreamRead of the same file's frames alone: the file read that the
//     AVI path cannot avoid;
//   - one memcpy of a frame, the yardstick of what a copy would add.
// Prints frames per second, wall and process CPU time per frame, and how the
// CPU per frame of each path grows from the small to the large frame. The
// files are ffmpeg's (bench/run-benchmarks makes them; V77_BENCH_MEDIA names
// their folder).
#include <windows.h>
#include <strmif.h>
#include <amvideo.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <wrl/client.h>

#include "bench/win/BenchCounters.h"
#include "bench/win/CBenchRingProducer.h"
#include "bench/win/CBenchSource.h"
#include "bench/win/CNullRenderer.h"
#include "bench/win/V77AviReadLoop.h"
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


LONGLONG ProducerCpu(const CBenchRingProducer* producer)
{
    return producer ? producer->Cpu100ns() : 0;
}

// Counts the frames the renderer gets in a window of kWindowMs after a
// warm-up; the producer's thread, when given, is not counted as CPU.
Figures Measure(TestGraph& graph, BenchCounters& counters, const CBenchRingProducer* producer = nullptr)
{
    Figures figures;
    if (FAILED(graph.RunAndWait()))
        return figures;
    Sleep(kWarmUpMs);
    const long before = counters.received.load();
    const LONGLONG cpuBefore = V77ProcessCpu100ns() - ProducerCpu(producer);
    const ULONGLONG start = GetTickCount64();
    Sleep(kWindowMs);
    const long frames = counters.received.load() - before;
    const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    const LONGLONG cpu = V77ProcessCpu100ns() - ProducerCpu(producer) - cpuBefore;
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

Figures LocalThroughBuffer(const Format& format)
{
    static int s_Ring = 0;
    const std::wstring name = L"bench" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++s_Ring);
    CBenchRingProducer producer(name, static_cast<uint32_t>(format.width), static_cast<uint32_t>(format.height), 16);
    BenchCounters counters;
    ComPtr<IBaseFilter> source;
    if (!producer.Started() ||
        FAILED(CoCreateInstance(CLSID_V77DsLocalSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(source.GetAddressOf()))))
        return Figures();
    ComPtr<IV77DsNetworkSource> control;
    BSTR ring = SysAllocString(name.c_str());
    const bool opened = SUCCEEDED(source.As(&control)) && control->Open(ring, nullptr, 0, 0, 0, nullptr) == S_OK;
    SysFreeString(ring);
    ComPtr<CV77DsBufferFilter> buffer = MakeBuffer();
    ComPtr<CNullRenderer> renderer = Adopt(CNullRenderer::Create(&counters));
    TestGraph graph;
    if (!opened || !buffer || !renderer || FAILED(graph.Create()))
        return Figures();
    graph.Add(source.Get(), L"local");
    graph.Add(buffer.Get(), L"buffer");
    graph.Add(renderer->Filter(), L"renderer");
    if (FAILED(graph.ConnectFilters(source.Get(), buffer.Get())) ||
        FAILED(graph.ConnectFilters(buffer.Get(), renderer->Filter())))
        return Figures();
    Figures figures = Measure(graph, counters, &producer);
    graph.Release();
    return figures;
}

// AVIStreamRead of the file's frames, looping, into one buffer: the read alone.
Figures AviReadAlone(const std::wstring& path)
{
    Figures figures;
    const V77AviReadFigures read = V77ReadAviFramesFor(path, kWindowMs);
    if (read.frames > 0) {
        figures.fps = read.frames / read.seconds;
        figures.cpuUsPerFrame = static_cast<double>(read.cpu100ns) / 10.0 / read.frames;
        figures.ok = true;
    }
    return figures;
}

// One memcpy of a frame between two buffers, best of many: what a copy costs.
double CopyMicroseconds(LONG bytes)
{
    std::vector<BYTE> from(static_cast<size_t>(bytes), 1), to(static_cast<size_t>(bytes));
    LARGE_INTEGER frequency, a, b;
    QueryPerformanceFrequency(&frequency);
    double best = 1e30;
    for (int i = 0; i < 50; ++i) {
        QueryPerformanceCounter(&a);
        std::memcpy(to.data(), from.data(), from.size());
        QueryPerformanceCounter(&b);
        const double us = static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
        best = us < best ? us : best;
        from[static_cast<size_t>(i)] = to[static_cast<size_t>(i) + 1];  // keeps the copy from being optimised away
    }
    return best;
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

void Print(const char* what, const Figures& f)
{
    std::printf("  %-46s %9.0f frames/s, %9.2f us wall, %9.2f us CPU a frame\n", what, f.fps, 1e6 / f.fps,
                f.cpuUsPerFrame);
}

struct Row {
    const char* what;
    Figures figures[2];  // small, large frame
};

}  // namespace

int main()
{
    CComInit com;
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(com.Result()) || !GetEnvironmentVariableW(L"V77_BENCH_MEDIA", folder, MAX_PATH)) {
        std::printf("live_bench: needs COM and V77_BENCH_MEDIA (the folder of the benchmark AVI files)\n");
        return 1;
    }
    std::printf("live_bench: cost per frame of the live paths at two frame sizes, against the benchmark source\n");
    std::printf("straight into the null renderer; best of %d windows of %lu ms each\n", kRuns,
                static_cast<unsigned long>(kWindowMs));
    const Format formats[2] = {{"bench-176x144.avi", 176, 144}, {"bench-1920x1080.avi", 1920, 1080}};
    Row rows[] = {{"bench source -> null renderer (baseline)", {}},
                  {"local source -> buffer -> null renderer", {}},
                  {"AVI source -> buffer -> null renderer", {}},
                  {"AVIStreamRead alone (the file read)", {}}};
    int rc = 0;
    for (int size = 0; size < 2; ++size) {
        const Format& format = formats[size];
        std::wstring path = std::wstring(folder) + L"\\" + std::wstring(format.file, format.file + strlen(format.file));
        for (wchar_t& c : path) {
            if (c == L'/')
                c = L'\\';
        }
        for (int run = 0; run < kRuns; ++run) {
            const Figures measured[4] = {BenchSourceDirect(format), LocalThroughBuffer(format), AviThroughBuffer(path),
                                         AviReadAlone(path)};
            for (int row = 0; row < 4; ++row) {
                if (!measured[row].ok) {
                    std::printf("\n%s: %s failed to run\n", format.file, rows[row].what);
                    rc = 1;
                }
                if (measured[row].fps > rows[row].figures[size].fps)
                    rows[row].figures[size] = measured[row];
            }
        }
        std::printf("\nYUY2 %ldx%ld (%ld bytes a frame; one memcpy of it: %.2f us)\n", format.width, format.height,
                    format.width * format.height * 2, CopyMicroseconds(format.width * format.height * 2));
        for (const Row& row : rows) {
            if (row.figures[size].ok)
                Print(row.what, row.figures[size]);
        }
        const Figures& avi = rows[2].figures[size];
        const Figures& read = rows[3].figures[size];
        const double rest = avi.cpuUsPerFrame - read.cpuUsPerFrame;
        if (avi.ok && read.ok && rest > 0)
            std::printf("  %-46s %9.2f us CPU a frame\n", "AVI path less its file read", rest);
        else if (avi.ok && read.ok)
            std::printf("  %-46s below the noise of the two figures (%.2f us)\n", "AVI path less its file read", rest);
    }
    const double copyLarge = CopyMicroseconds(formats[1].width * formats[1].height * 2);
    const double bytesRatio = static_cast<double>(formats[1].width * formats[1].height) /
                              static_cast<double>(formats[0].width * formats[0].height);
    std::printf("\nCPU a frame at %ldx%ld against %ldx%ld (%.1f times the bytes):\n", formats[1].width,
                formats[1].height, formats[0].width, formats[0].height, bytesRatio);
    for (const Row& row : rows) {
        if (row.figures[0].ok && row.figures[1].ok)
            std::printf("  %-46s %+9.2f us (x%.2f)\n", row.what,
                        row.figures[1].cpuUsPerFrame - row.figures[0].cpuUsPerFrame,
                        row.figures[1].cpuUsPerFrame / row.figures[0].cpuUsPerFrame);
    }
    // A copy anywhere on the local path would add at least one copy of the
    // large frame (a cache-warm memcpy, the cheapest there is) to its growth.
    const Figures* local = rows[1].figures;
    if (local[0].ok && local[1].ok) {
        const double growth = local[1].cpuUsPerFrame - local[0].cpuUsPerFrame;
        std::printf("\nlocal path: frame size %s: from the small to the large frame it %s %.2f us a frame (noise), "
                    "against %.2f us for one copy of the large frame\n",
                    growth < copyLarge / 2 ? "does not matter (met)" : "matters (NOT met)",
                    growth < 0 ? "loses" : "grows by", growth < 0 ? -growth : growth, copyLarge);
    }
    return rc;
}
