// Recording end to end, all through the module and the component DLL: the AVI
// file source (real AVI receiver) plays an ffmpeg-made file once into the AVI
// file renderer; the host names the segment by the capture time of its first
// frame (the source's first media-time event) in a recording store; the store
// source then plays the store back. Every frame must come back unchanged, in
// order, at its recorded instant. A native step after this suite judges the
// MPEG-4 segment with ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "framework/CMediaType.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/ComAdopt.h"
#include "tests/sinks/AviTestSupport.h"
#include <amvideo.h>
#include <dvdmedia.h>
#include <uuids.h>
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr REFERENCE_TIME kFrameTime = 400000;
constexpr DWORD kWaitMs = 20000;

template <typename T>
HRESULT Create(const CLSID& clsid, ComPtr<T>& out)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T),
                            reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

// An empty store folder: a segment left from an earlier run would be played too.
std::wstring EmptyStore(const wchar_t* name)
{
    const std::wstring store = DataPath(name);
    CreateDirectoryW(store.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((store + L"\\*.avi").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            DeleteFileW((store + L"\\" + found.cFileName).c_str());
        while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return store;
}

REFERENCE_TIME EventTime(const GraphEvent& e)
{
    return static_cast<REFERENCE_TIME>((static_cast<ULONGLONG>(static_cast<DWORD>(e.param2)) << 32) |
                                       static_cast<DWORD>(e.param1));
}

// Records the whole of file into a segment of store; returns the segment's path (empty on failure).
std::wstring RecordSegment(const std::wstring& file, const std::wstring& store, DWORD compression)
{
    ComPtr<IBaseFilter> source, renderer;
    ComPtr<IV77DsNetworkSource> live;
    ComPtr<IV77DsAviSource> avi;
    ComPtr<IV77DsAviFileRenderer> writer;
    EXPECT_EQ(S_OK, Create(CLSID_V77DsAviSource, source));
    EXPECT_EQ(S_OK, Create(CLSID_V77DsAviFileRenderer, renderer));
    if (!source || !renderer || FAILED(source.As(&live)) || FAILED(source.As(&avi)) || FAILED(renderer.As(&writer)))
        return L"";
    BSTR path = SysAllocString(file.c_str());
    SOURCE_INFORMATION info = {};
    const HRESULT opened = live->Open(path, nullptr, 0, 0, 0, &info);
    SysFreeString(path);
    EXPECT_EQ(S_OK, opened);
    EXPECT_EQ(compression, info.Compression);
    EXPECT_EQ(kFrameTime, info.AvgTimePerFrame);
    // Once and unpaced; the first media-time event carries the first frame's capture time.
    EXPECT_EQ(S_OK, avi->Configure(0, 0));
    EXPECT_EQ(S_OK, live->EnableDisplayNotification(TRUE));

    TestGraph graph;
    EXPECT_EQ(S_OK, graph.Create());
    EXPECT_EQ(S_OK, graph.Add(source.Get(), L"AVI file source"));
    EXPECT_EQ(S_OK, graph.Add(renderer.Get(), L"AVI file renderer"));
    EXPECT_EQ(S_OK, graph.ConnectFilters(source.Get(), renderer.Get()));
    // The segment's name is known only once its first frame is: record under a
    // working name outside the store, then move the closed file in.
    const std::wstring working = DataPath(L"recording.tmp");
    DeleteFileW(working.c_str());
    EXPECT_EQ(S_OK, writer->SetFileName(working.c_str(), L"camera 1"));
    EXPECT_TRUE(SUCCEEDED(graph.Run()));
    EXPECT_TRUE(graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kWaitMs)) << "the file ends (looping off)";
    EXPECT_EQ(S_OK, writer->SetFileName(nullptr, nullptr));
    EXPECT_EQ(S_OK, graph.StopAndWait());
    graph.Release();

    REFERENCE_TIME first = 0;
    for (const GraphEvent& e : graph.EventsSeen()) {
        if (e.code == EC_V77_MEDIA_TIME) {
            first = EventTime(e);
            break;
        }
    }
    EXPECT_GT(first, 0) << "no media-time event from the source";
    const std::wstring segment = store + L"\\" + std::to_wstring(first) + L".avi";
    if (first <= 0 || !MoveFileW(working.c_str(), segment.c_str()))
        return L"";
    return segment;
}

// The store source on store, from origin to the end of the recording, into a
// test renderer: through a time-shift buffer at rate 8, or (compressed video,
// which the buffer does not take) straight, its receiver reading on unasked.
std::vector<RenderedSample> PlayStore(const std::wstring& store, REFERENCE_TIME origin, size_t frames,
                                      bool throughBuffer, const std::vector<BYTE>& format)
{
    ComPtr<IBaseFilter> source, buffer;
    ComPtr<IV77DsARCSource> archive;
    ComPtr<IV77DsBuffer> control;
    EXPECT_EQ(S_OK, Create(CLSID_V77DsARCSource, source));
    EXPECT_EQ(S_OK, Create(CLSID_V77DsBufferFilter, buffer));
    TestRendererConfig config;
    config.waitForSampleTime = false;
    config.bytesRecorded = 1 << 20;
    ComPtr<CTestRenderer> renderer = Adopt(CTestRenderer::Create(config));
    if (!source || !buffer || !renderer || FAILED(source.As(&archive)) || FAILED(buffer.As(&control)))
        return {};
    BSTR folder = SysAllocString(store.c_str());
    BSTR none = SysAllocString(L"");
    SOURCE_INFORMATION info = {};
    const HRESULT opened = archive->Open(folder, none, FALSE, &info);
    SysFreeString(folder);
    SysFreeString(none);
    EXPECT_EQ(S_OK, opened);
    EXPECT_EQ(kFrameTime, info.AvgTimePerFrame);
    // The recorded format whole, the decoder configuration after the header included.
    AM_MEDIA_TYPE mt = {};
    EXPECT_EQ(S_OK, archive->GetMediaType(&mt));
    if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const BYTE* header = mt.pbFormat + offsetof(VIDEOINFOHEADER2, bmiHeader);
        EXPECT_EQ(format, std::vector<BYTE>(header, static_cast<const BYTE*>(mt.pbFormat + mt.cbFormat)));
    } else {
        ADD_FAILURE() << "the store source offers no VIDEOINFOHEADER2";
    }
    FreeMediaType(mt);
    TestGraph graph;
    EXPECT_EQ(S_OK, graph.Create());
    EXPECT_EQ(S_OK, graph.Add(source.Get(), L"store source"));
    EXPECT_EQ(S_OK, graph.Add(renderer->Filter(), L"renderer"));
    if (throughBuffer) {
        EXPECT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_FULL, 10, nullptr));
        EXPECT_EQ(S_OK, control->SetTimeStep(kFrameTime));
        EXPECT_EQ(S_OK, graph.Add(buffer.Get(), L"buffer"));
        EXPECT_EQ(S_OK, graph.ConnectFilters(source.Get(), buffer.Get()));
        EXPECT_EQ(S_OK, graph.ConnectFilters(buffer.Get(), renderer->Filter()));
    } else {
        EXPECT_EQ(S_OK, graph.ConnectFilters(source.Get(), renderer->Filter()));
    }
    EXPECT_TRUE(SUCCEEDED(graph.Run()));
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IPin> pin = TestGraph::FindPin(source.Get(), PINDIR_OUTPUT);
    EXPECT_EQ(S_OK, pin->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())));
    REFERENCE_TIME position = origin;
    if (seeking) {
        EXPECT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                              AM_SEEKING_NoPositioning));
    }
    if (throughBuffer) {
        EXPECT_EQ(S_OK, control->SetGroupPositions(&position, nullptr, nullptr));
        EXPECT_EQ(S_OK, control->SetGroupRate(8.0));
        EXPECT_TRUE(graph.WaitForEvent(EC_V77_SEGMENT_END, kWaitMs)) << renderer->SampleCount() << " frames played";
        EXPECT_TRUE(renderer->WaitForEndOfStream(kWaitMs));
    } else {
        EXPECT_TRUE(renderer->WaitForSamples(frames, kWaitMs)) << renderer->SampleCount() << " frames played";
        Sleep(200);  // nothing more may come
    }
    EXPECT_EQ(S_OK, graph.StopAndWait());
    return renderer->Samples();
}

