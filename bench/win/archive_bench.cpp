// Archive playback: the store archive source (from the component DLL) ->
// buffer filter -> renderer drawing on arrival, against the recording index
// read straight from the AVI files in the same run:
//   seek latency: seek issued -> first frame of the new position delivered,
//     to a position the buffer holds and to one it does not; baseline: the
//     index's seek stretch read from the files up to that frame;
//   both with the store source, with the TCP source fed by the archive
//   server tool (started here on a free loopback port, ended by its handle)
//   and with the local source fed by the capture tool in archive mode;
//   throughput: frames/s of playback from the first to the last frame at
//     the highest of rates 8..128 that still delivers the whole recording,
//     the renderer drawing on arrival; baseline: every frame read from the files;
//   scale: synchronised views of the recording (each its own source and
//     buffer, one master) at rates 1 and 4, up to 16: how many keep every
//     view within one frame interval of the master, judged on the graph
//     clock, with how often and how long views were off and the CPU it took
//     ("archive_bench sync" measures only this).
// The store comes from bench/run-benchmarks (V77_BENCH_MEDIA\store, ffmpeg).
#include <winsock2.h>
#include <windows.h>
#include <strmif.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "companions/components/archive/CV77RecordingStore.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/GroupLag.h"
#include "tests/kit/TestGraph.h"
#include "tests/sources/ArchiveServerProcess.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr REFERENCE_TIME kOrigin = 133485408000000000LL;  // make-demo-store.sh
constexpr REFERENCE_TIME kFrameTime = 400000;
constexpr LONG kSegment = 10;
constexpr int kSeekRuns = 6;
constexpr int kThroughputRuns = 3;
constexpr DWORD kWaitMs = 10000;

REFERENCE_TIME T(int frame) { return kOrigin + frame * kFrameTime; }

