#include "tools/V77Host/RecordingDemo.h"

#include <cstdio>
#include <vector>
#include <windows.h>
#include <vfw.h>
#include <wrl/client.h>
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/DemoSteps.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77ImageSinkComponent.h"
#include "v77/IV77Sinks.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kRecordLimitMs = 30000;
constexpr DWORD kPlaybackLimitMs = 20000;

struct Recording {
    HRESULT hr = E_FAIL;
    AVISTREAMINFOW info = {};
    std::vector<std::vector<BYTE>> frames;
    size_t keyFrames = 0;
};

Recording ReadRecording(const std::wstring& path)
{
    Recording r;
    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    r.hr = AVIFileOpenW(&file, path.c_str(), OF_READ | OF_SHARE_DENY_NONE, nullptr);
    if (SUCCEEDED(r.hr))
        r.hr = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
    if (SUCCEEDED(r.hr)) {
        AVIStreamInfoW(stream, &r.info, sizeof r.info);
        const LONG start = AVIStreamStart(stream), end = start + AVIStreamLength(stream);
        for (LONG i = start; i < end && SUCCEEDED(r.hr); ++i) {
            LONG bytes = 0;
            r.hr = AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr);
            std::vector<BYTE> frame(static_cast<size_t>(bytes > 0 ? bytes : 0));
            if (SUCCEEDED(r.hr) && bytes > 0)
                r.hr = AVIStreamRead(stream, i, 1, frame.data(), bytes, &bytes, nullptr);
            r.keyFrames += AVIStreamIsKeyFrame(stream, i) ? 1 : 0;
            r.frames.push_back(std::move(frame));
        }
    }
    if (stream)
        AVIStreamRelease(stream);
    if (file)
        AVIFileRelease(file);
    AVIFileExit();
    return r;
}

std::string TimeText(REFERENCE_TIME t)
{
    FILETIME ft = {static_cast<DWORD>(t), static_cast<DWORD>(static_cast<ULONGLONG>(t) >> 32)};
    SYSTEMTIME st = {};
    FileTimeToSystemTime(&ft, &st);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u UTC", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

// AVI file source (once, at the file's pace) -> AVI file renderer writing output;
// the capture time of the first frame written, 0 on failure.
REFERENCE_TIME Record(const std::wstring& input, const std::wstring& output)
{
    ComPtr<IBaseFilter> source, renderer;
    ComPtr<IV77DsNetworkSource> live;
    ComPtr<IV77DsAviSource> avi;
    ComPtr<IV77DsAviFileRenderer> writer;
    CHostGraph graph;
    if (!CheckStep("graph", graph.Create()) ||
        !CheckStep("AVI file source", CreateModuleFilter(CLSID_V77DsAviSource, source)) ||
        !CheckStep("AVI file renderer", CreateModuleFilter(CLSID_V77DsAviFileRenderer, renderer)) ||
        !CheckStep("IV77DsNetworkSource", source.As(&live)) || !CheckStep("IV77DsAviSource", source.As(&avi)) ||
        !CheckStep("IV77DsAviFileRenderer", renderer.As(&writer)))
        return 0;
    BSTR file = SysAllocString(input.c_str());
    SOURCE_INFORMATION info = {};
    const HRESULT opened = live->Open(file, nullptr, 0, 0, 0, &info);
    SysFreeString(file);
    if (!CheckStep("Open", opened) || !CheckStep("Configure", avi->Configure(0, 1)) ||
        !CheckStep("EnableDisplayNotification", live->EnableDisplayNotification(TRUE)) ||
        !CheckStep("add source", graph.Add(source.Get(), L"Varnokel77 AVI file source filter")) ||
        !CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 Avi file renderer filter")) ||
        !CheckStep("connect", graph.Connect(source.Get(), renderer.Get())))
        return 0;
    // The host names the file; it becomes a store segment once its first frame's time is known.
    DeleteFileW(output.c_str());
    if (!CheckStep("SetFileName", writer->SetFileName(output.c_str(), L"demo camera")) ||
        !CheckStep("Run", graph.Run()))
        return 0;
    std::printf("  AVI file source (FOURCC %.4s, %ldx%ld, %.1f fps, once) -> AVI file renderer\n",
                reinterpret_cast<const char*>(&info.Compression), info.Width, info.Height,
                info.AvgTimePerFrame ? 1e7 / static_cast<double>(info.AvgTimePerFrame) : 0.0);
    REFERENCE_TIME first = 0;
    bool ended = false;
    for (DWORD waited = 0; !ended && waited < kRecordLimitMs; waited += 100) {
        graph.PumpFor(100, [&](long code, LONG_PTR p1, LONG_PTR p2) {
            if (code == EC_V77_MEDIA_TIME && !first)
                first = static_cast<REFERENCE_TIME>((static_cast<ULONGLONG>(static_cast<DWORD>(p2)) << 32) |
                                                    static_cast<DWORD>(p1));
            ended = ended || code == EC_V77_STREAM_EVENT_2;
        });
    }
    const HRESULT closed = writer->SetFileName(nullptr, nullptr);
    graph.Stop();
    if (!ended)
        std::printf("  the source never reached the end of the file\n");
    return ended && CheckStep("close", closed) ? first : 0;
}

// Store source -> image renderer -> image sink (raw file), from the recording's
// start: the buffer filter takes no compressed video, so the source's receiver
// reads on unasked. The frames the sink got, their bytes appended to raw.
DWORD PlayStore(const std::wstring& store, REFERENCE_TIME from, DWORD frames, const std::wstring& raw)
{
    ComPtr<IBaseFilter> source, renderer;
    ComPtr<IV77DsARCSource> archive;
    ComPtr<IV77DsImageRenderer> image;
    ComPtr<IV77ImageSinkSetup> sink;
    CHostGraph graph;
    if (!CheckStep("graph", graph.Create()) ||
        !CheckStep("store source", CreateModuleFilter(CLSID_V77DsARCSource, source)) ||
        !CheckStep("image renderer", CreateModuleFilter(CLSID_V77DsImageRenderer, renderer)) ||
        !CheckStep("image sink", CoCreateInstance(CLSID_V77ImageSink, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IV77ImageSinkSetup,
                                                  reinterpret_cast<void**>(sink.GetAddressOf()))) ||
        !CheckStep("IV77DsARCSource", source.As(&archive)) || !CheckStep("IV77DsImageRenderer", renderer.As(&image)))
        return 0;
    BSTR folder = SysAllocString(store.c_str());
    BSTR none = SysAllocString(L"");
    SOURCE_INFORMATION info = {};
    const HRESULT opened = archive->Open(folder, none, FALSE, &info);
    SysFreeString(folder);
    SysFreeString(none);
    if (!CheckStep("Open store", opened) || !CheckStep("SetFile", sink->SetFile(raw.c_str())) ||
        !CheckStep("SetSink", image->SetSink(sink.Get(), 0)) ||
        !CheckStep("add source", graph.Add(source.Get(), L"Varnokel77 archive source filter")) ||
        !CheckStep("add renderer", graph.Add(renderer.Get(), L"Varnokel77 Image renderer filter")) ||
        !CheckStep("connect", graph.Connect(source.Get(), renderer.Get())) || !CheckStep("Run", graph.Run()))
        return 0;
    ComPtr<IPin> pin;
    ComPtr<IEnumPins> pins;
    ComPtr<IMediaSeeking> seeking;
    if (FAILED(source->EnumPins(&pins)) || pins->Next(1, &pin, nullptr) != S_OK ||
        !CheckStep("IMediaSeeking", pin.As(&seeking)))
        return 0;
    REFERENCE_TIME position = from;
    if (!CheckStep("SetPositions", seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                         AM_SEEKING_NoPositioning)))
        return 0;
    DWORD count = 0;
    for (DWORD waited = 0; count < frames && waited < kPlaybackLimitMs; waited += 100) {
        graph.PumpFor(100, [](long, LONG_PTR, LONG_PTR) {});
        sink->GetFrameCount(&count);
    }
    graph.PumpFor(200, [](long, LONG_PTR, LONG_PTR) {});  // nothing more may come
    graph.Stop();
    sink->SetFile(nullptr);
    sink->GetFrameCount(&count);
    return count;
}

