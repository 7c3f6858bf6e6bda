// The local source on the real local receiver, fed by the V77Capture tool in
// its own process: frames arrive through the buffer filter in frame-number
// order (read back from the stamp the tool draws into each picture), every
// lease comes back, and the capture process starting late, dying and
// restarting ends or resumes the stream with stream events, never a hang.
#include <windows.h>

#include <cstring>
#include <cstdio>
#include <memory>
#include <vector>
#include <string>

#include "companions/components/local/CV77CaptureRingMapping.h"
#include "sources/CV77DsLocalSourceFilter.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/ProcessHandleCount.h"
#include "tests/local/CCaptureProcess.h"
#include "tests/sources/LiveSourceFixture.h"
#include "tools/V77Capture/V77FrameStamp.h"

namespace {

constexpr uint32_t kCaptureWidth = 128;
constexpr uint32_t kCaptureHeight = 96;
constexpr LONG kStampBytes = kCaptureWidth * 2 * kStampRows;
constexpr int kCycles = 150;
// How long the local receiver's Open waits for a capture process's ring.
constexpr DWORD kAttachWaitMs = 3000;

SOURCE_INFORMATION CaptureInformation()
{
    SOURCE_INFORMATION info = {};
    info.AvgTimePerFrame = 200000;  // 50 fps
    info.Width = kCaptureWidth;
    info.Height = kCaptureHeight;
    info.Compression = MAKEFOURCC('Y', 'U', 'Y', '2');
    info.BitCount = 16;
    return info;
}

long StampOf(const RenderedSample& sample, uint32_t width = kCaptureWidth)
{
    return ReadFrameStamp(sample.bytes.data(), width, width * 2, sample.bytes.size());
}

// A file of the folder CTest names in V77_LIVE_MEDIA (made by ffmpeg), as a Windows path.
std::wstring MediaPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"V77_LIVE_MEDIA", folder, MAX_PATH))
        return std::wstring();
    std::wstring path = std::wstring(folder) + L"\\" + name;
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    return path;
}

std::vector<BYTE> ReadAll(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        BYTE chunk[4096];
        size_t got = 0;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        fclose(file);
    }
    return bytes;
}

// Whether p lies in the frame slots of a mapped view of a capture ring (the
// receiver's own view, while it is open).
bool InCaptureRing(const void* p)
{
    MEMORY_BASIC_INFORMATION region = {};
    if (!p || !VirtualQuery(p, &region, sizeof region) || region.Type != MEM_MAPPED)
        return false;
    auto* base = static_cast<BYTE*>(region.AllocationBase);
    const size_t mapped = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize - base;
    CV77CaptureRing ring(base, mapped);
    const BYTE* first = base + ring.Header().dataOffset;
    return ring.IsValid() && p >= first && p < first + ring.Header().slotCount * ring.Header().slotStride;
}

class LocalCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_EQ(S_OK, m_Graph.Create());
        static int s_Run = 0;
        m_Name = L"test" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++s_Run);
    }
    void TearDown() override
    {
        m_Graph.Release();
        m_Renderer.Reset();
        m_Buffer.Reset();
        m_Source.Reset();
        m_Capture.reset();
    }

    void StartCapture(const std::wstring& more = L"--size 128x96 --fps 50")
    {
        m_Capture = std::make_unique<CCaptureProcess>(L"--name " + m_Name + L" " + more);
        ASSERT_TRUE(m_Capture->Started()) << "V77Capture.exe beside the test program";
    }
    // The local source, opened on the ring (SOURCE_INFORMATION given as a fallback when info).
    HRESULT OpenSource(const SOURCE_INFORMATION* info = nullptr)
    {
        m_Source = NewFilter<CV77DsLocalSourceFilter>(TEXT("local"));
        if (!m_Source)
            return E_FAIL;
        SOURCE_INFORMATION record = info ? *info : SOURCE_INFORMATION{};
        BSTR name = SysAllocString(m_Name.c_str());
        const HRESULT hr = SourceControl(m_Source.Get())->Open(name, nullptr, 0, 0, 0, info ? &record : nullptr);
        SysFreeString(name);
        return hr;
    }
    void BuildGraph(LONG bytesRecorded = kStampBytes)
    {
        TestRendererConfig config;
        config.waitForSampleTime = false;
        config.bytesRecorded = bytesRecorded;
        m_Renderer = Adopt(CTestRenderer::Create(config));
        m_Buffer = NewLiveBuffer();
        ASSERT_TRUE(m_Source && m_Renderer && m_Buffer);
        ASSERT_EQ(S_OK, m_Graph.Add(m_Source.Get(), L"local"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"buffer"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source.Get(), m_Buffer.Get()));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Buffer.Get(), m_Renderer->Filter()));
    }
    // The test's own view of the ring: it keeps the ring alive to count leases.
    CV77CaptureRing* Ring()
    {
        if (!m_Mapping)
            CV77CaptureRingMapping::Open(m_Name, &m_Mapping);
        return m_Mapping ? &m_Mapping->Ring() : nullptr;
    }
    bool LeasesComeBack()
    {
        CV77CaptureRing* ring = Ring();
        return ring && WaitUntil([&] { return ring->CountLeased() == 0; }, kFlowTimeoutMs);
    }
    // Frame numbers of the samples rendered from index first on, all stamped and rising.
    void ExpectRisingStamps(size_t first, size_t minimum)
    {
        const std::vector<RenderedSample> samples = m_Renderer->Samples();
        ASSERT_GE(samples.size(), first + minimum);
        long previous = -1;
        for (size_t i = first; i < samples.size(); ++i) {
            const long frame = StampOf(samples[i]);
            ASSERT_GE(frame, 0) << "sample " << i << " carries no readable frame number";
            EXPECT_GT(frame, previous) << "sample " << i << " goes back in frame order";
            previous = frame;
        }
    }

    CComInit m_Com;
    TestGraph m_Graph;
    std::wstring m_Name;
    std::unique_ptr<CCaptureProcess> m_Capture;
    std::shared_ptr<CV77CaptureRingMapping> m_Mapping;
    ComPtr<CV77DsLocalSourceFilter> m_Source;
    ComPtr<CV77DsBufferFilter> m_Buffer;
    ComPtr<CTestRenderer> m_Renderer;
};

TEST_F(LocalCaptureTest, FramesArriveInOrderThroughTheBufferAndEveryLeaseComesBack)
{
    StartCapture();
    // Opened at once: the tool is still starting, and Open waits for its ring.
    SOURCE_INFORMATION info = {};
    m_Source = NewFilter<CV77DsLocalSourceFilter>(TEXT("local"));
    ASSERT_TRUE(m_Source);
    BSTR name = SysAllocString(m_Name.c_str());
    EXPECT_EQ(S_OK, SourceControl(m_Source.Get())->Open(name, nullptr, 0, 0, 0, &info));
    const SOURCE_INFORMATION expected = CaptureInformation();
    EXPECT_EQ(0, std::memcmp(&expected, &info, sizeof info)) << "the description is the ring's";
    BuildGraph();
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(40, kFlowTimeoutMs));
    // No copy between the capture process and the renderer: the frames drawn
    // are the ring's slots (checked while the receiver has the ring mapped).
    for (const RenderedSample& sample : m_Renderer->Samples())
        ASSERT_TRUE(InCaptureRing(sample.data)) << "a frame was copied out of its ring slot";
    EXPECT_EQ(VFW_E_WRONG_STATE, SourceControl(m_Source.Get())->Open(name, nullptr, 0, 0, 0, &info));
    SysFreeString(name);
    const size_t seen = m_Renderer->SampleCount();
    EXPECT_TRUE(m_Renderer->WaitForSamples(seen + 10, kFlowTimeoutMs)) << "Open while running stopped the frames";
    ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
    ExpectRisingStamps(0, 50);
    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    m_Graph.DrainEvents();
    EXPECT_EQ(1, m_Graph.CountEvents(EC_V77_STREAM_EVENT_1)) << "stream event A when frames started";
    EXPECT_EQ(0, m_Graph.CountEvents(EC_V77_STREAM_EVENT_2));
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_LE(samples[i - 1].mediaStart, samples[i].mediaStart) << "capture times go forward";
    }
    // Nothing is lost on the way at the tool's pace: the numbers are consecutive.
    EXPECT_GE(static_cast<size_t>(StampOf(samples.back()) - StampOf(samples.front()) + 1), samples.size());
    EXPECT_LE(static_cast<size_t>(StampOf(samples.back()) - StampOf(samples.front()) + 1), samples.size() + 2);
    EXPECT_TRUE(LeasesComeBack()) << Ring()->CountLeased() << " slots still leased after Stop";
}