double Seconds()
{
    static const LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int FrameOf(const RenderedSample& s)
{
    return s.mediaTimeValid ? static_cast<int>((s.mediaStart - kOrigin) / kFrameTime) : -1;
}

// The recording index read straight from the AVI files.
class DirectReader {
public:
    DirectReader() : m_Store([](const std::string&) {}) {}
    bool Open(const std::wstring& store) { return SUCCEEDED(m_Store.OpenFolder(store, &m_Index)); }
    int Frames() const { return static_cast<int>(m_Index.FrameCount()); }

    // Seconds to find the seek stretch of frame and read it up to that frame.
    double Seek(int frame)
    {
        const double t0 = Seconds();
        const V77Stretch stretch = m_Index.Seek(T(frame), kSegment);
        for (size_t i = stretch.first; i < stretch.first + stretch.count; ++i) {
            if (!Read(i) || m_Index.Frame(i).time >= T(frame))
                break;
        }
        return Seconds() - t0;
    }

    // Frames per second reading every frame in stretches.
    double Throughput()
    {
        const double t0 = Seconds();
        int read = 0;
        for (V77Stretch s = m_Index.Seek(T(0), kSegment); s.count; s = m_Index.Forward(s.next, kSegment)) {
            for (size_t i = s.first; i < s.first + s.count; ++i)
                read += Read(i) ? 1 : 0;
            if (!s.next)
                break;
        }
        return read / (Seconds() - t0);
    }

private:
    bool Read(size_t index)
    {
        LONG written = 0;
        m_Data.resize(m_Index.Frame(index).size);
        return SUCCEEDED(m_Store.Read(m_Index.Frame(index), m_Data.data(), static_cast<LONG>(m_Data.size()), &written));
    }

    CV77RecordingStore m_Store;
    CV77RecordingIndex m_Index;
    std::vector<BYTE> m_Data;
};

// Which archive source plays: its CLSID and its first source string.
struct SourceChoice {
    const char* name;
    const CLSID* clsid;
    std::wstring source1;
};

struct View {
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> buffer;
    ComPtr<CTestRenderer> renderer;
};

// views x (store source -> buffer -> renderer), the first buffer the master.
class ArchiveGraph {
public:
    bool Build(const SourceChoice& choice, int views)
    {
        if (FAILED(m_Graph.Create()))
            return false;
        ComPtr<IV77DsBufferMaster> master;
        for (int v = 0; v < views; ++v) {
            View view;
            ComPtr<IV77DsARCSource> archive;
            ComPtr<IV77DsBuffer> control;
            TestRendererConfig config;
            config.waitForSampleTime = false;
            config.bytesRecorded = 0;
            view.renderer = Adopt(CTestRenderer::Create(config));
            if (!view.renderer ||
                FAILED(CoCreateInstance(*choice.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                        reinterpret_cast<void**>(view.source.GetAddressOf()))) ||
                FAILED(CoCreateInstance(CLSID_V77DsBufferFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                        reinterpret_cast<void**>(view.buffer.GetAddressOf()))) ||
                FAILED(view.source.As(&archive)) || FAILED(view.buffer.As(&control)))
                return false;
            BSTR folder = SysAllocString(choice.source1.c_str());
            const HRESULT opened = archive->Open(folder, nullptr, FALSE, nullptr);
            SysFreeString(folder);
            const std::wstring n = std::to_wstring(v);
            if (FAILED(opened) || FAILED(control->CreateQueue(V77_QUEUE_FULL, kSegment, master.Get())) ||
                FAILED(control->SetTimeStep(kFrameTime)) || FAILED(m_Graph.Add(view.source.Get(), (L"s" + n).c_str())) ||
                FAILED(m_Graph.Add(view.buffer.Get(), (L"b" + n).c_str())) ||
                FAILED(m_Graph.Add(view.renderer->Filter(), (L"r" + n).c_str())) ||
                FAILED(m_Graph.ConnectFilters(view.source.Get(), view.buffer.Get())) ||
                FAILED(m_Graph.ConnectFilters(view.buffer.Get(), view.renderer->Filter())))
                return false;
            if (v == 0 && (FAILED(view.buffer.As(&master)) || FAILED(view.buffer.As(&m_Master))))
                return false;
            m_Views.push_back(view);
        }
        if (FAILED(m_Graph.Run()))
            return false;
        for (View& view : m_Views) {
            ComPtr<IMediaSeeking> seeking;
            REFERENCE_TIME start = T(0);
            if (FAILED(TestGraph::FindPin(view.source.Get(), PINDIR_OUTPUT).As(&seeking)) ||
                FAILED(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, 0)))
                return false;
        }
        return true;
    }

    ~ArchiveGraph()
    {
        m_Master.Reset();
        m_Graph.StopAndWait(kWaitMs);
    }

    HRESULT Seek(int frame)
    {
        REFERENCE_TIME position = T(frame);
        return m_Master->SetGroupPositions(&position, nullptr, nullptr);
    }
    HRESULT Rate(double rate) { return m_Master->SetGroupRate(rate); }
    CTestRenderer* Renderer(size_t v) { return m_Views[v].renderer.Get(); }
    size_t Views() const { return m_Views.size(); }

    int LastFrame(size_t v)
    {
        const std::vector<RenderedSample> samples = m_Views[v].renderer->Samples();
        return samples.empty() ? -1 : FrameOf(samples.back());
    }

    // Seconds from the seek call to the delivery of frame; negative when it never came.
    double SeekLatency(int frame)
    {
        CTestRenderer* renderer = Renderer(0);
        renderer->ClearSamples();
        const double t0 = Seconds();
        if (FAILED(Seek(frame)))
            return -1;
        while (Seconds() - t0 < kWaitMs / 1000.0) {
            for (const RenderedSample& s : renderer->Samples()) {
                if (FrameOf(s) == frame)
                    return Seconds() - t0;
            }
            Sleep(0);
        }
        std::string seen;
        const std::vector<RenderedSample> samples = renderer->Samples();
        for (size_t i = 0; i < samples.size() && i < 8; ++i)
            seen += " " + std::to_string(FrameOf(samples[i]));
        std::printf("  seek to %d: frames delivered after it:%s%s\n", frame, seen.empty() ? " none" : seen.c_str(),
                    samples.size() > 8 ? " ..." : "");
        return -1;
    }

private:
    TestGraph m_Graph;
    std::vector<View> m_Views;
    ComPtr<IV77DsBuffer> m_Master;
};

void PrintRatio(const char* what, double figure, double baseline, const char* unit, double scale)
{
    if (figure < 0 || baseline <= 0) {
        std::printf("  %-44s NOT MEASURED (a run failed)\n", what);
        return;
    }
    std::printf("  %-44s %10.3f %s, baseline %10.3f %s, ratio %.2f\n", what, figure * scale, unit, baseline * scale,
                unit, figure / baseline);
}

