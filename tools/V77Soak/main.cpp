// V77Soak: a bounded soak and fault run of the module's main graphs under
// the host's conditions (run by `./v77 soak [MINUTES]`, not in CI).
//   1. every main graph Run and Stopped N times (rebuilt every 100 cycles);
//   2. faults: the camera stops and restarts, the audio chain's far socket
//      closes, a live source's pool runs dry, the recording's disk is full,
//      the archive server dies mid-stretch;
//   3. a live + record + playback session of the given minutes, segments
//      renamed every 10 s, the camera restarted every minute.
// Handles, private memory and the DLLs' live objects are printed before and
// after and must be flat. Handles are judged twice: over the whole run, less
// what the platform keeps per graph and per Unix program launched (measured
// on bare graphs and launches first), and over the last half of every phase, where a leak per cycle keeps
// growing while a one-off growth has levelled off. Every step is bounded by
// the run's watchdog.
// Exit codes: 0 flat and clean, 1 a leak or a failed step, 2 bad arguments,
// 3 a stuck step (the watchdog's report names it).
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/V77Soak/SoakRun.h"

namespace {

void Usage()
{
    std::printf(
        "usage: V77Soak --work UNIXDIR --camera UNIXAVI --avi WINAVI --store WINDIR [--minutes M] [--cycles N]\n"
        "               [--only GRAPH]\n"
        "  --work     a Linux folder for the camera's SDP, logs and recordings (seen as Z:)\n"
        "  --camera   an MPEG-4 AVI the ffmpeg camera streams over RTP (a Linux path)\n"
        "  --avi      an uncompressed AVI the live AVI graph plays\n"
        "  --store    an uncompressed recording store the playback graph plays\n"
        "  --minutes  length of the live + record + playback session (default 10)\n"
        "  --cycles   Run/Stop cycles of each graph (default 1000)\n"
        "  --only     only one graph's cycles: avi, rtp, record, playback or audio (no faults, no session)\n"
        "  --watchdog-test  only a step that never ends: the watchdog must end the run (exit code 3)\n");
}

std::wstring Wide(const char* s)
{
    std::wstring w;
    for (; *s; ++s)
        w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return w;
}

}  // namespace

int main(int argc, char** argv)
{
    SoakOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--watchdog-test") {
            options.watchdogTest = true;
            continue;
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value) {
            Usage();
            return 2;
        }
        ++i;
        if (arg == "--work")
            options.work = value;
        else if (arg == "--camera")
            options.camera = value;
        else if (arg == "--avi")
            options.avi = Wide(value);
        else if (arg == "--store")
            options.store = Wide(value);
        else if (arg == "--minutes")
            options.minutes = std::atof(value);
        else if (arg == "--cycles")
            options.cycles = std::atoi(value);
        else if (arg == "--only")
            options.only = value;
        else {
            Usage();
            return 2;
        }
    }
    if (options.watchdogTest) {
        CSoakRun run(options);
        return run.Execute();
    }
    if (options.work.empty() || options.camera.empty() || options.avi.empty() || options.store.empty() ||
        options.minutes < 0 || options.cycles < 1 ||
        (!options.only.empty() && std::string(" avi rtp record playback audio ").find(" " + options.only + " ") ==
                                      std::string::npos)) {
        Usage();
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 1;
    {
        CSoakRun run(options);
        rc = run.Execute();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    WSACleanup();
    return rc;
}
