// The buffer filter under stress in Wine's real filter graph: Stop, flushing
// and the host dropping a playing graph while the filter's threads are held
// (delivery blocked in the renderer, an archive source waiting in
// WaitForRequest, delivery pacing a frame due far ahead), and hundreds of
// state cycles under load that must give back every pooled sample and leak
// neither objects nor handles. Every call that could hang runs on its own
// thread with a deadline, so a fault fails the test instead of hanging it.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include "buffer/CV77DsBufferInput.h"
#include "buffer/CV77DsBufferInputAllocator.h"
#include "buffer/CV77DsBufferOutput.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/BufferGraphFixture.h"
#include "tests/buffer/CScriptedArchiveSource.h"
#include "tests/buffer/ProcessHandleCount.h"

namespace {

constexpr DWORD kReturnMs = 3000;       // a woken call returns well within this
constexpr DWORD kSeekMs = 5000;         // a seek waits for the source to fill three segments
constexpr DWORD kProbeMs = 200;         // a call still running after this is blocked
constexpr LONG kLiveBuffers = 8;
constexpr REFERENCE_TIME kLiveFrame = 10000;        // 1 ms: the live source runs flat out
constexpr LONG kSegment = 5;
constexpr int kArchiveFrames = 40;
constexpr REFERENCE_TIME kFarFrame = 100000000;     // 10 s between recorded frames
constexpr int kCycles = 500;
constexpr DWORD kHandleSlack = 16;

class BufferRobustnessTest : public ::testing::Test {
protected:
    BufferRobustnessTest() : m_Recording(kArchiveFrames, kSegment, kFarFrame) {}

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        m_lObjectsBefore = CBaseObject::ObjectsActive();
        ASSERT_EQ(S_OK, m_Graph.Create());
    }

    void TearDown() override
    {
        if (m_bAbandoned) {
            // A call still hangs inside the graph: leave it all alive rather than hang here too.
            m_Source.Detach();
            m_Archive.Detach();
            m_Buffer.Detach();
            m_Renderer.Detach();
            m_Graph.Abandon();
            return;
        }
        if (m_Graph.Graph())
            m_Graph.StopAndWait(kStateTimeoutMs);
        m_Graph.Drop();
        m_Source.Reset();
        m_Archive.Reset();
        m_Buffer.Reset();
        m_Renderer.Reset();
    }

    // Runs call on its own thread: true when it returned within timeoutMs (its result in *hr).
    bool ReturnsWithin(DWORD timeoutMs, std::function<HRESULT()> call, HRESULT* hr = nullptr)
    {
        auto result = std::make_shared<std::atomic<HRESULT>>(E_PENDING);
        BoundedCall bounded([call, result] { *result = call(); });
        const bool returned = bounded.Wait(timeoutMs);
        if (!returned)
            m_bAbandoned = true;
        if (hr)
            *hr = result->load();
        return returned;
    }

    static TestRendererConfig DrawOnArrival()
    {
        TestRendererConfig config;
        config.waitForSampleTime = false;
        return config;
    }

    // A live source running flat out, a renderer drawing on arrival, and a buffer with a queue of kind.
    void MakeLiveFilters(DWORD kind)
    {
        TestSourceConfig source;
        source.mediaType = MakeTestVideoType(4, 4, kLiveFrame);
        source.frameCount = 100000000;
        source.frameDuration = kLiveFrame;
        source.endOfStream = false;
        m_Source = Adopt(CTestSource::Create(source));
        m_Renderer = Adopt(CTestRenderer::Create(DrawOnArrival()));
        m_Buffer = NewBufferFilter();
        ASSERT_TRUE(m_Source && m_Renderer && m_Buffer);
        ASSERT_EQ(S_FALSE, BufferControl(m_Buffer.Get())->CreateQueue(kind, kSegment, nullptr));
    }

