// The archive local source through the capture tool in archive mode: frames
// arrive in the tool's shared ring and ride on the pin's own samples as
// leases; the tool killed in the middle of a stretch, and Stop while the
// receiver waits on a slow tool.
#include <algorithm>
#include <memory>

#include "companions/components/local/CV77CaptureRingMapping.h"
#include "sources/CV77DsARCAllocator.h"
#include "sources/CV77DsARCLocalOutput.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/sources/ArchiveStoreFixture.h"

namespace {

class ArchiveLocalTest : public ArchiveStoreFixture {
protected:
    void SetUp() override
    {
        ArchiveStoreFixture::SetUp();
        m_StoreKind = SourceKind::Local;
    }

    // The ring the capture tool made for its first viewer.
    std::shared_ptr<CV77CaptureRingMapping> FirstViewersRing()
    {
        std::shared_ptr<CV77CaptureRingMapping> ring;
        const std::wstring name = L"V77Archive." + std::to_wstring(m_Server.ProcessId()) + L".1";
        EXPECT_EQ(S_OK, CV77CaptureRingMapping::Open(name, &ring));
        return ring;
    }
};

// Every sample of the local source's allocator holds a reference on it: the
// count says how many samples are alive.
ULONG References(IMemAllocator* allocator)
{
    allocator->AddRef();
    return allocator->Release();
}

TEST_F(ArchiveLocalTest, PlaysThroughTheCaptureProcessAndEverySampleAndLeaseComesBack)
{
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    std::shared_ptr<CV77CaptureRingMapping> ring = FirstViewersRing();
    ASSERT_TRUE(ring);
    auto* output = static_cast<CV77DsARCLocalOutput*>(m_Chains[0].source->GetPin(0));
    CV77DsARCAllocator* allocator = output->OwnAllocator();
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(S_OK, allocator->GetProperties(&props));
    ASSERT_GT(props.cBuffers, 3 * kSegment) << "the pin's own samples cover what the buffer keeps queued";
    const ULONG idle = References(allocator);
    ASSERT_NO_FATAL_FAILURE(Run());

    // From a seek inside the first file forward across both file edges to the end.
    ASSERT_EQ(S_OK, SeekGroup(34));
    ASSERT_EQ(S_OK, SetRate(8.0));
    ASSERT_TRUE(m_Graph.WaitForEvent(EC_V77_SEGMENT_END, 3 * kEventTimeoutMs)) << Text(RenderedFrames());
    Sleep(300);
    const std::vector<int> frames = RenderedFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(34, frames.front());
    EXPECT_EQ(119, frames.back());
    ExpectStep(frames, 1, "local source, forward across the edges at 40 and 80");
    const size_t unqueued = static_cast<size_t>(props.cBuffers - 3 * kSegment);
    EXPECT_TRUE(WaitUntil([&] { return allocator->FreeCount() >= unqueued; }, kEventTimeoutMs))
        << "samples the buffer does not keep come back: " << allocator->FreeCount() << " of " << props.cBuffers;
    EXPECT_GT(ring->Ring().CountLeased(), 0u) << "the frames the buffer keeps hold their ring slots";

    // A flushing seek hands back what the buffer kept; play goes on from there.
    m_Chains[0].renderer->ClearSamples();
    ASSERT_EQ(S_OK, SeekGroup(5));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 45; }, kEventTimeoutMs)) << Text(RenderedFrames());
    const std::vector<int> again = RenderedFrames();
    const auto restart = std::find(again.begin(), again.end(), 5);
    ASSERT_NE(again.end(), restart) << Text(again);
    ExpectStep(std::vector<int>(restart, again.end()), 1, "local source after a seek, across the edge at 40");

    ExpectQuickStop("local source playing after a seek");
    EXPECT_EQ(0u, allocator->FreeCount()) << "Stop decommits";
    EXPECT_TRUE(WaitUntil([&] { return References(allocator) == idle; }, kEventTimeoutMs))
        << "samples still alive after Stop: " << References(allocator) - idle;
    EXPECT_TRUE(WaitUntil([&] { return ring->Ring().CountLeased() == 0; }, kEventTimeoutMs))
        << ring->Ring().CountLeased() << " ring slots still leased after Stop";
}

TEST_F(ArchiveLocalTest, TheCaptureProcessKilledMidStretchFailsPlaybackOnceAndARestartedOneIsReachedAgain)
{
    ASSERT_TRUE(m_Server.StartCapture(StorePath("plain"), CaptureName(), 60));  // slower than play
    ASSERT_NO_FATAL_FAILURE(PlayFromASlowPeer());
    const ULONGLONG killed = NowMs();
    m_Server.Kill();
    const HRESULT status = NextFailure();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE), status) << "0x" << std::hex << status;
    EXPECT_LT(NowMs() - killed, 2500u) << "the process's end is seen, not waited out";
    Sleep(1000);
    m_Graph.DrainEvents();
    // Auto restart set: the source reports the failed stretch at once, the
    // master buffer the end of playback where the frames held run out.
    const std::vector<GraphEvent> ends = EventsWithCode(m_Graph, EC_V77_SEGMENT_END);
    EXPECT_EQ(2u, ends.size()) << "no retry storm";
    for (const GraphEvent& end : ends)
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE), static_cast<HRESULT>(end.param1)) << "0x" << std::hex << end.param1;
    ExpectStep(RenderedFrames(), 1, "what was delivered before the loss");
    ExpectQuickStop("after the capture process died");
    {
        // Nobody serves the name now: opening waits for a moment, then says so.
        ComPtr<CV77DsARCSourceFilterBase> late = NewSource(SourceKind::Local);
        ASSERT_TRUE(late);
        BSTR name = SysAllocString(CaptureName().c_str());
        SOURCE_INFORMATION info = {};
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                  Bounded([&] { return late->Open(name, nullptr, FALSE, &info); }));
        SysFreeString(name);
    }

    // Again with a ring far smaller than the source's pool: frames the buffer
    // keeps no longer hold their slots once half the ring is held.
    ASSERT_TRUE(m_Server.StartCapture(StorePath("plain"), CaptureName(), 0, 4));
    m_Chains[0].renderer->ClearSamples();
    ASSERT_NO_FATAL_FAILURE(Run());
    ASSERT_EQ(S_OK, SeekGroup(50));
    ASSERT_EQ(S_OK, SetRate(4.0));
    ASSERT_TRUE(WaitUntil([&] { return LastFrame() >= 90; }, kEventTimeoutMs)) << Text(RenderedFrames());
    const std::vector<int> frames = RenderedFrames();
    const auto from = std::find(frames.begin(), frames.end(), 50);
    ASSERT_NE(frames.end(), from) << Text(frames);
    ExpectStep(std::vector<int>(from, frames.end()), 1, "through a 4-slot ring, across the edge at 80");
    ExpectQuickStop("after connecting again");
}

TEST_F(ArchiveLocalTest, StopReturnsWithinASecondWhileTheReceiverWaitsForASlowCaptureProcess)
{
    ASSERT_TRUE(m_Server.StartCapture(StorePath("plain"), CaptureName(), 2000));
    ASSERT_NO_FATAL_FAILURE(BuildStore("plain"));
    ASSERT_NO_FATAL_FAILURE(Run());
    ExpectStopReleasesAWaitingSeek(500, "waiting for a frame of a slow capture process");
}

}  // namespace
