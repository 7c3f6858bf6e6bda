// The local sample allocator on its own (first in, first out, waits and
// their way out, samples returned with or without a context), and the push
// source fed by the test in Wine's real filter graph: with its own allocator
// into the buffer filter, with the downstream allocator into a test
// renderer, the preroll header in front of sync points.
#include <cstring>
#include <string>
#include <thread>

#include "companions/V77Media/V77Media.h"
#include "sources/CV77DsARCAllocator.h"
#include "sources/CV77DsARCLocalMediaSample.h"
#include "sources/CV77PushSourceFilter.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/sources/CTestContext.h"
#include "tests/sources/LiveSourceFixture.h"
#include "v77/V77Guids.h"
#include <uuids.h>

namespace {

ComPtr<IMemAllocator> NewLocalAllocator()
{
    ComPtr<IMemAllocator> allocator(static_cast<IMemAllocator*>(new CV77DsARCAllocator(nullptr)));
    return allocator;
}

ComPtr<IMediaSample> Take(IMemAllocator* allocator, DWORD flags, HRESULT* hr)
{
    ComPtr<IMediaSample> sample;
    *hr = allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, flags);
    return sample;
}

class LocalAllocatorTest : public ::testing::Test {
protected:
    CComInit m_Com;
};

TEST_F(LocalAllocatorTest, HandsOutItsSamplesFirstInFirstOutAndTakesThemBackWithOrWithoutContext)
{
    const LONG objects = CBaseObject::ObjectsActive();
    {
        ComPtr<IMemAllocator> allocator = NewLocalAllocator();
        ALLOCATOR_PROPERTIES request{5, 256, 4, 0};
        ALLOCATOR_PROPERTIES actual = {};
        EXPECT_EQ(VFW_E_BADALIGN, allocator->SetProperties(&request, &actual));
        request = {5, 256, 1, 16};
        EXPECT_EQ(E_FAIL, allocator->SetProperties(&request, &actual));
        request = {5, 256, 1, 0};
        ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
        EXPECT_EQ(5, actual.cBuffers) << "no minimum count";
        HRESULT hr = S_OK;
        Take(allocator.Get(), AM_GBF_NOWAIT, &hr);
        EXPECT_EQ(VFW_E_NOT_COMMITTED, hr);
        ASSERT_EQ(S_OK, allocator->Commit());

        std::vector<ComPtr<IMediaSample>> out;
        for (int i = 0; i < 5; ++i) {
            out.push_back(Take(allocator.Get(), AM_GBF_NOWAIT, &hr));
            ASSERT_EQ(S_OK, hr);
            EXPECT_GE(out.back()->GetSize(), 256) << "the pool item was given the negotiated size";
        }
        Take(allocator.Get(), AM_GBF_NOWAIT, &hr);
        EXPECT_EQ(VFW_E_TIMEOUT, hr);

        // A context rides on a sample until it comes back; a sample without one comes back all the same.
        const LONG contexts = CTestContext::Alive();
        IUnknown* context = CTestContext::Create();
        CV77DsARCLocalMediaSample::FromSample(out[2].Get())->AttachContext(context);
        context->Release();
        EXPECT_EQ(contexts + 1, CTestContext::Alive());
        IMediaSample* second = out[2].Get();
        IMediaSample* first = out[0].Get();
        out[2].Reset();
        EXPECT_EQ(contexts, CTestContext::Alive()) << "the context is released with the sample";
        out[0].Reset();
        EXPECT_EQ(2u, static_cast<CV77DsARCAllocator*>(allocator.Get())->FreeCount());
        EXPECT_EQ(second, Take(allocator.Get(), AM_GBF_NOWAIT, &hr).Get()) << "first in, first out";
        EXPECT_EQ(first, Take(allocator.Get(), AM_GBF_NOWAIT, &hr).Get());
        EXPECT_EQ(2u, static_cast<CV77DsARCAllocator*>(allocator.Get())->FreeCount())
            << "samples dropped at once came back again";

        // A waiter for an empty allocator is released by Decommit with E_FAIL.
        ComPtr<IMediaSample> a = Take(allocator.Get(), AM_GBF_NOWAIT, &hr);
        ComPtr<IMediaSample> b = Take(allocator.Get(), AM_GBF_NOWAIT, &hr);
        HRESULT waited = S_OK;
        BoundedCall wait([&] { Take(allocator.Get(), 0, &waited); });
        EXPECT_FALSE(wait.Wait(200)) << "GetBuffer waits for a sample";
        EXPECT_EQ(S_OK, allocator->Decommit());
        ASSERT_TRUE(wait.Wait(kStateTimeoutMs)) << "Decommit releases the waiter";
        EXPECT_EQ(E_FAIL, waited);
        // Samples still out are deleted when they come back after Decommit.
        out.clear();
        a.Reset();
        b.Reset();
        EXPECT_EQ(0u, static_cast<CV77DsARCAllocator*>(allocator.Get())->FreeCount());
        ASSERT_EQ(S_OK, allocator->Commit());
        EXPECT_EQ(5u, static_cast<CV77DsARCAllocator*>(allocator.Get())->FreeCount()) << "a new commit, new samples";
        // Free samples hold their allocator: its owner decommits before letting go (as the pins do).
        EXPECT_EQ(S_OK, allocator->Decommit());
    }
    EXPECT_EQ(objects, CBaseObject::ObjectsActive()) << "the allocator and every sample are gone";
}

