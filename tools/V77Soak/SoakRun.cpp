#include "tools/V77Soak/SoakRun.h"

#include <winsock2.h>
#include <cstdio>
#include <string>
#include <wrl/client.h>

#include "companions/components/recording/V77StoreNaming.h"
#include "tools/V77Soak/SoakGraphs.h"
#include "tools/common/V77Loopback.h"
#include "v77/IV77Sinks.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kStepMs = 20000;     // any single call or state change
constexpr int kRebuildEvery = 100;
constexpr DWORD kSessionSegmentMs = 10000;
constexpr DWORD kCameraRestartMs = 60000;
constexpr long kHandleSlack = 16;    // Wine's own lazily created handles
constexpr long kLateSlack = 4;       // handle count noise between two marks
constexpr int kBareGraphs = 20;
constexpr int kBareLaunches = 10;
constexpr double kMemorySlackMb = 16;

const wchar_t kWindowClass[] = L"V77SoakView";

}  // namespace

CSoakRun::CSoakRun(const SoakOptions& options) : m_Options(options)
{
    m_pDog.reset(new CSoakWatchdog([this] {
        if (m_pCamera)
            m_pCamera->Stop();
    }));
}

CSoakRun::~CSoakRun()
{
    m_pCamera.reset();
    for (HWND w : m_Windows) {
        if (w)
            DestroyWindow(w);
    }
    m_pDog.reset();
}

bool CSoakRun::StartCamera()
{
    CSoakWatchdog::Step step(*m_pDog, "start the ffmpeg camera", kStepMs);
    const std::string sdp = m_Options.work + "/soak-camera.sdp";
    m_Sdp = CV77UnixProcess::WinePath(sdp);
    CV77UnixProcess::Run(m_Options.work, "rm -f " + sdp);
    m_CameraCommand = "ffmpeg -nostdin -v error -re -stream_loop -1 -i " + m_Options.camera +
                      " -map 0:v:0 -c copy -f rtp -sdp_file " + sdp + " rtp://127.0.0.1:" +
                      std::to_string(V77FreeLoopbackPort(SOCK_DGRAM));
    m_pCamera.reset(new CV77UnixProcess(m_Options.work, "soak-camera"));
    if (!m_pCamera->Start(m_CameraCommand))
        return false;
    for (int i = 0; i < 200; ++i) {
        if (CV77UnixProcess::Read(sdp).find("a=fmtp") != std::string::npos)
            return true;
        Sleep(50);
    }
    std::printf("  the camera wrote no SDP: %s\n", CV77UnixProcess::Read(m_pCamera->File(".log")).c_str());
    return false;
}

bool CSoakRun::CreateWindows()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    for (int i = 0; i < 4; ++i) {
        m_Windows[i] = CreateWindowExW(0, kWindowClass, L"V77Soak", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 170 * i, 0, 170,
                                       140, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!m_Windows[i])
            return false;
    }
    return true;
}

bool CSoakRun::Once(const char* name, const Builder& build, DWORD runMs, const Action& whileRunning)
{
    CSoakGraph g;
    HRESULT hr = E_FAIL;
    {
        CSoakWatchdog::Step step(*m_pDog, std::string(name) + ": build", kStepMs);
        hr = build(g);
    }
    if (SUCCEEDED(hr)) {
        CSoakWatchdog::Step step(*m_pDog, std::string(name) + ": run", kStepMs + runMs);
        hr = g.Run();
        if (SUCCEEDED(hr)) {
            if (whileRunning)
                whileRunning(g);
            else
                g.PumpFor(runMs);
        }
    }
    {
        CSoakWatchdog::Step step(*m_pDog, std::string(name) + ": stop and release", kStepMs);
        g.Release();
    }
    if (FAILED(hr)) {
        std::printf("  %s: 0x%08lX\n", name, static_cast<unsigned long>(hr));
        ++m_cFailures;
    }
    return SUCCEEDED(hr);
}

