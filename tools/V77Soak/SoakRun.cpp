#include "tools/V77Soak/SoakRun.h"

#include <winsock2.h>
#include <cstdio>
#include <string>
#include <wrl/client.h>

#include "companions/components/recording/V77StoreNaming.h"
#include "tools/V77Soak/SoakGraphs.h"
#include "v77/IV77Sinks.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kStepMs = 20000;     // any single call or state change
constexpr int kRebuildEvery = 100;
constexpr DWORD kSessionSegmentMs = 10000;
constexpr DWORD kCameraRestartMs = 60000;
constexpr long kHandleSlack = 16;    // Wine's own lazily created handles
constexpr double kMemorySlackMb = 16;

const wchar_t kWindowClass[] = L"V77SoakView";

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

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
                      std::to_string(FreeLoopbackPort(SOCK_DGRAM));
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
    }
    {
        CSoakWatchdog::Step step(*m_pDog, std::string(name) + ": release", kStepMs);
        g.Release();
    }
    const double seconds = (GetTickCount64() - start) / 1000.0;
    std::printf("  %-10s %5d Run/Stop cycles in %6.1f s (%5.1f/s), %ld media-time reports, %d failed calls\n", name,
                m_Options.cycles, seconds, m_Options.cycles / seconds, reports, failed);
    m_cFailures += failed;
    return failed == 0;
}

REFERENCE_TIME CSoakRun::StoreOrigin() const
{
    REFERENCE_TIME first = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((m_Options.store + L"\\*.avi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const auto time = ParseSegmentName(Narrow(found.cFileName));
        if (time && (first == 0 || *time < first))
            first = *time;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return first;
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
    const SoakProbe before = SoakProbe::Take();
    std::printf("start: %s\n", before.Text().c_str());

    std::printf("cycles:\n");
    Cycles("live AVI", liveAvi);
    Cycles("live RTP", camera);
    Cycles("record", record);
    Cycles("playback", playback, startPlayback);
    Cycles("audio", audioChain, sendAudio);
    groupHolder.reset();
    recorder.Reset();
    std::printf("  after the cycles: %s\n", SoakProbe::Take().Text().c_str());
    std::printf("faults:\n");
    Faults();
    std::printf("  after the faults: %s\n", SoakProbe::Take().Text().c_str());
    std::printf("session:\n");
    Session();
    groupHolder.reset();
    recorder.Reset();

    const SoakProbe after = SoakProbe::Take();
    std::printf("end:   %s\n", after.Text().c_str());
    const long handleDelta = static_cast<long>(after.handles) - static_cast<long>(before.handles);
    const double memoryDelta = (static_cast<double>(after.privateBytes) - before.privateBytes) / 1048576.0;
    // DllCanUnloadNow only says whether any object is alive: the end must
    // hold no more than the start (after the warm-up) did.
    const bool objectsGone = (after.moduleObjects == S_OK || before.moduleObjects != S_OK) &&
                             (after.componentObjects == S_OK || before.componentObjects != S_OK);
    const bool flat = handleDelta <= kHandleSlack && memoryDelta <= kMemorySlackMb && objectsGone;
    std::printf("deltas: handles %+ld (allowed %ld), private memory %+.1f MB (allowed %.0f), live objects %s\n",
                handleDelta, kHandleSlack, memoryDelta, kMemorySlackMb, objectsGone ? "as at the start" : "LEFT");
    std::printf("soak: %s, %d failed steps\n", flat ? "FLAT" : "NOT FLAT", m_cFailures);
    m_pCamera.reset();
    return flat && m_cFailures == 0 ? 0 : 1;
}