constexpr LONG kPushWidth = 32;
constexpr LONG kPushHeight = 16;

CMediaType PushType()
{
    SOURCE_INFORMATION info = Yuy2Information(kPushWidth, kPushHeight);
    return GetMediaTypeFromSourceInformation(info);
}

class PushSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_EQ(S_OK, m_Graph.Create());
        m_Source = NewFilter<CV77PushSourceFilter>(TEXT("push"));
        ASSERT_TRUE(m_Source);
        ASSERT_EQ(S_OK, m_Source->QueryInterface(IID_IV77PushSource, reinterpret_cast<void**>(m_Push.GetAddressOf())));
        TestRendererConfig config;
        config.waitForSampleTime = false;
        m_Renderer = Adopt(CTestRenderer::Create(config));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Source.Get(), L"push"));
        ASSERT_EQ(S_OK, m_Graph.Add(m_Renderer->Filter(), L"renderer"));
    }

    void TearDown() override { m_Graph.Release(); }

    // Fills a sample from GetBuffer with bytes and pushes it.
    HRESULT Push(const std::string& bytes, bool sync, bool preroll, int frame = 0, IUnknown* context = nullptr)
    {
        ComPtr<IMediaSample> sample;
        HRESULT hr = m_Push->GetBuffer(context, sample.GetAddressOf());
        if (FAILED(hr))
            return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, bytes.data(), bytes.size());
        sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
        LONGLONG start = frame * 400000LL;
        LONGLONG stop = start + 400000;
        sample->SetMediaTime(&start, &stop);
        sample->SetSyncPoint(sync);
        sample->SetPreroll(preroll);
        m_Pushed.push_back(sample.Get());
        return m_Push->PushSample(sample.Get());
    }

    std::string Bytes(const RenderedSample& s) { return std::string(s.bytes.begin(), s.bytes.end()); }

    CComInit m_Com;
    TestGraph m_Graph;
    ComPtr<CV77PushSourceFilter> m_Source;
    ComPtr<IV77PushSource> m_Push;
    ComPtr<CTestRenderer> m_Renderer;
    std::vector<IMediaSample*> m_Pushed;  // identities only
};

TEST_F(PushSourceTest, WithItsOwnAllocatorTheHostsSamplesReachTheRendererThroughTheBufferUncopied)
{
    CMediaType type = PushType();
    ASSERT_EQ(S_OK, m_Push->SetFormat(&type, V77_PUSH_OWN_ALLOCATOR));
    ComPtr<CV77DsBufferFilter> buffer = NewLiveBuffer();
    ASSERT_TRUE(buffer);
    ASSERT_EQ(S_OK, m_Graph.Add(buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source.Get(), buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(buffer.Get(), m_Renderer->Filter()));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));

    const LONG contexts = CTestContext::Alive();
    const int frames = 20;
    for (int i = 0; i < frames; ++i) {
        IUnknown* context = CTestContext::Create();
        std::string bytes(kPushWidth * kPushHeight * 2, static_cast<char>('a' + i));
        std::memcpy(&bytes[0], &i, sizeof(i));
        ASSERT_EQ(S_OK, Push(bytes, false, false, i, context)) << i;
        context->Release();
        Sleep(5);
    }
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<RenderedSample> s = m_Renderer->Samples();
        return !s.empty() && FrameOf(s.back()) == frames - 1;
    }, kFlowTimeoutMs));
    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_NE(m_Pushed.end(), std::find(m_Pushed.begin(), m_Pushed.end(), samples[i].identity)) << "a copy";
        EXPECT_EQ(samples[i].mediaStart, samples[i].start) << "stamped with the media time";
        if (i > 0) {
            EXPECT_LT(FrameOf(samples[i - 1]), FrameOf(samples[i]));
        }
    }
    EXPECT_EQ(S_OK, m_Push->EndOfStream());
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
    m_Graph.Release();
    m_Renderer.Reset();
    EXPECT_TRUE(WaitUntil([&] { return CTestContext::Alive() == contexts; }, kFlowTimeoutMs))
        << CTestContext::Alive() - contexts << " contexts kept";
}