bool CSoakRun::Cycles(const char* name, const Builder& build, const Action& afterRun)
{
    const ULONGLONG start = GetTickCount64();
    CSoakGraph g;
    long reports = 0;
    int failed = 0;
    const int half = m_Options.cycles / 2;
    DWORD halfHandles = 0, endHandles = 0;
    PlatformMark halfMark = {};
    const DWORD startHandles = SoakProbe::Take().handles;
    for (int cycle = 0; cycle < m_Options.cycles; ++cycle) {
        const std::string label = std::string(name) + " cycle " + std::to_string(cycle);
        if (cycle % kRebuildEvery == 0) {
            CSoakWatchdog::Step step(*m_pDog, label + ": rebuild", kStepMs);
            g.Release();
            if (FAILED(build(g))) {
                ++failed;
                break;
            }
        }
        {
            CSoakWatchdog::Step step(*m_pDog, label + ": Run", kStepMs);
            if (FAILED(g.Run()))
                ++failed;
            if (afterRun)
                afterRun(g);
            reports += g.PumpFor(15);
        }
        CSoakWatchdog::Step step(*m_pDog, label + ": Stop", kStepMs);
        if (FAILED(g.Stop()))
            ++failed;
        // Both marks on a stopped graph that is still built: like for like.
        if (cycle == half - 1) {
            halfHandles = SoakProbe::Take().handles;
            halfMark = Mark();
        }
        if (cycle == m_Options.cycles - 1)
            endHandles = SoakProbe::Take().handles;
    }
    const long latePlatform = PlatformHandlesSince(halfMark);
    {
        CSoakWatchdog::Step step(*m_pDog, std::string(name) + ": release", kStepMs);
        g.Release();
    }
    const double seconds = (GetTickCount64() - start) / 1000.0;
    std::printf("  %-10s %5d Run/Stop cycles in %6.1f s (%5.1f/s), %ld media-time reports, %d failed calls\n", name,
                m_Options.cycles, seconds, m_Options.cycles / seconds, reports, failed);
    std::printf("  %-10s handles %lu at the start, %lu at half, %lu at the end, %lu after release\n", "",
                startHandles, halfHandles, endHandles, SoakProbe::Take().handles);
    if (half > 0)
        NoteLateGrowth(name, halfHandles, endHandles, latePlatform);
    m_cFailures += failed;
    return failed == 0;
}

CSoakRun::PlatformMark CSoakRun::Mark()
{
    return PlatformMark{CSoakGraph::GraphsCreated(), CV77UnixProcess::Launches()};
}

long CSoakRun::PlatformHandlesSince(const PlatformMark& mark) const
{
    const PlatformMark now = Mark();
    return static_cast<long>((now.graphs - mark.graphs) * m_HandlesPerGraph +
                             (now.launches - mark.launches) * m_HandlesPerLaunch + 0.5);
}

void CSoakRun::NoteLateGrowth(const std::string& phase, DWORD half, DWORD end, long platformHandles)
{
    const long growth = static_cast<long>(end) - static_cast<long>(half) - platformHandles;
    if (m_LateGrowthPhase.empty() || growth > m_MaxLateGrowth) {
        m_MaxLateGrowth = growth;
        m_LateGrowthPhase = phase;
    }
}

void CSoakRun::MeasurePlatformCosts()
{
    const DWORD start = SoakProbe::Take().handles;
    for (int i = 0; i < kBareGraphs; ++i) {
        CSoakGraph g;
        g.Create();
        g.Release();
    }
    const long grown = static_cast<long>(SoakProbe::Take().handles) - static_cast<long>(start);
    m_HandlesPerGraph = grown > 0 ? static_cast<double>(grown) / kBareGraphs : 0;
    std::printf("graph manager alone: %+ld handles over %d bare graphs created and released (%.2f per graph)\n",
                grown, kBareGraphs, m_HandlesPerGraph);
    const DWORD beforeLaunches = SoakProbe::Take().handles;
    for (int i = 0; i < kBareLaunches; ++i)
        CV77UnixProcess::Run(m_Options.work, "true", 15000);
    const long launched = static_cast<long>(SoakProbe::Take().handles) - static_cast<long>(beforeLaunches);
    m_HandlesPerLaunch = launched > 0 ? static_cast<double>(launched) / kBareLaunches : 0;
    std::printf("Unix programs alone: %+ld handles over %d launches (%.2f per launch)\n", launched, kBareLaunches,
                m_HandlesPerLaunch);
}

REFERENCE_TIME CSoakRun::StoreOrigin() const
{
    return CV77PlaybackGroup::StoreStart(m_Options.store);
}

std::wstring CSoakRun::RecordingName() const
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const REFERENCE_TIME t = (static_cast<REFERENCE_TIME>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const std::string name = SegmentName(t);
    return CV77UnixProcess::WinePath(m_Options.work + "/soak-store/" + name);
}

