// The fault and session phases of the soak run.
#include "tools/V77Soak/SoakRun.h"

#include <cstdio>
#include <wrl/client.h>

#include "tests/sources/ArchiveServerProcess.h"
#include "tools/V77Soak/SoakGraphs.h"
#include "v77/IV77DsBuffer.h"
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
    return ArchiveServerDies() && ok;
}

namespace {

// The group master's play position (file time), 0 when it has none.
REFERENCE_TIME PlayPosition(const CV77PlaybackGroup& group)
{
    ComPtr<IV77DsBufferMaster> master;
    REFERENCE_TIME position = 0;
    if (group.Views() && SUCCEEDED(group.Buffer(0)->QueryInterface(__uuidof(IV77DsBufferMaster),
                                                                   reinterpret_cast<void**>(master.GetAddressOf()))))
        master->GetPosition(&position);
    return position;
}

}  // namespace

bool CSoakRun::ArchiveServerDies()
{
    // Slower than play (60 ms a frame): the kill lands inside a stretch.
    ArchiveServerProcess server;
    CSoakWatchdog::Step step(*m_pDog, "fault: archive server dies", 60000);
    if (!server.Start(m_Options.store, 0, 60)) {
        std::printf("  archive server dies: the archive server did not start\n");
        ++m_cFailures;
        return false;
    }
    const REFERENCE_TIME origin = StoreOrigin();
    CSoakGraph g;
    CV77PlaybackGroup group;
    const auto play = [&] {
        return SUCCEEDED(g.Run()) && SUCCEEDED(group.Start(origin)) && SUCCEEDED(group.Seek(origin)) &&
               SUCCEEDED(group.SetRate(1.0));
    };
    if (FAILED(BuildPlayback(g, server.Address(), m_Windows + 1, group, CLSID_V77DsARCSourceTcp)) || !play()) {
        std::printf("  archive server dies: the TCP archive playback did not start (%s)\n", group.FailedStep());
        ++m_cFailures;
        return false;
    }
    g.PumpFor(2000);
    const double before = (PlayPosition(group) - origin) / 1e7;
    const long failedBefore = g.FailedStretches();
    server.Kill();
    g.PumpFor(2000);
    const long failed = g.FailedStretches() - failedBefore;
    const double stalled = (PlayPosition(group) - origin) / 1e7;
    const ULONGLONG stopStart = GetTickCount64();
    g.Stop();
    const ULONGLONG stopMs = GetTickCount64() - stopStart;
    // The server comes back on its port: the next start reconnects.
    const uint16_t port = server.Port();
    const bool restarted = server.Start(m_Options.store, port);
    const bool replayed = restarted && play();
    g.PumpFor(2000);
    const double after = (PlayPosition(group) - origin) / 1e7;
    g.Release();
    std::printf("  archive server dies: played to +%.2f s, killed mid-stretch: %ld failed stretches reported, "
                "at +%.2f s 2 s later, Stop took %llu ms; restarted on port %u: %s, played to +%.2f s\n",
                before, failed, stalled, stopMs, port, replayed ? "playing" : "NOT PLAYING", after);
    const bool ok = before > 0 && failed > 0 && stopMs < 5000 && replayed && after > 0;
    if (!ok)
        ++m_cFailures;
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
    PlatformMark halfMark = {};
    for (ULONGLONG now = start; now - start < totalMs; now = GetTickCount64()) {
        if (!halfHandles && now - start >= totalMs / 2) {
            halfHandles = SoakProbe::Take().handles;
            halfMark = Mark();
        }
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
        NoteLateGrowth("session", halfHandles, endHandles, PlatformHandlesSince(halfMark));
    }
    return true;
}