TEST_F(LocalCaptureTest, StateCyclesLeakNoLeaseObjectOrHandle)
{
    StartCapture();
    ASSERT_EQ(S_OK, OpenSource());
    BuildGraph();
    ASSERT_TRUE(Ring());
    LONG objects = 0;
    DWORD handles = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_TRUE(SUCCEEDED(m_Graph.PauseAndWait(kStateTimeoutMs)));
        ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
        ASSERT_TRUE(m_Renderer->WaitForSamples(m_Renderer->SampleCount() + 1, kFlowTimeoutMs));
        ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
        ASSERT_TRUE(LeasesComeBack()) << Ring()->CountLeased() << " slots leased after Stop";
        m_Graph.DrainEvents();
        if (cycle == 1) {
            objects = CBaseObject::ObjectsActive();
            handles = ProcessHandleCount();
        }
    }
    EXPECT_EQ(objects, CBaseObject::ObjectsActive()) << "objects leaked over the cycles";
    const DWORD after = ProcessHandleCount();
    ASSERT_NE(0u, after) << "no handle count available";
    EXPECT_LE(after, handles + 8) << "handles leaked over the cycles";
    EXPECT_EQ(kCycles, m_Graph.CountEvents(EC_V77_STREAM_EVENT_1));
}

TEST_F(LocalCaptureTest, ACaptureProcessThatDiesEndsTheStreamAndOneThatRestartsResumesIt)
{
    StartCapture();
    ASSERT_EQ(S_OK, OpenSource());
    BuildGraph();
    ASSERT_TRUE(Ring());
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(20, kFlowTimeoutMs));
    // A frame this (live) viewer holds, as a sample downstream holds its
    // slot's memory: the new process must write around it.
    V77CaptureLease held;
    ASSERT_TRUE(WaitUntil([&] { return Ring()->TakeOldest(GetCurrentProcessId(), &held); }, kFlowTimeoutMs));
    auto heldStamp = [&] {
        return ReadFrameStamp(Ring()->LeasedData(held), kCaptureWidth, kCaptureWidth * 2, held.length);
    };
    const long heldFrame = heldStamp();
    ASSERT_GE(heldFrame, 0);
    ASSERT_TRUE(m_Capture->Kill());
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowTimeoutMs)) << "no stream event B for a dead capture";
    const size_t beforeRestart = m_Renderer->SampleCount();

    StartCapture();  // the same ring, taken over by a new process while the graph runs
    EXPECT_TRUE(m_Graph.WaitForEvent(EC_V77_STREAM_EVENT_1, kFlowTimeoutMs)) << "no stream event A after the restart";
    ASSERT_TRUE(m_Renderer->WaitForSamples(beforeRestart + 20, kFlowTimeoutMs));
    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    EXPECT_LT(StampOf(samples.back()), StampOf(samples[beforeRestart - 1])) << "the new process counts from 0 again";
    ExpectRisingStamps(beforeRestart + 1, 10);
    EXPECT_EQ(heldFrame, heldStamp()) << "the restarted process wrote into a leased slot";
    EXPECT_TRUE(Ring()->Return(held)) << "a live viewer's lease survives the takeover";
    ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
    EXPECT_TRUE(LeasesComeBack());

    // Killed while stopped: the next Pause and Run find no capture process
    // (Pause fails, or the ring is still there and the stream reports it
    // empty) in bounded time.
    ASSERT_TRUE(m_Capture->Kill());
    m_Mapping.reset();
    m_Graph.DrainEvents();
    const int endsBefore = m_Graph.CountEvents(EC_V77_STREAM_EVENT_2);
    HRESULT ran = S_OK;
    ASSERT_TRUE(FinishesWithin(kStateTimeoutMs + kAttachWaitMs, [&] { ran = m_Graph.RunAndWait(kStateTimeoutMs); }));
    if (SUCCEEDED(ran)) {
        EXPECT_TRUE(m_Graph.WaitForEvent(EC_V77_STREAM_EVENT_2, kFlowTimeoutMs) ||
                    m_Graph.CountEvents(EC_V77_STREAM_EVENT_2) > endsBefore)
            << "running on a ring nobody fills raises no stream event B";
    }
    ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
}

