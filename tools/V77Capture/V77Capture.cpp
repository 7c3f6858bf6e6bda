// V77Capture: the local capture process. Fills a named shared-memory ring
// (companions/components/local/CV77CaptureRingMapping.h) with frames that
// the local live receiver hands to the local source filter.
//
//   V77Capture.exe --name NAME [--size WxH] [--fps N] [--slots N]
//                  [--frames N] [--avi FILE]
//   V77Capture.exe --name NAME --store FOLDER [--slots N] [--frame-delay-ms N]
//
// Without --avi it makes a moving YUY2 test picture (default 320x240 at 25
// fps) with the frame number drawn into it; with --avi it plays the first
// video stream of FILE in a loop (YUY2 frames get the frame number drawn in
// too). --frames ends the tool after N frames; otherwise it runs until it is
// ended. With --store it serves the recording store FOLDER to local archive
// receivers instead (archive mode, CCaptureArchive), each viewer with a ring
// of --slots slots (default: as many of the recording's largest frame as fit
// 32 MB, 4 to 64), until it is ended; --frame-delay-ms slows every frame. Exit codes: 0 done, 2 bad command line or unreadable file or
// store, 3 the ring or the archive's request pipe is in use by another live
// capture process (or the ring is left with another format).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "companions/components/local/CV77CaptureRingMapping.h"
#include "tools/V77Capture/CCaptureArchive.h"
#include "tools/V77Capture/CCaptureAviFrames.h"
#include "tools/V77Capture/CCapturePattern.h"
#include "tools/V77Capture/V77FrameStamp.h"

namespace {

constexpr DWORD kReclaimEveryMs = 500;
constexpr uint32_t kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');

struct Options {
    std::wstring name;
    std::wstring avi;
    std::wstring store;
    DWORD frameDelayMs = 0;
    uint32_t width = 320;
    uint32_t height = 240;
    uint32_t fps = 25;
    uint32_t slots = 0;  // 0: 16 live; archive: sized from the recording
    long long frames = -1;
};

bool ParseOptions(int argc, wchar_t** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value)
            return false;
        ++i;
        if (arg == L"--name") {
            options->name = value;
        } else if (arg == L"--store") {
            options->store = value;
        } else if (arg == L"--frame-delay-ms") {
            options->frameDelayMs = static_cast<DWORD>(wcstoul(value, nullptr, 10));
        } else if (arg == L"--avi") {
            options->avi = value;
        } else if (arg == L"--size") {
            if (swscanf(value, L"%ux%u", &options->width, &options->height) != 2)
                return false;
        } else if (arg == L"--fps") {
            options->fps = static_cast<uint32_t>(wcstoul(value, nullptr, 10));
        } else if (arg == L"--slots") {
            options->slots = static_cast<uint32_t>(wcstoul(value, nullptr, 10));
        } else if (arg == L"--frames") {
            options->frames = wcstoll(value, nullptr, 10);
        } else {
            return false;
        }
    }
    if (options->slots == 0 && options->store.empty())
        options->slots = 16;
    return CV77CaptureRingMapping::IsValidName(options->name) && options->fps >= 1 && options->fps <= 240 &&
           (options->slots == 0 || (options->slots >= 2 && options->slots <= 256)) && options->width >= 2 && options->width <= 8192 &&
           options->width % 2 == 0 && options->height >= 1 && options->height <= 8192;
}

int64_t Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

// Sleeps until the performance counter reaches deadline.
void SleepUntil(LONGLONG deadline, LONGLONG frequency)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (deadline > now.QuadPart)
        Sleep(static_cast<DWORD>((deadline - now.QuadPart) * 1000 / frequency));
}

