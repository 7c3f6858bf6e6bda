// The AVI file receiver on files ffmpeg wrote: every frame's bytes against
// ffmpeg's framecrc, in order, with the index's key frames; pacing, looping
// with markers, the zone file, and broken files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "tests/live/LiveTestSupport.h"

#include <dvdmedia.h>
#include "v77/V77Guids.h"

using namespace live;

namespace {

constexpr DWORD kBuffer = 256 * 1024;

struct Format {
    const char* name;
    DWORD compression;
    WORD bitCount;
};

// Plays name once, as fast as the sink takes frames; returns the frames.
std::vector<ReceivedFrame> PlayOnce(IV77LiveReceiver* receiver, CTestEvents* events, const std::string& name)
{
    CBstr path(InputW(name));
    EXPECT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, events));
    CRef<IV77DsAviSource> avi;
    EXPECT_EQ(S_OK, receiver->QueryInterface(IID_IV77DsAviSource, avi.OutVoid()));
    EXPECT_EQ(S_OK, avi->Configure(0, 0));
    EXPECT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    EXPECT_TRUE(events->WaitUntil([events] { return events->EventsB() > 0; }, 20000)) << name;
    EXPECT_EQ(S_FALSE, receiver->IsOpen()) << "an ended stream asks to be reopened";
    EXPECT_EQ(S_OK, receiver->SetStreaming(0, 0));
    EXPECT_EQ(S_OK, receiver->Close());
    return events->Frames();
}

}  // namespace

class AviReceiver : public LiveTest {};

TEST_F(AviReceiver, PlaysEveryFrameOfEachFormatInOrderWithTheIndexKeyFrames)
{
    const Format formats[] = {
        {"yuy2", MAKEFOURCC('Y', 'U', 'Y', '2'), 16},
        {"i420", MAKEFOURCC('I', '4', '2', '0'), 12},
        {"yv12", MAKEFOURCC('Y', 'V', '1', '2'), 12},
        {"bgr24", BI_RGB, 24},
        {"mpeg4", MAKEFOURCC('D', 'X', '5', '0'), 24},
    };
    for (const Format& format : formats) {
        SCOPED_TRACE(format.name);
        const std::vector<Reference> reference = ReadFrameCrc(std::string(format.name) + ".crc");
        ASSERT_EQ(50u, reference.size());
        CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
        ASSERT_TRUE(receiver);
        CTestEvents events(kBuffer, 8);
        const std::vector<ReceivedFrame> frames = PlayOnce(receiver.Get(), &events, std::string(format.name) + ".avi");
        ASSERT_EQ(reference.size(), frames.size());
        const std::vector<int> ids = Identify(frames, reference);
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(static_cast<int>(i), ids[i]) << "frame " << i;
            EXPECT_EQ(reference[i].key, frames[i].sync) << "frame " << i;
            EXPECT_EQ(i == 0, frames[i].discontinuity) << "frame " << i;
            if (i) {
                EXPECT_GE(frames[i].start, frames[i - 1].start) << "capture times run forward";
            }
        }
        EXPECT_EQ(1, events.EventsA());
        double average = 0;
        EXPECT_EQ(S_OK, receiver->GetAverageFrameSize(&average));
        double expected = 0;
        for (const Reference& r : reference)
            expected += static_cast<double>(r.size) / reference.size();
        EXPECT_NEAR(expected, average, 1.0);

        // The description belongs to an open stream.
        SOURCE_INFORMATION info = {};
        EXPECT_EQ(VFW_E_NOT_CONNECTED, receiver->GetSourceInformation(&info));
        CBstr path(InputW(std::string(format.name) + ".avi"));
        ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events));
        ASSERT_EQ(S_OK, receiver->GetSourceInformation(&info));
        EXPECT_EQ(176, info.Width);
        EXPECT_EQ(144, std::abs(info.Height));
        EXPECT_EQ(format.compression, info.Compression);
        EXPECT_EQ(format.bitCount, info.BitCount);
        EXPECT_EQ(400000, info.AvgTimePerFrame);
        AM_MEDIA_TYPE mt = {};
        ASSERT_EQ(S_OK, receiver->GetMediaType(&mt));
        EXPECT_EQ(MEDIATYPE_Video, mt.majortype);
        EXPECT_EQ(FORMAT_VideoInfo2, mt.formattype);
        if (format.compression == MAKEFOURCC('D', 'X', '5', '0')) {
            EXPECT_EQ(MEDIASUBTYPE_V77_DX50, mt.subtype);
            // ffmpeg stores the VOL headers as the stream's extra data: they
            // follow the BITMAPINFOHEADER, which counts them.
            const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
            ASSERT_GT(mt.cbFormat, sizeof(VIDEOINFOHEADER2));
            EXPECT_EQ(sizeof(BITMAPINFOHEADER) + mt.cbFormat - sizeof(VIDEOINFOHEADER2), vih->bmiHeader.biSize);
            const BYTE* config = mt.pbFormat + sizeof(VIDEOINFOHEADER2);
            EXPECT_TRUE(config[0] == 0 && config[1] == 0 && config[2] == 1);
        }
        CoTaskMemFree(mt.pbFormat);
        EXPECT_EQ(S_OK, receiver->Close());
    }
}