    // live source -> buffer (standard queue) -> renderer, connected.
    void BuildLive()
    {
        ASSERT_NO_FATAL_FAILURE(MakeLiveFilters(V77_QUEUE_STANDARD));
        ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->SetBufferCount(kLiveBuffers));
        ASSERT_NO_FATAL_FAILURE(AddAndConnect(m_Source->Filter()));
    }

    // archive source -> buffer (time-shift queue) -> renderer, connected.
    void BuildArchive()
    {
        m_Archive = Adopt(CScriptedArchiveSource::Create(m_Recording, MakeTestVideoType(4, 4, kFarFrame)));
        m_Renderer = Adopt(CTestRenderer::Create(DrawOnArrival()));
        m_Buffer = NewBufferFilter();
        ASSERT_TRUE(m_Archive && m_Renderer && m_Buffer);
        ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
        ASSERT_EQ(S_FALSE, control->CreateQueue(V77_QUEUE_FULL, kSegment, nullptr));
        ASSERT_EQ(S_OK, control->SetTimeStep(kFarFrame));
        ASSERT_NO_FATAL_FAILURE(AddAndConnect(m_Archive->Filter()));
    }

    void AddAndConnect(IBaseFilter* source)
    {
        ASSERT_EQ(S_OK, m_Graph.Add(source, L"source"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Buffer.Get(), L"buffer"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(source, m_Buffer.Get()));
        ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Buffer.Get(), m_Renderer->Filter()));
    }

    // Runs the live graph and leaves the delivery thread held in the renderer's Receive.
    void RunLiveAndHoldDelivery()
    {
        ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
        ASSERT_TRUE(m_Renderer->WaitForSamples(1, kEventTimeoutMs));
        m_Renderer->TestPin()->Block();
        ASSERT_TRUE(m_Renderer->TestPin()->WaitUntilBlocked(kEventTimeoutMs));
    }

    // Runs the archive graph, shows frame 10 and leaves the delivery thread
    // pacing frame 11, due 10 s later on the graph clock.
    void RunArchiveAndPaceAFarFrame()
    {
        ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
        ASSERT_EQ(S_OK, Seek(10));
        ASSERT_EQ(S_OK, BufferControl(m_Buffer.Get())->SetGroupRate(1.0));
        ASSERT_TRUE(m_Renderer->WaitForSamples(1, kEventTimeoutMs));
        Sleep(kProbeMs);
        ASSERT_EQ(1u, m_Renderer->SampleCount()) << "the next frame is due in 10 s";
    }

    HRESULT Seek(int frame)
    {
        ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
        const REFERENCE_TIME position = m_Recording.TimeOf(frame);
        HRESULT hr = E_PENDING;
        EXPECT_TRUE(ReturnsWithin(kSeekMs, [control, position] {
            REFERENCE_TIME at = position;
            return control->SetGroupPositions(&at, nullptr, nullptr);
        }, &hr)) << "the seek to frame " << frame << " did not return";
        return hr;
    }

    // A caller parked in WaitForRequest on its own thread; its result lands in *result.
    // The caller holds its own reference for the call, as COM requires, and drops it after.
    std::unique_ptr<BoundedCall> WaitForRequestOnItsOwn(std::shared_ptr<std::atomic<HRESULT>>* result)
    {
        ComPtr<IV77DsBufferNotify> notify;
        EXPECT_EQ(S_OK, m_Buffer->QueryInterface(IID_IV77DsBufferNotify, reinterpret_cast<void**>(notify.GetAddressOf())));
        auto out = std::make_shared<std::atomic<HRESULT>>(E_PENDING);
        *result = out;
        return std::make_unique<BoundedCall>([notify, out]() mutable {
            REFERENCE_TIME position = 0;
            DWORD type = 0;
            WORD flush = 0;
            *out = notify->WaitForRequest(&position, &type, &flush);
            notify.Reset();
        });
    }

    HRESULT StopGraph()
    {
        HRESULT hr = E_PENDING;
        TestGraph* graph = &m_Graph;
        EXPECT_TRUE(ReturnsWithin(kReturnMs, [graph] { return graph->StopAndWait(kStateTimeoutMs); }, &hr))
            << "Stop did not return";
        return hr;
    }

    // BeginFlush then EndFlush on the buffer's input, each bounded.
    void FlushInput()
    {
        CV77DsBufferInput* input = m_Buffer->Input();
        HRESULT hr = E_PENDING;
        ASSERT_TRUE(ReturnsWithin(kReturnMs, [input] { return input->BeginFlush(); }, &hr)) << "BeginFlush hung";
        EXPECT_EQ(S_OK, hr);
        ASSERT_TRUE(ReturnsWithin(kReturnMs, [input] { return input->EndFlush(); }, &hr)) << "EndFlush hung";
        EXPECT_EQ(S_OK, hr);
    }

    // The host lets go of everything while the graph plays; true when that returned in time.
    bool DropEverything()
    {
        m_Source.Reset();
        m_Archive.Reset();
        m_Buffer.Reset();
        m_Renderer.Reset();
        TestGraph* host = &m_Graph;
        return ReturnsWithin(kReturnMs, [host] {
            host->Drop();
            return S_OK;
        });
    }

    bool EveryObjectFreed()
    {
        return WaitUntil([&] { return CBaseObject::ObjectsActive() == m_lObjectsBefore; }, kReturnMs);
    }

    ComPtr<IV77SamplePool> InputPool()
    {
        ComPtr<IV77SamplePool> pool;
        m_Buffer->Input()->OwnAllocator()->GetPool(&pool);
        return pool;
    }

    // Every item of the pool is free and nobody but the caller holds it.
    static ::testing::AssertionResult PoolIsWhole(IV77SamplePool* pool)
    {
        const DWORD free = pool->GetFreeCount();
        const DWORD items = pool->GetItemCount();
        pool->AddRef();
        const ULONG refs = pool->Release();
        if (free == items && refs == 1)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << free << " of " << items << " samples free, " << refs
                                             << " references on the pool (1 expected)";
    }

    CComInit m_Com;
    LONG m_lObjectsBefore = 0;
    bool m_bAbandoned = false;
    SyntheticRecording m_Recording;
    TestGraph m_Graph;
    ComPtr<CTestSource> m_Source;
    ComPtr<CScriptedArchiveSource> m_Archive;
    ComPtr<CV77DsBufferFilter> m_Buffer;
    ComPtr<CTestRenderer> m_Renderer;
};

