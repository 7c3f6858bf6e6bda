// The soak run's phases (cycles, faults, session) and its verdict.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <functional>
#include <memory>
#include <string>

#include "tools/V77Soak/CSoakGraph.h"
#include "tools/V77Soak/CSoakWatchdog.h"
#include "tools/V77Soak/SoakProbe.h"
#include "tools/common/CV77UnixProcess.h"

struct SoakOptions {
    std::string work;    // Linux folder
    std::string camera;  // Linux path of the camera's MPEG-4 AVI
    std::wstring avi;    // the live AVI graph's file
    std::wstring store;  // the playback graph's store
    double minutes = 10;
    int cycles = 1000;
    bool watchdogTest = false;  // only a step that never ends, to see the watchdog end the run
    std::string only;           // when set, only this graph's cycles (no faults, no session)
};

class CSoakRun {
public:
    explicit CSoakRun(const SoakOptions& options);
    ~CSoakRun();
    // 0 flat and clean, 1 otherwise (a stuck step never returns: exit code 3).
    int Execute();

private:
    using Builder = std::function<HRESULT(CSoakGraph&)>;
    using Action = std::function<void(CSoakGraph&)>;

    bool StartCamera();
    bool CreateWindows();
    // Builds, runs and releases a graph once (a failure counts).
    bool Once(const char* name, const Builder& build, DWORD runMs, const Action& whileRunning = nullptr);
    // Run/Stop cycles, rebuilding every 100; prints cycles/s.
    bool Cycles(const char* name, const Builder& build, const Action& afterRun = nullptr);
    bool Faults();
    // The archive server dies mid-stretch under a TCP archive playback, then comes back.
    bool ArchiveServerDies();
    bool Session();
    REFERENCE_TIME StoreOrigin() const;
    std::wstring RecordingName() const;

    SoakOptions m_Options;
    std::unique_ptr<CV77UnixProcess> m_pCamera;
    std::string m_CameraCommand;
    std::wstring m_Sdp;
    std::unique_ptr<CSoakWatchdog> m_pDog;
    HWND m_Windows[4] = {};
    int m_cFailures = 0;
    // Handles gained over the last half of a phase, the worst phase: a leak
    // per cycle grows there, a one-off growth (Wine's first use) does not.
    long m_MaxLateGrowth = 0;
    std::string m_LateGrowthPhase;
    // Graphs created and Unix programs launched so far: what the platform
    // keeps handles for whatever the soak releases.
    struct PlatformMark {
        long graphs;
        long launches;
    };
    static PlatformMark Mark();
    // The handles the platform alone kept since mark, at the rates measured.
    long PlatformHandlesSince(const PlatformMark& mark) const;
    void NoteLateGrowth(const std::string& phase, DWORD half, DWORD end, long platformHandles);
    // What the platform's graph manager alone keeps per graph created and
    // released (Wine 8 keeps one handle; Windows none), and what it keeps per
    // Unix program launched (Wine 8: one), measured in the run.
    void MeasurePlatformCosts();
    double m_HandlesPerGraph = 0;
    double m_HandlesPerLaunch = 0;
};