std::vector<BYTE> FileBytes(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 30)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

}  // namespace

bool RunRecordingDemo(const std::wstring& input, const std::wstring& output)
{
    std::printf("\nRecording an MPEG-4 AVI file into a store:\n");
    std::fflush(stdout);
    if (input.empty()) {
        std::printf("  no MPEG-4 AVI file given (--record-from PATH)\n");
        return false;
    }
    const REFERENCE_TIME first = Record(input, output);
    if (!first)
        return false;
    const Recording in = ReadRecording(input);
    const Recording rec = ReadRecording(output);
    if (!CheckStep("read the recording", rec.hr))
        return false;
    size_t same = 0;
    std::vector<BYTE> all;
    for (size_t i = 0; i < rec.frames.size(); ++i) {
        same += i < in.frames.size() && in.frames[i] == rec.frames[i] ? 1 : 0;
        all.insert(all.end(), rec.frames[i].begin(), rec.frames[i].end());
    }
    std::printf("  wrote %ls: %zu frames (%zu key frames, %zu bytes of video), FOURCC %.4s, %ldx%ld, "
                "%lu/%lu frames a second\n", output.c_str(), rec.frames.size(), rec.keyFrames, all.size(),
                reinterpret_cast<const char*>(&rec.info.fccHandler), rec.info.rcFrame.right, rec.info.rcFrame.bottom,
                static_cast<unsigned long>(rec.info.dwRate), static_cast<unsigned long>(rec.info.dwScale));
    std::printf("  %zu of the input's %zu frames recorded unchanged; first frame captured %s\n", same,
                in.frames.size(), TimeText(first).c_str());

    // A store of one segment, named by that capture time, played back.
    const std::wstring store = output + L"-store";
    const std::wstring segment = store + L"\\" + std::to_wstring(first) + L".avi";
    const std::wstring raw = output + L"-playback.raw";
    CreateDirectoryW(store.c_str(), nullptr);
    if (!CopyFileW(output.c_str(), segment.c_str(), FALSE)) {
        std::printf("  cannot copy the recording to %ls (error %lu)\n", segment.c_str(), GetLastError());
        return false;
    }
    const DWORD played = PlayStore(store, first, static_cast<DWORD>(rec.frames.size()), raw);
    const bool identical = FileBytes(raw) == all;
    std::printf("  store segment %ls played back: %lu frames through the image sink, %s the recording\n",
                segment.c_str(), played, identical ? "byte for byte" : "DIFFERENT from");
    DeleteFileW(segment.c_str());
    RemoveDirectoryW(store.c_str());
    return same == in.frames.size() && rec.frames.size() == in.frames.size() && played == rec.frames.size() &&
           identical;
}