TEST_F(AviReceiver, PacesAtTheFileRateAndLoopsWithAMarker)
{
    const std::vector<Reference> reference = ReadFrameCrc("short.crc");
    ASSERT_EQ(10u, reference.size());
    CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
    ASSERT_TRUE(receiver);
    CTestEvents events(kBuffer, 8);
    CBstr path(InputW("short.avi"));
    ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    // 25 frames a second: 25 frames and two loop markers take about a second.
    ASSERT_TRUE(events.WaitUntil([&] { return events.FrameCount() >= 27; }, 10000));
    const double seconds = ElapsedMs(start) / 1000.0;
    EXPECT_EQ(S_OK, receiver->Close());
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 2.0);

    const std::vector<ReceivedFrame> frames = events.Frames();
    int expected = 0;
    int markers = 0;
    for (size_t i = 0; i < 27; ++i) {
        if (frames[i].typeFlags & 0x00010000) {
            EXPECT_EQ(10, expected) << "a marker follows the last frame";
            EXPECT_EQ(0, frames[i].size);
            expected = 0;
            ++markers;
            continue;
        }
        EXPECT_EQ(reference[expected].crc, frames[i].crc) << i;
        EXPECT_EQ(expected == 0, frames[i].discontinuity) << "each loop starts with a discontinuity";
        ++expected;
    }
    EXPECT_EQ(2, markers);
    EXPECT_EQ(0, events.EventsB()) << "a looping file never ends";
}

TEST_F(AviReceiver, OverlayConfigurationComesFromTheZoneFileBesideTheStream)
{
    CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
    ASSERT_TRUE(receiver);
    CRef<IV77ReceiverAuxiliary> aux;
    ASSERT_EQ(S_OK, receiver->GetAuxiliaryInterface(aux.OutVoid()));
    CTestEvents events(kBuffer, 4);
    CBstr path(InputW("short.avi"));
    const std::string zonePath = Input("short.avi.zones.xml");
    DeleteFileA(zonePath.c_str());
    ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events));
    BSTR xml = nullptr;
    ASSERT_EQ(S_OK, aux->GetOverlayConfiguration(0, &xml));
    ASSERT_NE(nullptr, xml);
    EXPECT_EQ(0u, SysStringLen(xml)) << "no zone file: an empty configuration";
    SysFreeString(xml);

    const char zones[] = "\xEF\xBB\xBF<zones><group name=\"z\xC3\xA9\"/></zones>";
    {
        std::ofstream(zonePath, std::ios::binary) << zones;
    }
    ASSERT_EQ(S_OK, aux->GetOverlayConfiguration(0, &xml));
    EXPECT_STREQ(L"<zones><group name=\"z\u00e9\"/></zones>", xml);
    SysFreeString(xml);
    EXPECT_EQ(E_POINTER, aux->GetOverlayConfiguration(0, nullptr));
    EXPECT_EQ(S_OK, receiver->Close());

    // source2 names the zone file explicitly.
    CBstr elsewhere(InputW("short.avi.zones.xml"));
    CBstr other(InputW("mpeg4.avi"));
    ASSERT_EQ(S_OK, receiver->Open(other, elsewhere, 0, 0, &events));
    ASSERT_EQ(S_OK, aux->GetOverlayConfiguration(0, &xml));
    EXPECT_LT(0u, SysStringLen(xml));
    SysFreeString(xml);
    EXPECT_EQ(S_OK, receiver->Close());
    DeleteFileA(zonePath.c_str());
}

