// The DirectDraw renderer against the GDI renderer, per 1080p frame, in the
// same run: each renderer from the module shows a 1920x1080 picture in a real
// window under the display; a frame is pushed on the window's thread and the
// thread's messages are run until the renderer's repaint and the window's
// paint are done, so the figure covers copy or convert, compose and present.
// Input is each renderer's screen-ready RGB: RGB32 for DirectDraw (the only
// type it offers on a 32-bit display), RGB24 for GDI. Prints milliseconds per
// frame (median of runs) and the ratio DirectDraw / GDI.
#include <windows.h>
#include <strmif.h>
#include <uuids.h>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <wrl/client.h>

#include "tests/ddraw/DdrawTestSupport.h"
#include "tests/display/CTestFrameSource.h"
#include "tests/display/CTestVideoWindow.h"
#include "tests/display/TestPicture.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77DxRenderer.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kWidth = 1920, kHeight = 1080;
constexpr int kWarmFrames = 5;
constexpr int kFrames = 40;
constexpr int kRuns = 5;

struct Path {
    const char* name;
    const CLSID* clsid;
    const GUID* subtype;
    bool topDown;
};

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds per frame of one run, or a negative value when the path failed.
double MeasureRun(const Path& path, const std::vector<BYTE> frames[2])
{
    CTestVideoWindow window(kWidth, kHeight);
    ComPtr<IBaseFilter> renderer;
    ComPtr<IV77DxRenderer> dx;
    if (FAILED(CoCreateInstance(*path.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(renderer.GetAddressOf()))) ||
        FAILED(renderer.As(&dx)) || FAILED(dx->SetWindow(window.Handle())))
        return -1;
    double perFrame = -1;
    {
        TestGraph graph;
        ComPtr<CTestFrameSource> source = Adopt(CTestFrameSource::Create(MakeAnyType(*path.subtype, kWidth, kHeight, path.topDown)));
        if (SUCCEEDED(graph.Create()) && source && SUCCEEDED(source->RunInto(graph, renderer.Get(), L"renderer")) &&
            SUCCEEDED(source->Pin()->Push(frames[0]))) {
            window.PumpUntil(
                [&] {
                    OAFilterState state = State_Stopped;
                    return graph.GetState(10, &state) == S_OK && state == State_Running;
                },
                5000);
            for (int i = 0; i < kWarmFrames; ++i) {
                source->Pin()->Push(frames[i % 2]);
                window.Pump();
            }
            int rendered = 0;
            const double start = NowMs();
            for (int i = 0; i < kFrames; ++i) {
                if (FAILED(source->Pin()->Push(frames[i % 2])))
                    break;
                // The repaint message and the paint it leads to.
                rendered += window.Pump();
            }
            const double elapsed = NowMs() - start;
            if (rendered == kFrames)
                perFrame = elapsed / kFrames;
            else
                std::printf("  %s: %d of %d frames rendered\n", path.name, rendered, kFrames);
        }
        graph.StopAndWait();
    }
    dx->SetWindow(nullptr);
    window.Pump();
    return perFrame;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    CComInit com;
    if (FAILED(com.Result()))
        return 1;
    const Path paths[] = {{"DirectDraw renderer, RGB32", &CLSID_V77DxRenderer, &MEDIASUBTYPE_RGB32, false},
                          {"DirectDraw renderer, RGB32 top-down", &CLSID_V77DxRenderer, &MEDIASUBTYPE_RGB32, true},
                          {"GDI renderer, RGB24", &CLSID_V77WindowsRenderer, &MEDIASUBTYPE_RGB24, false}};
    const TestPicture a = NaturalPicture(kWidth, kHeight);
    TestPicture b = a;
    for (Rgb& c : b.pixels)
        c = Rgb{c.b, c.r, c.g};
    std::printf("Renderer cost per %ldx%ld frame (copy or convert + compose + present), %d frames x %d runs\n",
                static_cast<long>(kWidth), static_cast<long>(kHeight), kFrames, kRuns);
    double figures[3] = {};
    for (int p = 0; p < 3; ++p) {
        const std::vector<BYTE> frames[2] = {EncodeAny(a, *paths[p].subtype, paths[p].topDown), EncodeAny(b, *paths[p].subtype, paths[p].topDown)};
        std::vector<double> runs;
        for (int r = 0; r < kRuns; ++r) {
            const double ms = MeasureRun(paths[p], frames);
            if (ms < 0) {
                std::printf("  %s: run failed\n", paths[p].name);
                return 1;
            }
            runs.push_back(ms);
        }
        figures[p] = Median(runs);
        std::printf("  %-36s %8.2f ms/frame (median; runs %.2f .. %.2f)\n", paths[p].name, figures[p],
                    *std::min_element(runs.begin(), runs.end()), *std::max_element(runs.begin(), runs.end()));
    }
    std::printf("  ratio DirectDraw / GDI (baseline, same run): %.2f bottom-up, %.2f top-down\n", figures[0] / figures[2],
                figures[1] / figures[2]);
    return 0;
}