bool SeekFigures(const SourceChoice& store, DirectReader& direct)
{
    ArchiveGraph graph;
    if (!graph.Build(store, 1) || FAILED(graph.Seek(30)) || FAILED(graph.Rate(1.0)))
        return false;
    Sleep(500);
    // Outside: a position far from the three held segments; inside: five
    // frames back from where the last seek landed, still held.
    std::vector<double> inside, outside, directInside, directOutside;
    const int targets[2] = {300, 60};
    for (int run = 0; run < kSeekRuns; ++run) {
        const int target = targets[run % 2];
        outside.push_back(graph.SeekLatency(target));
        Sleep(400);
        inside.push_back(graph.SeekLatency(target + 5));
        Sleep(400);
        directOutside.push_back(direct.Seek(target));
        directInside.push_back(direct.Seek(target + 5));
    }
    // A seek whose frame never came is counted, not timed.
    const auto delivered = [](std::vector<double> v, int* missed) {
        const auto end = std::remove_if(v.begin(), v.end(), [](double s) { return s < 0; });
        *missed = static_cast<int>(v.end() - end);
        v.erase(end, v.end());
        return v;
    };
    int missedInside = 0, missedOutside = 0;
    inside = delivered(inside, &missedInside);
    outside = delivered(outside, &missedOutside);
    if (missedInside || missedOutside)
        std::printf("  seeks whose frame never came within %lu s: %d of %d held, %d of %d not held\n",
                    static_cast<unsigned long>(kWaitMs / 1000), missedInside, kSeekRuns, missedOutside, kSeekRuns);
    PrintRatio("seek latency, position held by the buffer", Median(inside), Median(directInside), "ms", 1000);
    PrintRatio("seek latency, position not held", Median(outside), Median(directOutside), "ms", 1000);
    return !inside.empty() && !outside.empty();
}

// Frames/s of playback from frame 0 to the end at rate; negative when it stalled.
double PlayThrough(const SourceChoice& store, int frames, double rate, int* delivered)
{
    ArchiveGraph graph;
    if (!graph.Build(store, 1) || FAILED(graph.Seek(0)))
        return -1;
    Sleep(300);
    graph.Renderer(0)->ClearSamples();
    const double t0 = Seconds();
    if (FAILED(graph.Rate(rate)))
        return -1;
    while (graph.LastFrame(0) < frames - 1 && Seconds() - t0 < kWaitMs / 1000.0)
        Sleep(1);
    const double elapsed = Seconds() - t0;
    *delivered = static_cast<int>(graph.Renderer(0)->SampleCount());
    if (graph.LastFrame(0) < frames - 1) {
        std::printf("  rate %g: stalled at frame %d after %d frames in %.1f s\n", rate, graph.LastFrame(0), *delivered,
                    elapsed);
        return -1;
    }
    return *delivered / elapsed;
}

bool ThroughputFigures(const SourceChoice& store, DirectReader& direct)
{
    // The highest rate that still plays the whole recording.
    double best = -1;
    double bestRate = 0;
    int delivered = 0;
    for (double rate : {8.0, 16.0, 32.0, 64.0, 128.0}) {
        std::vector<double> played;
        int got = 0;
        for (int run = 0; run < kThroughputRuns; ++run) {
            const double fps = PlayThrough(store, direct.Frames(), rate, &got);
            if (fps < 0)
                break;
            played.push_back(fps);
        }
        if (played.size() < static_cast<size_t>(kThroughputRuns))
            break;
        best = Median(played);
        bestRate = rate;
        delivered = got;
    }
    std::vector<double> read;
    for (int run = 0; run < kThroughputRuns; ++run)
        read.push_back(direct.Throughput());
    std::printf("  highest rate playing every frame: %g (%d of %d frames delivered)\n", bestRate, delivered,
                direct.Frames());
    PrintRatio("playback at that rate, frames/s", best, Median(read), "f/s", 1);
    return best > 0;
}

// 100-ns units of a FILETIME pair's sum.
ULONGLONG Ticks(const FILETIME& a, const FILETIME& b = FILETIME{})
{
    const auto value = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return value(a) + value(b);
}

