// The fault and session phases of the soak run.
#include "tools/V77Soak/SoakRun.h"

#include <cstdio>
#include <wrl/client.h>

#include "tools/V77Soak/SoakGraphs.h"
#include "v77/IV77Receivers.h"
#include "v77/IV77Sinks.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kStepMs = 20000;

}  // namespace

bool CSoakRun::Faults()
{
    bool ok = true;
    {
        // The camera stops and restarts under a running graph.
        CSoakGraph g;
        CSoakWatchdog::Step step(*m_pDog, "fault: camera stops and restarts", 60000);
        if (FAILED(BuildCamera(g, m_Sdp, false, nullptr)) || FAILED(g.Run())) {
            ++m_cFailures;
            return false;
        }
        const long before = g.PumpFor(2000);
        m_pCamera->Stop();
        g.PumpFor(1000);
        const long silent = g.PumpFor(2000);
        m_pCamera->Start(m_CameraCommand);
        long resumed = g.PumpFor(5000);
        long afterRestart = 0;
        if (resumed == 0) {
            // After the receiver reported the stream broken, the next Pause reopens it.
            g.Stop();
            g.Run();
            afterRestart = g.PumpFor(5000);
        }
        g.Release();
        std::printf("  camera stop/restart: %ld frames reported before, %ld while stopped, %ld after restart%s\n",
                    before, silent, resumed ? resumed : afterRestart,
                    resumed ? "" : " (after Stop and Run: the receiver had reported the stream broken)");
        if (before == 0 || resumed + afterRestart == 0) {
            ++m_cFailures;
            ok = false;
        }
    }
    {
        // The audio chain's far end closes its socket while samples flow.
        CSoakGraph g;
        SoakAudio audio;
        CSoakWatchdog::Step step(*m_pDog, "fault: audio socket closes", kStepMs);
        if (FAILED(BuildAudio(g, audio)) || FAILED(g.Run())) {
            ++m_cFailures;
            return false;
        }
        audio.Send(20);
        g.PumpFor(300);
        DWORD received = 0;
        audio.listener->GetStatistics(nullptr, &received, nullptr);
        audio.listener->Close();
        audio.Send(20);
        g.PumpFor(1000);
        const ULONGLONG stopStart = GetTickCount64();
        g.Release();
        std::printf("  audio socket closed: %lu frames received before the close, Stop and release took %llu ms\n",
                    received, GetTickCount64() - stopStart);
    }
    {
        // The live source's pool runs dry: the queue asks for more samples than the pool has.
        CSoakGraph g;
        CSoakWatchdog::Step step(*m_pDog, "fault: pool runs dry", kStepMs);
        if (FAILED(BuildLiveAvi(g, m_Options.avi, m_Windows[0], 12)) || FAILED(g.Run())) {
            ++m_cFailures;
            return false;
        }
        const long reports = g.PumpFor(3000);
        const ULONGLONG stopStart = GetTickCount64();
        g.Release();
        std::printf("  pool dry (queue of 12 over a pool of 8): %ld frames reported in 3 s, Stop and release took "
                    "%llu ms\n", reports, GetTickCount64() - stopStart);
    }
    {
        // The disk is full: the recording goes to /dev/full, where every write fails with ENOSPC.
        CSoakGraph g;
        ComPtr<IV77DsAviFileRenderer> file;
        CSoakWatchdog::Step step(*m_pDog, "fault: disk full", kStepMs);
        if (FAILED(BuildCamera(g, m_Sdp, true, &file))) {
            ++m_cFailures;
            return false;
        }
        const HRESULT named = file->SetFileName(L"Z:\\dev\\full", L"camera");
        const HRESULT ran = g.Run();
        const long reports = g.PumpFor(3000);
        const ULONGLONG stopStart = GetTickCount64();
        g.Release();
        std::printf("  disk full (/dev/full): SetFileName 0x%08lX, Run 0x%08lX, %ld frames reported, %ld aborts, "
                    "Stop and release took %llu ms\n", static_cast<unsigned long>(named),
                    static_cast<unsigned long>(ran), reports, g.Aborts(), GetTickCount64() - stopStart);
    }
    // The archive server dying under a TCP archive source needs the archive
    // server tool, which is not on this branch: the hook is here.
    std::printf("  archive server dies: NOT RUN (needs the TCP archive receiver and its server tool)\n");
    return ok;
}

bool CSoakRun::Session()
{
    const DWORD totalMs = static_cast<DWORD>(m_Options.minutes * 60000.0);
    CSoakGraph live, recording, playback;
    ComPtr<IV77DsAviFileRenderer> file;
    CV77PlaybackGroup group;
    const REFERENCE_TIME origin = StoreOrigin();
    {
        CSoakWatchdog::Step step(*m_pDog, "session: build and run", kStepMs);
        if (FAILED(BuildLiveAvi(live, m_Options.avi, m_Windows[0])) ||
            FAILED(BuildCamera(recording, m_Sdp, true, &file)) ||
            FAILED(file->SetFileName(RecordingName().c_str(), L"camera")) ||
            FAILED(BuildPlayback(playback, m_Options.store, m_Windows + 1, group)) || FAILED(live.Run()) ||
            FAILED(recording.Run()) || FAILED(playback.Run()) || FAILED(group.Start(origin)) ||
            FAILED(group.SetRate(1.0))) {
            ++m_cFailures;
            std::printf("  session: set-up failed\n");
            return false;
        }
    }
    long liveReports = 0, cameraReports = 0, segments = 1, restarts = 0, loops = 0;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastSegment = start, lastRestart = start, lastLoop = start;
    DWORD halfHandles = 0;
    for (ULONGLONG now = start; now - start < totalMs; now = GetTickCount64()) {
        if (!halfHandles && now - start >= totalMs / 2)
            halfHandles = SoakProbe::Take().handles;
        CSoakWatchdog::Step step(*m_pDog, "session: one second of the three graphs", kStepMs);
        liveReports += live.PumpFor(300);
        cameraReports += recording.PumpFor(300);
        playback.PumpFor(400);
        if (now - lastSegment >= 10000) {
            file->SetFileName(RecordingName().c_str(), L"camera");
            ++segments;
            lastSegment = now;
        }
        if (now - lastLoop >= 4000) {
            // The playback store is short: start it over.
            group.Seek(origin);
            ++loops;
            lastLoop = now;
        }
        if (now - lastRestart >= 60000) {
            m_pCamera->Stop();
            m_pCamera->Start(m_CameraCommand);
            ++restarts;
            lastRestart = now;
        }
    }
    const DWORD endHandles = SoakProbe::Take().handles;
    {
        CSoakWatchdog::Step step(*m_pDog, "session: stop and release", kStepMs);
        file->SetFileName(nullptr, nullptr);
        file.Reset();
        live.Release();
        recording.Release();
        playback.Release();
    }
    std::printf("  %.1f min: live AVI %ld frames reported, camera %ld, %ld segments recorded, %ld playback loops, "
                "%ld camera restarts\n", (GetTickCount64() - start) / 60000.0, liveReports, cameraReports, segments,
                loops, restarts);
    if (halfHandles) {
        std::printf("  handles %lu at half the session, %lu at its end (graphs running)\n", halfHandles, endHandles);
        NoteLateGrowth("session", halfHandles, endHandles, 0);
    }
    return true;
}
