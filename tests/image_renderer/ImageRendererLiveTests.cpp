// Zero copies from a live source to the host's sink: the samples the image
// renderer hands over are the very pool items the live receiver filled.
#include "tests/sources/LiveSourceFixture.h"

#include "sinks/CV77DsImageRendererFilter.h"
#include "sources/CV77DsNetworkSourceFilter.h"
#include "tests/image_renderer/CTestImageSink.h"
#include "tests/image_renderer/ImageRendererFixture.h"
#include "tests/sources/CTestLiveReceiver.h"

namespace {

class ImageRendererLiveTest : public LiveSourceFixture {
protected:
    void TearDown() override
    {
        LiveSourceFixture::TearDown();
        m_pImage.Reset();
    }

    void AddImageRenderer(IV77SamplePool* pool)
    {
        HRESULT hr = S_OK;
        CUnknown* object = CV77DsImageRendererFilter::CreateInstance(nullptr, &hr);
        ASSERT_TRUE(object && hr == S_OK) << "image renderer not created";
        ASSERT_EQ(S_OK, object->NonDelegatingQueryInterface(IID_IBaseFilter,
                                                            reinterpret_cast<void**>(m_pImage.GetAddressOf())));
        ComPtr<IV77DsImageRenderer> control;
        ASSERT_EQ(S_OK, m_pImage.As(&control)) << "image renderer without its control interface";
        if (pool) {
            ASSERT_EQ(S_OK, control->SetSamplePool(pool));
        }
        ASSERT_EQ(S_OK, control->SetSink(m_Sink.Unknown(), 7));
        ASSERT_EQ(S_OK, m_Graph.Add(m_pImage.Get(), L"image renderer"));
    }

    // Every sample the sink saw was filled by the receiver, in frame order.
    void ExpectFilledByReceiver(CTestLiveReceiver* receiver, IV77SamplePool* pool)
    {
        std::vector<SinkRecord> records = m_Sink.Records();
        ASSERT_FALSE(records.empty());
        int previous = -1;
        for (const SinkRecord& record : records) {
            EXPECT_TRUE(receiver->Delivered(record.sample)) << "a sample the receiver did not fill";
            EXPECT_EQ(pool, record.pool);
            EXPECT_GT(static_cast<int>(record.firstByte), previous);
            previous = record.firstByte;
        }
    }

    static ComPtr<IV77SamplePool> HostPool(DWORD count)
    {
        ComPtr<IV77SamplePool> pool;
        HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                      reinterpret_cast<void**>(pool.GetAddressOf()));
        if (FAILED(hr) || FAILED(hr = pool->InitializePool(kWidth * kHeight * 2, count)))
            SetUpFailed("creating the host's sample pool", hr);
        return pool;
    }

    // An opened network source -> image renderer over pool; the source takes
    // the renderer's allocator, so the receiver fills the host's items. Without
    // a pool the source keeps its own allocator and the renderer takes that.
    ComPtr<CV77DsNetworkSourceFilter> BuildOverHostPool(IV77SamplePool* pool)
    {
        ComPtr<CV77DsNetworkSourceFilter> source = OpenSource<CV77DsNetworkSourceFilter>(TEXT("network"));
        if (!source || SourceControl(source.Get())->SetUseOwnAllocator(pool ? FALSE : TRUE) != S_OK ||
            m_Graph.Add(static_cast<IBaseFilter*>(source.Get()), L"source") != S_OK)
            return nullptr;
        AddImageRenderer(pool);
        if (!m_pImage || m_Graph.ConnectFilters(source.Get(), m_pImage.Get()) != S_OK)
            return nullptr;
        return source;
    }

    CTestImageSink m_Sink{false};
    ComPtr<IBaseFilter> m_pImage;
};

}  // namespace

// With a host pool the sink gets its items; without one, the source's own
// pool items. Either way the receiver filled them and nothing is dropped.
class ImageRendererLivePoolTest : public ImageRendererLiveTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ImageRendererLivePoolTest, TheSinkGetsThePoolItemsTheReceiverFilled)
{
    UseScript(Script(30, 2));
    ComPtr<IV77SamplePool> pool = GetParam() ? HostPool(10) : nullptr;
    ComPtr<CV77DsNetworkSourceFilter> source = BuildOverHostPool(pool.Get());
    ASSERT_TRUE(source);
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77NetworkReceiver)->Last();
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ComPtr<IV77SamplePool> used = pool;
    if (!used) {
        ASSERT_EQ(S_OK, source->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(used.GetAddressOf())));
    }
    ASSERT_TRUE(WaitUntil([&] { return m_Sink.Count() >= 30; }, kFlowTimeoutMs));
    EXPECT_EQ(30u, m_Sink.Count()) << "the image renderer drops nothing";
    ExpectFilledByReceiver(receiver.Get(), used.Get());
    EXPECT_TRUE(receiver->SampleResults().empty());
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    if (pool) {
        EXPECT_EQ(10u, pool->GetFreeCount());
    }
}

INSTANTIATE_TEST_SUITE_P(Pools, ImageRendererLivePoolTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "HostPool" : "SourcePool");
                         });

// The renderer's Decommit leaves the host's pool alone, so a receiver waiting
// for an item of an exhausted pool is freed by the host's Shutdown, after
// which the graph stops.
TEST_F(ImageRendererLiveTest, TheHostsShutdownFreesAReceiverWaitingOnAnExhaustedPool)
{
    ReceiverScript script = Script(-1, 1);
    script.holdSamples = true;
    UseScript(script);
    ComPtr<IV77SamplePool> pool = HostPool(8);
    ComPtr<CV77DsNetworkSourceFilter> source = BuildOverHostPool(pool.Get());
    ASSERT_TRUE(source);
    ComPtr<CTestLiveReceiver> receiver = ReceiverClass(CLSID_V77NetworkReceiver)->Last();
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return receiver->framesSent.load() == 8 && receiver->inGetBuffer.load(); },
                          kFlowTimeoutMs));
    Sleep(100);
    EXPECT_EQ(8, receiver->framesSent.load()) << "a ninth item from a pool of eight";
    EXPECT_TRUE(receiver->inGetBuffer.load());
    ASSERT_EQ(S_OK, pool->Shutdown(INFINITE));
    EXPECT_TRUE(WaitUntil([&] { return receiver->getBufferFailures.load() > 0; }, kFlowTimeoutMs));
    EXPECT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    EXPECT_EQ(8u, m_Sink.Count());
}