// CPU time of this process and of the whole machine (busy, total), in 100 ns.
struct CpuTimes {
    ULONGLONG process = 0;
    ULONGLONG busy = 0;
    ULONGLONG total = 0;
    static CpuTimes Now()
    {
        CpuTimes t;
        FILETIME created, exited, kernel, user, idle;
        if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
            t.process = Ticks(kernel, user);
        if (GetSystemTimes(&idle, &kernel, &user)) {
            t.total = Ticks(kernel, user);  // kernel time includes idle time
            t.busy = t.total - Ticks(idle);
        }
        return t;
    }
};

// How a group of views kept with its master, judged on the graph clock.
struct SyncFigures {
    int slaves = 0;
    int inStep = 0;            // slaves whose median difference is within one frame
    int worstMedian = 0;
    size_t instants = 0;       // (slave, master frame) pairs
    size_t within = 0;         // ... within one frame
    size_t offBy2 = 0;         // ... off by 2
    size_t offMore = 0;        // ... off by 3 or more (or nothing shown yet)
    size_t offAtEdge = 0;      // off by 2 or more at a segment's first two frames
    int longestOff = 0;        // longest run of a slave's instants off by 2 or more
    int sampledWorst = 0;      // the old figure: the bench thread reading renderers in turn
    double cpuPerFrameUs = 0;  // this process's CPU time per frame delivered (all views)
    double processCores = 0;   // ... in cores busy
    double machineBusy = 0;    // share of all cores busy on the machine
};

// Plays views at rate and measures, over 2 s, each slave against the master:
// for every frame the master drew, the frame the slave showed at that instant
// of the graph clock (GroupLag), so that the bench thread's own lateness in
// reading 16 renderers on a loaded machine does not count. False when the
// graph did not play.
bool MeasureSync(const SourceChoice& store, int views, double rate, SyncFigures* f)
{
    ArchiveGraph graph;
    if (!graph.Build(store, views) || FAILED(graph.Seek(0)) || FAILED(graph.Rate(rate)))
        return false;
    // Every view has begun to play before the views are compared.
    for (int wait = 0; wait < 100; ++wait) {
        bool all = true;
        for (size_t v = 0; v < graph.Views(); ++v)
            all = all && graph.LastFrame(v) >= 0;
        if (all)
            break;
        Sleep(50);
    }
    Sleep(300);
    const size_t first = graph.Renderer(0)->SampleCount();
    std::vector<size_t> counts;
    for (size_t v = 0; v < graph.Views(); ++v)
        counts.push_back(graph.Renderer(v)->SampleCount());
    const CpuTimes cpu0 = CpuTimes::Now();
    const double t0 = Seconds();
    for (int i = 0; i < 40; ++i) {
        Sleep(50);
        const int master = graph.LastFrame(0);
        for (size_t v = 1; v < graph.Views(); ++v)
            f->sampledWorst = std::max(f->sampledWorst, std::abs(graph.LastFrame(v) - master));
    }
    const CpuTimes cpu1 = CpuTimes::Now();
    const double seconds = Seconds() - t0;
    size_t frames = 0;
    for (size_t v = 0; v < graph.Views(); ++v)
        frames += graph.Renderer(v)->SampleCount() - counts[v];
    std::vector<RenderedSample> master = graph.Renderer(0)->Samples();
    if (master.size() <= first)
        return false;
    master.erase(master.begin(), master.begin() + static_cast<std::ptrdiff_t>(first));
    for (size_t v = 1; v < graph.Views(); ++v) {
        const GroupLag lag = LagBehindMaster(master, graph.Renderer(v)->Samples(), 0, FrameOf);
        ++f->slaves;
        f->inStep += std::abs(lag.Median()) <= 1 ? 1 : 0;
        f->worstMedian = std::max(f->worstMedian, std::abs(lag.Median()));
        int run = 0;
        for (size_t i = 0; i < lag.differences.size(); ++i) {
            const int off = std::abs(lag.differences[i]);
            ++f->instants;
            f->within += off <= 1 ? 1 : 0;
            f->offBy2 += off == 2 ? 1 : 0;
            f->offMore += off > 2 ? 1 : 0;
            f->offAtEdge += off >= 2 && FrameOf(master[i]) % kSegment < 2 ? 1 : 0;
            run = off >= 2 ? run + 1 : 0;
            f->longestOff = std::max(f->longestOff, run);
        }
    }
    f->cpuPerFrameUs = frames ? (cpu1.process - cpu0.process) / 10.0 / frames : 0;
    f->processCores = (cpu1.process - cpu0.process) / 1e7 / seconds;
    f->machineBusy = cpu1.total > cpu0.total ? double(cpu1.busy - cpu0.busy) / double(cpu1.total - cpu0.total) : 0;
    return true;
}