TEST_F(AviReceiver, BrokenFilesFailOpenOrEndTheStreamWithAnEvent)
{
    const std::vector<Reference> reference = ReadFrameCrc("mpeg4.crc");
    for (const char* name : {"missing.avi", "headeronly.avi", "corrupt.avi", "audio.avi", "truncated.avi"}) {
        SCOPED_TRACE(name);
        CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
        ASSERT_TRUE(receiver);
        CTestEvents events(kBuffer, 8);
        CBstr path(InputW(name));
        const HRESULT hr = receiver->Open(path, nullptr, 0, 0, &events);
        if (FAILED(hr)) {
            EXPECT_EQ(S_FALSE, receiver->IsOpen());
            EXPECT_EQ(VFW_E_NOT_CONNECTED, receiver->SetStreaming(0xFFFFFFFF, 0));
            continue;
        }
        // The platform may accept a damaged file: then what it plays must be
        // ffmpeg's frames, and the stream must end by itself.
        EXPECT_STRNE("audio.avi", name) << "a file without video cannot open";
        CRef<IV77DsAviSource> avi;
        ASSERT_EQ(S_OK, receiver->QueryInterface(IID_IV77DsAviSource, avi.OutVoid()));
        avi->Configure(0, 0);
        receiver->SetStreaming(0xFFFFFFFF, 0);
        EXPECT_TRUE(events.WaitUntil([&] { return events.EventsB() > 0; }, 20000));
        EXPECT_EQ(S_OK, receiver->Close());
        for (int id : Identify(events.Frames(), reference))
            EXPECT_NE(-1, id);
    }
    CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
    CTestEvents events(kBuffer, 2);
    EXPECT_EQ(E_INVALIDARG, receiver->Open(nullptr, nullptr, 0, 0, &events));
    CBstr path(InputW("short.avi"));
    EXPECT_EQ(E_POINTER, receiver->Open(path, nullptr, 0, 0, nullptr));
}

TEST_F(AviReceiver, CloseReturnsWhileTheStreamThreadWaitsOnAnExhaustedPool)
{
    CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
    ASSERT_TRUE(receiver);
    CTestEvents events(kBuffer, 3);
    events.Hold(true);
    CBstr path(InputW("short.avi"));
    ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events));
    CRef<IV77DsAviSource> avi;
    ASSERT_EQ(S_OK, receiver->QueryInterface(IID_IV77DsAviSource, avi.OutVoid()));
    avi->Configure(1, 0);
    ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    ASSERT_TRUE(events.WaitUntil([&] { return events.FrameCount() == 3 && events.BuffersInWait() == 1; }, 5000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(S_OK, receiver->SetStreaming(0, 0));
    EXPECT_EQ(S_OK, receiver->Close());
    EXPECT_LT(ElapsedMs(start), 4000.0);
    // The filter's Decommit wakes the thread; it hands nothing more over.
    events.ShutdownPool();
    events.ReleaseHeld();
    Sleep(100);
    EXPECT_EQ(3u, events.FrameCount());
    // A new Open waits for that thread and works.
    CTestEvents fresh(kBuffer, 4);
    ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &fresh));
    ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
    EXPECT_TRUE(fresh.WaitUntil([&] { return fresh.FrameCount() >= 2; }, 5000));
    EXPECT_EQ(S_OK, receiver->Close());
}

TEST_F(AviReceiver, ReopeningWhileStreamingAndManyCyclesLeakNothing)
{
    CBstr path(InputW("short.avi"));
    const DWORD handlesBefore = [] {
        DWORD count = 0;
        GetProcessHandleCount(GetCurrentProcess(), &count);
        return count;
    }();
    {
        CRef<IV77LiveReceiver> receiver = NewReceiver(CLSID_V77AviReceiver);
        ASSERT_TRUE(receiver);
        CTestEvents events(kBuffer, 8);
        CRef<IV77DsAviSource> avi;
        ASSERT_EQ(S_OK, receiver->QueryInterface(IID_IV77DsAviSource, avi.OutVoid()));
        avi->Configure(1, 0);
        for (int cycle = 0; cycle < 100; ++cycle) {
            ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events)) << cycle;
            ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
            if (cycle % 10 == 0) {
                // Open while streaming starts over on a closed stream.
                ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events));
                EXPECT_EQ(S_OK, receiver->IsOpen());
                ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
            }
            if (cycle % 3 == 0)
                Sleep(2);
            ASSERT_EQ(S_OK, receiver->SetStreaming(0, 0));
            ASSERT_EQ(S_OK, receiver->Close());
        }
        // Whether those short cycles got a frame out depends on the load; a
        // stream opened after them must flow.
        const size_t before = events.FrameCount();
        ASSERT_EQ(S_OK, receiver->Open(path, nullptr, 0, 0, &events));
        ASSERT_EQ(S_OK, receiver->SetStreaming(0xFFFFFFFF, 0));
        EXPECT_TRUE(events.WaitUntil([&] { return events.FrameCount() > before; }, 10000)) << "nothing streamed";
        ASSERT_EQ(S_OK, receiver->SetStreaming(0, 0));
        ASSERT_EQ(S_OK, receiver->Close());
    }
    EXPECT_EQ(S_OK, ComponentsCanUnloadNow()) << "a receiver, sample or auxiliary object was leaked";
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 8) << "handles leaked";
}