// MPEG-4 plays back straight (the buffer takes no compressed video);
// uncompressed YUY2 through the time-shift buffer.
struct RoundTrip {
    const wchar_t* input;
    const wchar_t* store;
    size_t frames;
    size_t keySpacing;
    DWORD compression;
    bool throughBuffer;
};

TEST(AviStoreRoundTrip, ALiveAviSourceRecordedIntoAStorePlaysBackFrameForFrame)
{
    CComInit com;
    const RoundTrip trips[] = {{L"dx50.avi", L"store", 60, 12, MAKEFOURCC('D', 'X', '5', '0'), false},
                               {L"yuy2.avi", L"store-yuy2", 20, 1, MAKEFOURCC('Y', 'U', 'Y', '2'), true}};
    for (const RoundTrip& trip : trips) {
        SCOPED_TRACE(trip.store);
        const AviContents in = ReadAvi(DataPath(trip.input));
        ASSERT_EQ(S_OK, in.hr) << "ffmpeg's input is missing";
        ASSERT_EQ(trip.frames, in.frames.size());

        const std::wstring store = EmptyStore(trip.store);
        const std::wstring segment = RecordSegment(DataPath(trip.input), store, trip.compression);
        ASSERT_FALSE(segment.empty());
        const AviContents rec = ReadAvi(segment);
        ASSERT_EQ(S_OK, rec.hr);
        ASSERT_EQ(trip.frames, rec.frames.size()) << "the file starts with a key frame: nothing is dropped";
        EXPECT_EQ(trip.compression, rec.info.fccHandler);
        for (size_t i = 0; i < trip.frames; ++i) {
            EXPECT_EQ(in.frames[i].bytes, rec.frames[i].bytes) << "recorded frame " << i;
            EXPECT_EQ(i % trip.keySpacing == 0, rec.frames[i].key) << "recorded frame " << i;
        }

        const REFERENCE_TIME origin = std::stoll(segment.substr(store.size() + 1));
        const std::vector<RenderedSample> played = PlayStore(store, origin, trip.frames, trip.throughBuffer, rec.format);
        ASSERT_EQ(trip.frames, played.size());
        for (size_t i = 0; i < trip.frames; ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(played[i].mediaTimeValid);
            EXPECT_EQ(origin + static_cast<REFERENCE_TIME>(i) * kFrameTime, played[i].mediaStart);
            EXPECT_EQ(rec.frames[i].bytes, played[i].bytes) << "played frame " << i << " is not the recorded one";
        }
    }
}

}  // namespace