TEST_F(PushSourceTest, WithTheDownstreamAllocatorThePrerollHeaderGoesInFrontOfEverySyncPoint)
{
    CMediaType type = PushType();
    ASSERT_EQ(S_OK, m_Push->SetFormat(&type, V77_PUSH_DOWNSTREAM_ALLOCATOR));
    ComPtr<IPin> out = TestGraph::FindPin(m_Source.Get(), PINDIR_OUTPUT, 0);
    CMediaType upsideDown = type;
    GetBitmapInfoHeaderFromMediaType(upsideDown)->biHeight *= -1;
    EXPECT_EQ(S_FALSE, out->QueryAccept(&upsideDown)) << "the host's row order is the only one";
    EXPECT_EQ(S_OK, out->QueryAccept(&type));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source.Get(), m_Renderer->Filter()));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));

    EXPECT_EQ(S_OK, Push("HDR1", true, true));
    EXPECT_EQ(S_OK, Push("abcdef", true, false, 1));
    EXPECT_EQ(S_OK, Push("xyz", false, false, 2));
    EXPECT_EQ(S_OK, Push("H2", true, true));
    EXPECT_EQ(S_OK, Push("q", true, false, 3));
    ComPtr<IMediaSample> full;
    ASSERT_EQ(S_OK, m_Push->GetBuffer(nullptr, full.GetAddressOf()));
    full->SetActualDataLength(full->GetSize());
    full->SetSyncPoint(TRUE);
    EXPECT_EQ(E_FAIL, m_Push->PushSample(full.Get())) << "no room for the header";
    full.Reset();
    EXPECT_EQ(S_OK, m_Push->EndOfStream());
    ASSERT_TRUE(m_Renderer->WaitForEndOfStream(kFlowTimeoutMs));

    const std::vector<RenderedSample> samples = m_Renderer->Samples();
    ASSERT_EQ(3u, samples.size()) << "preroll samples and the one too full are not delivered";
    EXPECT_EQ("HDR1abcdef", Bytes(samples[0]));
    EXPECT_EQ(10, samples[0].length);
    EXPECT_EQ("xyz", Bytes(samples[1])) << "a non-sync sample is left alone";
    EXPECT_EQ("H2q", Bytes(samples[2])) << "the second header replaced the first";
    EXPECT_EQ(3 * 400000, samples[2].start);
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

TEST_F(PushSourceTest, AnUnknownAllocatorModeFailsTheConnectionAndModeZeroFeedsTheBuffersOwnPool)
{
    CMediaType type = PushType();
    ASSERT_EQ(S_OK, m_Push->SetFormat(&type, 2));
    ComPtr<IPin> out = TestGraph::FindPin(m_Source.Get(), PINDIR_OUTPUT, 0);
    ComPtr<IPin> in = TestGraph::FindPin(m_Renderer->Filter(), PINDIR_INPUT, 0);
    EXPECT_TRUE(FAILED(m_Graph.ConnectDirect(out.Get(), in.Get())));
    ComPtr<IMediaSample> none;
    EXPECT_TRUE(FAILED(m_Push->GetBuffer(nullptr, none.GetAddressOf()))) << "not connected: no allocator";

    ASSERT_EQ(S_OK, m_Push->SetFormat(&type, V77_PUSH_DOWNSTREAM_ALLOCATOR));
    ComPtr<CV77DsBufferFilter> buffer = NewLiveBuffer();
    ASSERT_TRUE(buffer);
    ASSERT_EQ(S_OK, m_Graph.Add(buffer.Get(), L"buffer"));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(m_Source.Get(), buffer.Get()));
    ASSERT_EQ(S_OK, m_Graph.ConnectFilters(buffer.Get(), m_Renderer->Filter()));
    ASSERT_EQ(S_OK, m_Graph.RunAndWait(kStateTimeoutMs));
    for (int i = 0; i < 10; ++i) {
        std::string bytes(kPushWidth * kPushHeight * 2, 'x');
        std::memcpy(&bytes[0], &i, sizeof(i));
        ASSERT_EQ(S_OK, Push(bytes, true, false, i));
        Sleep(5);
    }
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<RenderedSample> s = m_Renderer->Samples();
        return !s.empty() && FrameOf(s.back()) == 9;
    }, kFlowTimeoutMs));
    for (const RenderedSample& s : m_Renderer->Samples()) {
        EXPECT_NE(m_Pushed.end(), std::find(m_Pushed.begin(), m_Pushed.end(), s.identity))
            << "the buffer's own pooled samples pass through it uncopied";
    }
    ASSERT_EQ(S_OK, m_Graph.StopAndWait(kStateTimeoutMs));
}

}  // namespace