std::string Percent(size_t part, size_t whole)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", whole ? 100.0 * part / whole : 0.0);
    return text;
}

void ScaleFigures(const SourceChoice& store)
{
    const int counts[] = {1, 2, 4, 8, 12, 16};
    std::printf("  each slave against the master at every frame the master drew for 2 s (graph clock);\n"
                "  a view is in step when its median difference is within one frame\n");
    for (double rate : {1.0, 4.0}) {
        int best = 0;
        bool broken = false;
        for (int views : counts) {
            SyncFigures f;
            if (!MeasureSync(store, views, rate, &f)) {
                std::printf("  rate %.0f, %2d views: the graph did not play\n", rate, views);
                break;
            }
            const size_t off = f.offBy2 + f.offMore;
            std::printf("  rate %.0f, %2d views: %2d of %2d slaves in step (worst median %d); instants within one "
                        "frame %s, off by 2 %s, by more %s, longest run off %d frames, %s of the off instants "
                        "at a segment's first two frames; the bench thread's samples: worst %d; CPU %.0f us a "
                        "frame, this process %.2f cores, machine %.0f%% busy\n",
                        rate, views, f.inStep, f.slaves, f.worstMedian, Percent(f.within, f.instants).c_str(),
                        Percent(f.offBy2, f.instants).c_str(), Percent(f.offMore, f.instants).c_str(), f.longestOff,
                        Percent(f.offAtEdge, off).c_str(), f.sampledWorst, f.cpuPerFrameUs, f.processCores,
                        100 * f.machineBusy);
            // Every count up to this one in step (the larger ones are still measured).
            if (f.inStep == f.slaves && !broken)
                best = views;
            broken = broken || f.inStep != f.slaves;
        }
        std::printf("  rate %.0f: %2d of 16 views keep within one frame of the master\n", rate, best);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // "sync": only the synchronised views.
    const bool syncOnly = argc > 1 && std::string(argv[1]) == "sync";
    CComInit com;
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(com.Result()) || !GetEnvironmentVariableW(L"V77_BENCH_MEDIA", folder, MAX_PATH)) {
        std::printf("archive_bench: needs COM and V77_BENCH_MEDIA (the folder holding the benchmark store)\n");
        return 1;
    }
    std::wstring store = std::wstring(folder) + L"\\store";
    for (wchar_t& c : store) {
        if (c == L'/')
            c = L'\\';
    }
    DirectReader direct;
    if (!direct.Open(store)) {
        std::printf("archive_bench: no store at V77_BENCH_MEDIA\\store\n");
        return 1;
    }
    std::printf("archive_bench: archive source -> buffer -> renderer on arrival, %d frames of 160x120 YUY2;\n"
                "baseline: the recording index read straight from the AVI files (same run)\n",
                direct.Frames());
    ArchiveServerProcess server;
    const bool served = server.Start(store);
    ArchiveServerProcess capture;
    const std::wstring captureName = L"archive-bench-" + std::to_wstring(GetCurrentProcessId());
    const bool captured = capture.StartCapture(store, captureName);
    const SourceChoice choices[] = {{"store source", &CLSID_V77DsARCSource, store},
                                    {"TCP source and archive server", &CLSID_V77DsARCSourceTcp, server.Address()},
                                    {"local source and capture tool", &CLSID_V77DsARCLocalSource, captureName}};
    int rc = 0;
    for (const SourceChoice& choice : choices) {
        if (syncOnly)
            break;
        std::printf("%s:\n", choice.name);
        if ((choice.clsid == &CLSID_V77DsARCSourceTcp && !served) ||
            (choice.clsid == &CLSID_V77DsARCLocalSource && !captured)) {
            std::printf("  its server tool did not start\n");
            rc = 1;
            continue;
        }
        if (!SeekFigures(choice, direct)) {
            std::printf("  seek latency: a graph failed to run\n");
            rc = 1;
        }
        if (!ThroughputFigures(choice, direct)) {
            std::printf("  throughput: a graph failed to run\n");
            rc = 1;
        }
    }
    std::printf("synchronised views (store sources):\n");
    ScaleFigures(choices[0]);
    return rc;
}
