// Live graphs under stress: Stop while the receiver's thread waits in
// GetBuffer for a sample nobody returns. (State cycles that must leak no
// object, handle or lease run with the real receivers: the network and TCP
// sources in the live_receivers suite, the local source in local_capture.)
#include "sources/CV77DsLocalSourceFilter.h"
#include "sources/CV77DsNetworkSourceFilter.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/sources/CTestContext.h"
#include "tests/sources/LiveSourceFixture.h"

namespace {

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
};

TEST_F(LiveSourceRobustnessTest, StopReturnsWhileTheNetworkReceiverWaitsForAnExhaustedPool)
{
    StopWhileGetBufferWaits<CV77DsNetworkSourceFilter>(CLSID_V77NetworkReceiver);
}

TEST_F(LiveSourceRobustnessTest, StopReturnsWhileTheLocalReceiverWaitsForAnExhaustedAllocator)
{
    StopWhileGetBufferWaits<CV77DsLocalSourceFilter>(CLSID_V77LocalReceiver);
}

}  // namespace
