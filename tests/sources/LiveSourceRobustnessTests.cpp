// Live graphs under stress: Stop while the receiver's thread waits in
// GetBuffer for a sample nobody returns, and many state cycles that must
// leak no object, handle or lease and never hang. (The network and TCP
// sources cycle with their real receivers in the live_receivers suite.)
#include "sources/CV77DsLocalSourceFilter.h"
#include "sources/CV77DsNetworkSourceFilter.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/buffer/ProcessHandleCount.h"
#include "tests/sources/CTestContext.h"
#include "tests/sources/LiveSourceFixture.h"

namespace {

constexpr int kCycles = 200;

class LiveSourceRobustnessTest : public LiveSourceFixture {
protected:
    template <class T>
    void StopWhileGetBufferWaits(const CLSID& receiverClass)
    {
        ReceiverScript script = Script(-1, 0);
        script.holdSamples = true;  // the receiver itself keeps every sample: the pool runs dry
        script.withContext = true;
        UseScript(script);
        const LONG objects = CBaseObject::ObjectsActive();
        {
            ComPtr<T> source = OpenSource<T>(TEXT("source"));
            ASSERT_TRUE(source);
            BuildThroughBuffer(source.Get());
            ComPtr<CTestLiveReceiver> receiver = ReceiverClass(receiverClass)->Last();
            ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
            // Waiting, and no frame came for a while: the pool is exhausted.
            ASSERT_TRUE(WaitUntil([&] {
                const long sent = receiver->framesSent.load();
                Sleep(100);
                return receiver->inGetBuffer.load() && sent == receiver->framesSent.load() && sent > 0;
            }, kFlowTimeoutMs));
            EXPECT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); })) << "Stop hangs on GetBuffer";
            EXPECT_FALSE(receiver->inGetBuffer.load());
            EXPECT_GE(receiver->getBufferFailures.load(), 1) << "the waiting GetBuffer was woken with a failure";
            m_Graph.Release();
            m_Renderer.Reset();
            m_Buffer.Reset();
        }
        m_Classes.clear();  // their last receivers too
        EXPECT_TRUE(WaitUntil([&] { return CBaseObject::ObjectsActive() == objects && CTestContext::Alive() == 0; },
                              kFlowTimeoutMs))
            << CBaseObject::ObjectsActive() - objects << " objects, " << CTestContext::Alive() << " leases left";
    }

    template <class T>
    void CyclesLeakNothing(const CLSID& receiverClass)
    {
        ReceiverScript script = Script(-1, 2);
        script.withContext = true;
        UseScript(script);
        ComPtr<T> source = OpenSource<T>(TEXT("source"));
        ASSERT_TRUE(source);
        BuildThroughBuffer(source.Get());
        ComPtr<CTestLiveReceiver> receiver = ReceiverClass(receiverClass)->Last();
        LONG objects = 0;
        DWORD handles = 0;
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            SCOPED_TRACE(cycle);
            ASSERT_TRUE(SUCCEEDED(m_Graph.PauseAndWait(kStateTimeoutMs)));
            ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
            const long sent = receiver->framesSent.load();
            ASSERT_TRUE(WaitUntil([&] { return receiver->framesSent.load() > sent; }, kFlowTimeoutMs));
            ASSERT_TRUE(FinishesWithin(kStateTimeoutMs, [&] { m_Graph.Stop(); }));
            ASSERT_TRUE(WaitUntil([&] { return CTestContext::Alive() == 0; }, kFlowTimeoutMs))
                << CTestContext::Alive() << " leases outlive Stop";
            if (cycle == 1) {  // after the first cycles made what is made once
                objects = CBaseObject::ObjectsActive();
                handles = ProcessHandleCount();
            }
        }
        EXPECT_EQ(objects, CBaseObject::ObjectsActive()) << "objects leaked over the cycles";
        const DWORD after = ProcessHandleCount();
        if (handles != 0 && after != 0) {
            EXPECT_LE(after, handles + 8) << "handles leaked over the cycles";
        } else {
            ADD_FAILURE() << "no handle count available";
        }
        EXPECT_EQ(receiver->streamStarts.load(), kCycles);
        EXPECT_EQ(receiver->opens.load(), receiver->closes.load());
    }
};

TEST_F(LiveSourceRobustnessTest, StopReturnsWhileTheNetworkReceiverWaitsForAnExhaustedPool)
{
    StopWhileGetBufferWaits<CV77DsNetworkSourceFilter>(CLSID_V77NetworkReceiver);
}

TEST_F(LiveSourceRobustnessTest, StopReturnsWhileTheLocalReceiverWaitsForAnExhaustedAllocator)
{
    StopWhileGetBufferWaits<CV77DsLocalSourceFilter>(CLSID_V77LocalReceiver);
}

TEST_F(LiveSourceRobustnessTest, StateCyclesOfALocalGraphLeakNoLease)
{
    CyclesLeakNothing<CV77DsLocalSourceFilter>(CLSID_V77LocalReceiver);
}

}  // namespace