int CSoakRun::Execute()
{
    if (m_Options.watchdogTest) {
        CSoakWatchdog::Step step(*m_pDog, "watchdog test: a wait nobody ends", 1000);
        HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WaitForSingleObject(never, 30000);
        CloseHandle(never);
        std::printf("soak: the watchdog did not end the stuck step\n");
        return 1;
    }
    std::printf("V77Soak: %d cycles per graph, a %.1f-minute session\n", m_Options.cycles, m_Options.minutes);
    if (!CreateWindows() || !StartCamera()) {
        std::printf("soak: set-up failed\n");
        return 1;
    }
    CV77UnixProcess::Run(m_Options.work, "rm -rf " + m_Options.work + "/soak-store && mkdir -p " + m_Options.work +
                                              "/soak-store");
    const REFERENCE_TIME origin = StoreOrigin();
    const Builder liveAvi = [&](CSoakGraph& g) { return BuildLiveAvi(g, m_Options.avi, m_Windows[0]); };
    const Builder camera = [&](CSoakGraph& g) { return BuildCamera(g, m_Sdp, false, nullptr); };
    ComPtr<IV77DsAviFileRenderer> recorder;
    const Builder record = [&](CSoakGraph& g) {
        const HRESULT hr = BuildCamera(g, m_Sdp, true, &recorder);
        return SUCCEEDED(hr) ? recorder->SetFileName(RecordingName().c_str(), L"camera") : hr;
    };
    CV77PlaybackGroup* group = nullptr;
    std::unique_ptr<CV77PlaybackGroup> groupHolder;
    const Builder playback = [&](CSoakGraph& g) {
        groupHolder.reset(new CV77PlaybackGroup);
        group = groupHolder.get();
        return BuildPlayback(g, m_Options.store, m_Windows + 1, *group);
    };
    const Action startPlayback = [&](CSoakGraph&) {
        if (group && SUCCEEDED(group->Start(origin)))
            group->SetRate(1.0);
    };
    SoakAudio audio;
    const Builder audioChain = [&](CSoakGraph& g) { return BuildAudio(g, audio); };
    const Action sendAudio = [&](CSoakGraph&) { audio.Send(3); };

    // One pass of each graph first: what loading the DLLs and Wine's first
    // use cost is not a leak.
    std::printf("warm-up:\n");
    Once("live AVI", liveAvi, 500);
    Once("live RTP", camera, 500);
    Once("record", record, 500);
    Once("playback", playback, 500, [&](CSoakGraph& g) { startPlayback(g); g.PumpFor(500); });
    Once("audio", audioChain, 300, [&](CSoakGraph& g) { sendAudio(g); g.PumpFor(300); });
    groupHolder.reset();
    recorder.Reset();
    audio.listener.Reset();
    MeasurePlatformCosts();
    const PlatformMark markBefore = Mark();
    const SoakProbe before = SoakProbe::Take();
    std::printf("start: %s\n", before.Text().c_str());

    const auto wanted = [&](const char* key) { return m_Options.only.empty() || m_Options.only == key; };
    std::printf("cycles:\n");
    if (wanted("avi"))
        Cycles("live AVI", liveAvi);
    if (wanted("rtp"))
        Cycles("live RTP", camera);
    if (wanted("record"))
        Cycles("record", record);
    if (wanted("playback"))
        Cycles("playback", playback, startPlayback);
    if (wanted("audio"))
        Cycles("audio", audioChain, sendAudio);
    groupHolder.reset();
    recorder.Reset();
    audio.listener.Reset();
    std::printf("  after the cycles: %s\n", SoakProbe::Take().Text().c_str());
    if (m_Options.only.empty()) {
        std::printf("faults:\n");
        Faults();
        std::printf("  after the faults: %s\n", SoakProbe::Take().Text().c_str());
        std::printf("session:\n");
        Session();
        groupHolder.reset();
        recorder.Reset();
    }

    const SoakProbe after = SoakProbe::Take();
    std::printf("end:   %s\n", after.Text().c_str());
    const long handleDelta = static_cast<long>(after.handles) - static_cast<long>(before.handles);
    const long graphs = CSoakGraph::GraphsCreated() - markBefore.graphs;
    const long launches = CV77UnixProcess::Launches() - markBefore.launches;
    const long platformHandles = PlatformHandlesSince(markBefore);
    const double memoryDelta = (static_cast<double>(after.privateBytes) - before.privateBytes) / 1048576.0;
    // DllCanUnloadNow only says whether any object is alive: the end must
    // hold no more than the start (after the warm-up) did.
    const bool objectsGone = (after.moduleObjects == S_OK || before.moduleObjects != S_OK) &&
                             (after.componentObjects == S_OK || before.componentObjects != S_OK);
    // A leak per cycle shows as growth over the last half of a phase; what
    // levels off (Wine's first use of a thread pool or socket) does not. The
    // graph manager's own handle per graph is allowed at the rate measured.
    const bool lateFlat = m_MaxLateGrowth <= kLateSlack;
    const bool flat = handleDelta - platformHandles <= kHandleSlack && lateFlat && memoryDelta <= kMemorySlackMb &&
                      objectsGone;
    std::printf("deltas: handles %+ld, of which %ld are the platform's for %ld graphs and %ld Unix launches "
                "(allowed %ld beyond), private memory %+.1f MB (allowed %.0f), live objects %s\n", handleDelta,
                platformHandles, graphs, launches, kHandleSlack, memoryDelta, kMemorySlackMb, objectsGone ? "as at the start" : "LEFT");
    if (!m_LateGrowthPhase.empty())
        std::printf("last half: handles %+ld beyond the platform's in %s, the worst phase (allowed %ld)\n",
                    m_MaxLateGrowth, m_LateGrowthPhase.c_str(), kLateSlack);
    std::printf("soak: %s, %d failed steps\n", flat ? "FLAT" : "NOT FLAT", m_cFailures);
    m_pCamera.reset();
    return flat && m_cFailures == 0 ? 0 : 1;
}