// ---- the delivery thread held in the renderer ----

TEST_F(BufferRobustnessTest, StopReturnsWhileDeliveryIsHeldInTheRenderer)
{
    ASSERT_NO_FATAL_FAILURE(BuildLive());
    ASSERT_NO_FATAL_FAILURE(RunLiveAndHoldDelivery());
    ComPtr<IV77SamplePool> pool = InputPool();
    ASSERT_TRUE(pool);
    EXPECT_EQ(S_OK, StopGraph());
    EXPECT_TRUE(PoolIsWhole(pool.Get())) << "after Stop every pooled sample is back";
}

TEST_F(BufferRobustnessTest, FlushingTheInputReleasesHeldDeliveryAndStreamingResumes)
{
    ASSERT_NO_FATAL_FAILURE(BuildLive());
    ASSERT_NO_FATAL_FAILURE(RunLiveAndHoldDelivery());
    ASSERT_NO_FATAL_FAILURE(FlushInput());
    EXPECT_EQ(1, m_Renderer->TestPin()->beginFlushes.load()) << "the flush went downstream";
    EXPECT_EQ(1, m_Renderer->TestPin()->endFlushes.load());

    // The refused source waits for a command; a seek restarts it (flushing once more).
    m_Renderer->ClearSamples();
    ComPtr<IV77DsBuffer> control = BufferControl(m_Buffer.Get());
    HRESULT hr = E_PENDING;
    ASSERT_TRUE(ReturnsWithin(kReturnMs, [control] {
        REFERENCE_TIME start = 0;
        return control->SetGroupPositions(&start, nullptr, nullptr);
    }, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_TRUE(m_Renderer->WaitForSamples(20, kEventTimeoutMs))
        << "the delivery thread stopped delivering after the flush";
    EXPECT_EQ(S_OK, StopGraph());
}

TEST_F(BufferRobustnessTest, DroppingThePlayingGraphWhileDeliveryIsHeldFreesEveryObject)
{
    ASSERT_NO_FATAL_FAILURE(BuildLive());
    ASSERT_NO_FATAL_FAILURE(RunLiveAndHoldDelivery());
    ComPtr<IV77SamplePool> pool = InputPool();
    ASSERT_TRUE(pool);
    ASSERT_TRUE(DropEverything()) << "releasing the graph hung";
    EXPECT_TRUE(EveryObjectFreed()) << CBaseObject::ObjectsActive() - m_lObjectsBefore << " objects left";
    EXPECT_TRUE(PoolIsWhole(pool.Get()));
}

// ---- an archive source waiting in WaitForRequest ----

TEST_F(BufferRobustnessTest, StopReleasesABlockedWaitForRequest)
{
    ASSERT_NO_FATAL_FAILURE(BuildArchive());
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    std::shared_ptr<std::atomic<HRESULT>> result;
    std::unique_ptr<BoundedCall> waiter = WaitForRequestOnItsOwn(&result);
    ASSERT_FALSE(waiter->Wait(kProbeMs)) << "nothing was requested: the caller waits";
    EXPECT_EQ(S_OK, StopGraph()) << "the archive source's own waiting thread must end too";
    ASSERT_TRUE(waiter->Wait(kReturnMs)) << "Stop left WaitForRequest blocked";
    EXPECT_EQ(E_FAIL, result->load());
    EXPECT_TRUE(m_Archive->Requests().empty());
}

TEST_F(BufferRobustnessTest, AFlushReleasesABlockedWaitForRequestWithAFailure)
{
    ASSERT_NO_FATAL_FAILURE(BuildArchive());
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    std::shared_ptr<std::atomic<HRESULT>> result;
    std::unique_ptr<BoundedCall> waiter = WaitForRequestOnItsOwn(&result);
    ASSERT_FALSE(waiter->Wait(kProbeMs)) << "nothing was requested: the caller waits";
    // A flush reaching the buffer means the source repositions on its own: a
    // source parked in WaitForRequest must stop asking, not deadlock with it.
    ASSERT_NO_FATAL_FAILURE(FlushInput());
    ASSERT_TRUE(waiter->Wait(kReturnMs)) << "the flush left WaitForRequest blocked";
    EXPECT_EQ(E_FAIL, result->load());
    EXPECT_EQ(S_OK, StopGraph());
}

TEST_F(BufferRobustnessTest, DroppingThePlayingGraphReleasesABlockedWaitForRequest)
{
    ASSERT_NO_FATAL_FAILURE(BuildArchive());
    ASSERT_TRUE(SUCCEEDED(m_Graph.Run()));
    std::shared_ptr<std::atomic<HRESULT>> result;
    std::unique_ptr<BoundedCall> waiter = WaitForRequestOnItsOwn(&result);
    ASSERT_FALSE(waiter->Wait(kProbeMs));
    ASSERT_TRUE(DropEverything()) << "releasing the graph hung";
    ASSERT_TRUE(waiter->Wait(kReturnMs)) << "the dropped graph left WaitForRequest blocked";
    EXPECT_EQ(E_FAIL, result->load());
    EXPECT_TRUE(EveryObjectFreed()) << CBaseObject::ObjectsActive() - m_lObjectsBefore << " objects left";
}

// ---- delivery pacing a frame due far ahead ----

TEST_F(BufferRobustnessTest, StopReturnsWhileDeliveryPacesAFarFrame)
{
    ASSERT_NO_FATAL_FAILURE(BuildArchive());
    ASSERT_NO_FATAL_FAILURE(RunArchiveAndPaceAFarFrame());
    ComPtr<IV77SamplePool> pool = InputPool();
    ASSERT_TRUE(pool);
    const ULONGLONG begin = NowMs();
    EXPECT_EQ(S_OK, StopGraph());
    EXPECT_LT(NowMs() - begin, 2000u) << "Stop waited for the clock";
    EXPECT_TRUE(PoolIsWhole(pool.Get()));
}

TEST_F(BufferRobustnessTest, FlushingWhileDeliveryPacesReleasesItAndStopReturns)
{
    ASSERT_NO_FATAL_FAILURE(BuildArchive());
    ASSERT_NO_FATAL_FAILURE(RunArchiveAndPaceAFarFrame());
    ASSERT_NO_FATAL_FAILURE(FlushInput());
    EXPECT_EQ(1u, m_Renderer->SampleCount()) << "the paced frame went out through the flush";
    const ULONGLONG begin = NowMs();
    EXPECT_EQ(S_OK, StopGraph());
    EXPECT_LT(NowMs() - begin, 2000u) << "Stop waited for the clock";
}

TEST_F(BufferRobustnessTest, DroppingThePlayingGraphWhileDeliveryPacesFreesEveryObject)
{
    ASSERT_NO_FATAL_FAILURE(BuildArchive());
    ASSERT_NO_FATAL_FAILURE(RunArchiveAndPaceAFarFrame());
    ComPtr<IV77SamplePool> pool = InputPool();
    ASSERT_TRUE(pool);
    ASSERT_TRUE(DropEverything()) << "releasing the graph hung";
    EXPECT_TRUE(EveryObjectFreed()) << CBaseObject::ObjectsActive() - m_lObjectsBefore << " objects left";
    EXPECT_TRUE(PoolIsWhole(pool.Get()));
}

// ---- released while active, with no graph to stop it first ----

// Connected by hand to a test source and renderer, the filter is left paused
// (its delivery thread waiting for a frame) or running (frames flowing), its
// peers let go of it, and its last reference goes without a Stop: the
// destructor must end the delivery thread before the queue goes.
TEST_F(BufferRobustnessTest, ReleasingAnActiveFilterWithoutStopEndsItsThreadAndFreesEverything)
{
    const struct {
        DWORD kind;
        bool run;
    } cases[] = {{V77_QUEUE_STANDARD, false}, {V77_QUEUE_STANDARD, true}, {V77_QUEUE_FULL, false}};
    DWORD handles = 0;
    for (int round = 0; round < 5; ++round) {
        for (const auto& c : cases) {
            const std::string where = "round " + std::to_string(round) + ", kind " + std::to_string(c.kind) +
                                      (c.run ? ", running" : ", paused");
            ASSERT_NO_FATAL_FAILURE(MakeLiveFilters(c.kind)) << where;
            ComPtr<IPin> sourcePin = TestGraph::FindPin(m_Source->Filter(), PINDIR_OUTPUT);
            ComPtr<IPin> rendererPin = TestGraph::FindPin(m_Renderer->Filter(), PINDIR_INPUT);
            ASSERT_EQ(S_OK, sourcePin->Connect(m_Buffer->Input(), nullptr)) << where;
            ASSERT_EQ(S_OK, m_Buffer->Output()->Connect(rendererPin.Get(), nullptr)) << where;
            ASSERT_EQ(S_OK, m_Buffer->Pause()) << where;
            ASSERT_TRUE(m_Buffer->Output()->ThreadExists()) << where;
            if (c.run) {
                ASSERT_EQ(S_OK, m_Renderer->Filter()->Run(0)) << where;
                ASSERT_EQ(S_OK, m_Buffer->Run(0)) << where;
                ASSERT_EQ(S_OK, m_Source->Filter()->Run(0)) << where;
                ASSERT_TRUE(m_Renderer->WaitForSamples(3, kEventTimeoutMs)) << where;
                // The peers stop; the buffer goes on delivering into a stopped renderer.
                ASSERT_EQ(S_OK, m_Source->Filter()->Stop()) << where;
                ASSERT_EQ(S_OK, m_Renderer->Filter()->Stop()) << where;
            }
            ASSERT_EQ(S_OK, sourcePin->Disconnect()) << where;
            ASSERT_EQ(S_OK, rendererPin->Disconnect()) << where;
            CV77DsBufferFilter* buffer = m_Buffer.Detach();
            ASSERT_TRUE(ReturnsWithin(kReturnMs, [buffer] { return static_cast<HRESULT>(buffer->Release()); }))
                << where << ": the last Release hung";
            sourcePin.Reset();
            rendererPin.Reset();
            m_Source.Reset();
            m_Renderer.Reset();
            ASSERT_TRUE(EveryObjectFreed()) << where << ": " << CBaseObject::ObjectsActive() - m_lObjectsBefore
                                            << " objects left";
        }
        if (round == 0)
            handles = ProcessHandleCount();  // once everything has been made once
    }
    const DWORD after = ProcessHandleCount();
    EXPECT_LE(after, handles + kHandleSlack) << "handles leaked: " << handles << " -> " << after;
}

// ---- state cycles under load ----

TEST_F(BufferRobustnessTest, PauseRunStopCyclesUnderLoadLoseNoPooledSampleAndLeakNothing)
{
    ASSERT_NO_FATAL_FAILURE(BuildLive());
    LONG objects = 0;
    DWORD handles = 0;
    int failures = 0;
    for (int cycle = 0; cycle < kCycles && failures < 5; ++cycle) {
        const std::string where = "cycle " + std::to_string(cycle);
        ASSERT_EQ(S_OK, m_Graph.PauseAndWait(kStateTimeoutMs)) << where;
        ComPtr<IV77SamplePool> pool = InputPool();
        ASSERT_TRUE(pool) << where;
        // Every other cycle runs with frames flowing; the others stop from Paused.
        if (cycle % 2 == 0) {
            const size_t before = m_Renderer->SampleCount();
            ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs)) << where;
            ASSERT_TRUE(m_Renderer->WaitForSamples(before + 2, kEventTimeoutMs)) << where << ": nothing delivered";
        }
        ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs)) << where;
        const ::testing::AssertionResult whole = PoolIsWhole(pool.Get());
        EXPECT_TRUE(whole) << where;
        failures += whole ? 0 : 1;
        if (m_Renderer->SampleCount() > 10000)
            m_Renderer->ClearSamples();
        if (cycle == 1) {
            // Counted once everything has been created at least once.
            objects = CBaseObject::ObjectsActive();
            handles = ProcessHandleCount();
            ASSERT_GT(handles, 0u) << "no way to count handles";
        }
    }
    EXPECT_EQ(objects, CBaseObject::ObjectsActive()) << "objects leaked over the cycles";
    const DWORD after = ProcessHandleCount();
    EXPECT_LE(after, handles + kHandleSlack) << "handles leaked: " << handles << " -> " << after;
}

}  // namespace