int ServeArchive(const Options& options)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CCaptureArchive archive(options.name, options.slots, options.frameDelayMs);
    HRESULT hr = archive.Open(options.store);
    if (FAILED(hr)) {
        fwprintf(stderr, L"V77Capture: the store %ls holds no playable recording (0x%08lx)\n", options.store.c_str(),
                 static_cast<unsigned long>(hr));
        return 2;
    }
    hr = archive.Serve();
    fwprintf(stderr, L"V77Capture: archive '%ls' cannot be served (0x%08lx)%ls\n", options.name.c_str(),
             static_cast<unsigned long>(hr),
             hr == HRESULT_FROM_WIN32(ERROR_BUSY) ? L": another capture process serves it" : L"");
    return 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fwprintf(stderr, L"usage: V77Capture --name NAME [--size WxH] [--fps N] [--slots N] [--frames N] [--avi FILE]\n"
                          L"       V77Capture --name NAME --store FOLDER [--slots N] [--frame-delay-ms N]\n");
        return 2;
    }
    if (!options.store.empty())
        return ServeArchive(options);
    V77CaptureFormat format;
    format.width = options.width;
    format.height = options.height;
    format.compression = kYuy2;
    format.bitCount = 16;
    format.frameTime = 10000000 / options.fps;
    uint32_t frameBytes = options.width * options.height * 2;
    std::unique_ptr<CCaptureAviFrames> file;
    if (!options.avi.empty()) {
        file = std::make_unique<CCaptureAviFrames>();
        const HRESULT hr = file->Open(options.avi, &format, &frameBytes);
        if (FAILED(hr)) {
            fwprintf(stderr, L"V77Capture: cannot read %ls (0x%08lx)\n", options.avi.c_str(), static_cast<unsigned long>(hr));
            return 2;
        }
    }
    std::shared_ptr<CV77CaptureRingMapping> mapping;
    bool existed = false;
    const HRESULT hr = CV77CaptureRingMapping::Create(options.name, format, options.slots, frameBytes, &mapping, &existed);
    if (FAILED(hr)) {
        fwprintf(stderr, L"V77Capture: ring '%ls' cannot be made (0x%08lx)%ls\n", options.name.c_str(),
                 static_cast<unsigned long>(hr),
                 hr == HRESULT_FROM_WIN32(ERROR_BUSY) ? L": another capture process fills it" :
                 hr == HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) ? L": a viewer holds it with another format" : L"");
        return 3;
    }
    CV77CaptureRing& ring = mapping->Ring();
    const uint32_t epoch = ring.TakeOver(GetCurrentProcessId(), CV77CaptureRingMapping::IsProcessAlive);
    wprintf(L"V77Capture: ring '%ls' %ux%u %.4hs at %.2f fps, %u slots of %u bytes, epoch %u, pid %lu%ls\n",
            options.name.c_str(), format.width, format.height, reinterpret_cast<const char*>(&format.compression),
            1e7 / static_cast<double>(format.frameTime), options.slots, frameBytes, epoch,
            static_cast<unsigned long>(GetCurrentProcessId()), existed ? L" (taken over)" : L"");
    fflush(stdout);

    CCapturePattern pattern(format.width, format.height);
    const bool stamp = format.compression == kYuy2 && format.width >= kStampMinWidth;
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DWORD lastReclaim = GetTickCount();
    for (long long frame = 0; options.frames < 0 || frame < options.frames; ++frame) {
        SleepUntil(start.QuadPart + frame * format.frameTime * frequency.QuadPart / 10000000, frequency.QuadPart);
        ring.Header().heartbeat.store(GetTickCount64());
        const int slot = ring.BeginWrite();
        if (slot >= 0) {
            uint8_t* data = ring.SlotData(static_cast<uint32_t>(slot));
            uint32_t length = frameBytes;
            bool key = true;
            if (file) {
                length = file->Read(static_cast<uint64_t>(frame), data, frameBytes, &key);
                if (stamp && length >= frameBytes)
                    WriteFrameStamp(data, format.width, format.width * 2, static_cast<uint32_t>(frame));
            } else {
                pattern.Draw(data, static_cast<uint32_t>(frame));
            }
            ring.Publish(static_cast<uint32_t>(slot), static_cast<uint64_t>(frame), Now(), length,
                         key ? kV77CaptureSyncPoint : 0);
            SetEvent(mapping->FrameEvent());
        }
        if (GetTickCount() - lastReclaim >= kReclaimEveryMs) {
            lastReclaim = GetTickCount();
            // A viewer that died with frames leased does not hold them forever.
            if (unsigned reclaimed = ring.ReclaimLeases(CV77CaptureRingMapping::IsProcessAlive))
                wprintf(L"V77Capture: %u leases of a viewer that is gone taken back\n", reclaimed);
        }
    }
    wprintf(L"V77Capture: %llu frames made, %llu dropped\n",
            static_cast<unsigned long long>(ring.Header().framesProduced.load()),
            static_cast<unsigned long long>(ring.Header().framesDropped.load()));
    return 0;
}
