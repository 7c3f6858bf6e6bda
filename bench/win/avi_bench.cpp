// Write throughput of the AVI file renderer against a plain file write of the
// same bytes, in the same run: compressed-size frames pushed through Wine's
// (or Windows') filter graph into the renderer, which writes them through
// AVIFile (index and headers included, file closed at end of stream), and the
// same frames written with WriteFile, one call each, into a file closed after.
#include <windows.h>
#include <strmif.h>
#include <amvideo.h>
#include <uuids.h>
#include <cstdio>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "tests/kit/CComInit.h"
#include "tests/kit/CTestPushSource.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77Sinks.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kFrames = 2000;
constexpr LONG kFrameBytes = 40000;   // a 1080p MPEG-4 frame at a few Mbit/s
constexpr int kKeySpacing = 25;
constexpr int kRuns = 3;

double Seconds()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / freq.QuadPart;
}

CMediaType Dx50Type()
{
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = 400000;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 1920;
    vih.bmiHeader.biHeight = 1080;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = MAKEFOURCC('D', 'X', '5', '0');
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_V77_DX50);
    mt.SetFormatType(&FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    mt.SetSampleSize(kFrameBytes);
    mt.SetTemporalCompression(TRUE);
    return mt;
}

// Seconds to record every frame through the renderer; negative on failure.
double RecordThroughRenderer(const std::vector<BYTE>& frame, const wchar_t* path)
{
    ComPtr<IBaseFilter> renderer;
    ComPtr<IV77DsAviFileRenderer> control;
    if (FAILED(CoCreateInstance(CLSID_V77DsAviFileRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(renderer.GetAddressOf()))) ||
        FAILED(renderer.As(&control)))
        return -1;
    ComPtr<CTestPushSource> source = Adopt(CTestPushSource::Create(Dx50Type(), kFrameBytes));
    TestGraph graph;
    if (!source || FAILED(graph.Create()) || FAILED(graph.Add(source->Filter(), L"source")) ||
        FAILED(graph.Add(renderer.Get(), L"avi")) || FAILED(graph.ConnectFilters(source->Filter(), renderer.Get())))
        return -1;
    TestPacket packet;
    packet.bytes = frame;
    const double t0 = Seconds();
    if (control->SetFileName(path, L"bench") != S_OK || FAILED(graph.Run()))
        return -1;
    for (int i = 0; i < kFrames; ++i) {
        packet.syncPoint = i % kKeySpacing == 0;
        if (source->Pin()->Push(packet) != S_OK)
            return -1;
    }
    source->Pin()->DeliverEndOfStream();  // closes the file
    const double t = Seconds() - t0;
    graph.StopAndWait();
    return t;
}

double WritePlain(const std::vector<BYTE>& frame, const wchar_t* path)
{
    const double t0 = Seconds();
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    for (int i = 0; i < kFrames; ++i) {
        DWORD written = 0;
        if (!WriteFile(h, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr) ||
            written != frame.size()) {
            CloseHandle(h);
            return -1;
        }
    }
    CloseHandle(h);
    return Seconds() - t0;
}

} // namespace

int main()
{
    CComInit com;
    std::vector<BYTE> frame(kFrameBytes);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<BYTE>(i * 131 + 7);
    const wchar_t* aviPath = L"avi_bench.avi";
    const wchar_t* rawPath = L"avi_bench.raw";
    double bestAvi = 1e9, bestRaw = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const double a = RecordThroughRenderer(frame, aviPath), r = WritePlain(frame, rawPath);
        if (a < 0 || r < 0) {
            std::printf("*** a run failed (renderer %.3f s, plain %.3f s)\n", a, r);
            return 1;
        }
        bestAvi = a < bestAvi ? a : bestAvi;
        bestRaw = r < bestRaw ? r : bestRaw;
    }
    const double mb = static_cast<double>(kFrames) * kFrameBytes / 1e6;
    std::printf("AVI file renderer write throughput, %d frames of %ld bytes (%.0f MB), best of %d runs\n", kFrames,
                static_cast<long>(kFrameBytes), mb, kRuns);
    std::printf("  AVI file renderer (graph + AVIFile): %8.1f MB/s  %8.0f frames/s\n", mb / bestAvi,
                kFrames / bestAvi);
    std::printf("  plain WriteFile of the same bytes:   %8.1f MB/s\n", mb / bestRaw);
    std::printf("  renderer / plain write: %.2f\n", bestRaw / bestAvi);
    DeleteFileW(aviPath);
    DeleteFileW(rawPath);
    return 0;
}