// Also: on the buffer's allocator (SetUseOwnAllocator(FALSE)) no lease rides
// on the samples, so each frame is copied out before its slot goes back.
TEST_F(LocalCaptureTest, ACaptureProcessStartedLateIsFoundAtTheNextPause)
{
    SOURCE_INFORMATION info = CaptureInformation();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), OpenSource()) << "no ring and no description";
    EXPECT_EQ(S_FALSE, OpenSource(&info)) << "no ring: the caller's description is used";
    ASSERT_EQ(S_OK, SourceControl(m_Source.Get())->SetUseOwnAllocator(FALSE));
    BuildGraph();
    StartCapture();
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs + kAttachWaitMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(20, kFlowTimeoutMs));
    ExpectRisingStamps(0, 20);
    for (const RenderedSample& sample : m_Renderer->Samples())
        ASSERT_FALSE(InCaptureRing(sample.data)) << "a slot's memory went out without its lease";
    ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
    EXPECT_TRUE(LeasesComeBack());
}

// A viewer process that dies with frames leased does not starve the tool:
// leases in the name of a process that is gone are taken back.
TEST_F(LocalCaptureTest, TheToolTakesBackTheLeasesOfAViewerThatIsGone)
{
    StartCapture();
    const DWORD gonePid = GetProcessId(GetCurrentProcess()) ^ 0x40000;  // no process of Wine's has such an id
    ASSERT_FALSE(CV77CaptureRingMapping::IsProcessAlive(gonePid));
    ASSERT_TRUE(WaitUntil([&] { return Ring() != nullptr; }, kFlowTimeoutMs));
    int leased = 0;
    V77CaptureLease lease;
    ASSERT_TRUE(WaitUntil([&] {
        leased += Ring()->TakeOldest(gonePid, &lease) ? 1 : 0;
        return leased == 3;
    }, kFlowTimeoutMs));
    EXPECT_EQ(3u, Ring()->CountLeased());
    EXPECT_TRUE(LeasesComeBack()) << "the tool kept the leases of a viewer that is gone";
    EXPECT_GT(Ring()->Header().framesProduced.load(), 3u);
}

// File mode: the tool plays an ffmpeg-made AVI file in a loop through
// AVIFile; below its stamp every picture is ffmpeg's frame, byte for byte.
TEST_F(LocalCaptureTest, TheToolPlaysAnAviFileInALoopWithItsFramesUnchangedBelowTheStamp)
{
    constexpr uint32_t kFileWidth = 64, kFileHeight = 48, kFileFrames = 10;
    constexpr size_t kFrameBytes = kFileWidth * kFileHeight * 2, kBand = kFileWidth * 2 * kStampRows;
    const std::vector<BYTE> raw = ReadAll(MediaPath(L"pattern.yuv"));
    ASSERT_EQ(kFileFrames * kFrameBytes, raw.size()) << "ffmpeg's raw copy of pattern.avi (V77_LIVE_MEDIA)";
    StartCapture(L"--avi \"" + MediaPath(L"pattern.avi") + L"\"");
    SOURCE_INFORMATION info = {};
    ASSERT_EQ(S_OK, OpenSource());
    ASSERT_EQ(S_OK, m_Source->GetSourceInformation(&info));
    EXPECT_EQ(static_cast<LONG>(kFileWidth), info.Width);
    EXPECT_EQ(400000, info.AvgTimePerFrame) << "the file's 25 fps";
    BuildGraph(static_cast<LONG>(kFrameBytes));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(m_Renderer->WaitForSamples(25, kFlowTimeoutMs)) << "more than two loops of the file";
    ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
    long previous = -1;
    for (const RenderedSample& sample : m_Renderer->Samples()) {
        const long frame = StampOf(sample, kFileWidth);
        ASSERT_GT(frame, previous);
        previous = frame;
        ASSERT_EQ(kFrameBytes, sample.bytes.size());
        const BYTE* expected = &raw[(frame % kFileFrames) * kFrameBytes];
        EXPECT_EQ(0, std::memcmp(sample.bytes.data() + kBand, expected + kBand, kFrameBytes - kBand))
            << "frame " << frame << " is not the file's frame " << frame % kFileFrames;
    }
    EXPECT_TRUE(LeasesComeBack());
}

}  // namespace
