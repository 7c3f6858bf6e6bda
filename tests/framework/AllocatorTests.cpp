// CMemAllocator semantics: properties, blocking GetBuffer and the ways out of
// it (a release, Decommit), decommit with samples out, sample reuse.
#include <gtest/gtest.h>
#include <thread>
#include <wrl/client.h>
#include "framework/CBaseObject.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestAllocator.h"
#include "tests/kit/TestWait.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kTimeoutMs = 5000;

class AllocatorTest : public ::testing::Test {
protected:
    void SetUp() override { m_Allocator = Adopt(CTestAllocator::Create()); }

    void Configure(LONG count, LONG size = 100, LONG align = 1)
    {
        ALLOCATOR_PROPERTIES request = {count, size, align, 0};
        ALLOCATOR_PROPERTIES actual = {};
        ASSERT_EQ(S_OK, m_Allocator->SetProperties(&request, &actual));
        ASSERT_EQ(S_OK, m_Allocator->Commit());
    }

    ComPtr<IMediaSample> Take(DWORD flags = 0, HRESULT expected = S_OK)
    {
        ComPtr<IMediaSample> sample;
        EXPECT_EQ(expected, m_Allocator->GetBuffer(&sample, nullptr, nullptr, flags));
        return sample;
    }

    ComPtr<CTestAllocator> m_Allocator;
};

// GetBuffer on another thread, so the test can see it block.
struct PendingGetBuffer {
    explicit PendingGetBuffer(IMemAllocator* allocator)
        : thread([this, allocator] {
              result = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
              done = true;
          })
    {
    }
    ~PendingGetBuffer()
    {
        if (thread.joinable())
            thread.join();
    }
    IMediaSample* sample = nullptr;
    std::atomic<HRESULT> result{E_PENDING};
    std::atomic<bool> done{false};
    std::thread thread;
};

}  // namespace

TEST_F(AllocatorTest, PropertiesAreCheckedAndRoundedToTheAlignment)
{
    ALLOCATOR_PROPERTIES actual = {};
    ALLOCATOR_PROPERTIES badAlign = {2, 100, 3, 0};
    EXPECT_EQ(VFW_E_BADALIGN, m_Allocator->SetProperties(&badAlign, &actual));
    EXPECT_EQ(E_POINTER, m_Allocator->SetProperties(&badAlign, nullptr));
    EXPECT_EQ(VFW_E_SIZENOTSET, m_Allocator->Commit());

    ALLOCATOR_PROPERTIES request = {2, 100, 16, 0};
    ASSERT_EQ(S_OK, m_Allocator->SetProperties(&request, &actual));
    EXPECT_EQ(2, actual.cBuffers);
    EXPECT_EQ(112, actual.cbBuffer);
    EXPECT_EQ(16, actual.cbAlign);
    ASSERT_EQ(S_OK, m_Allocator->Commit());
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, m_Allocator->SetProperties(&request, &actual));

    ComPtr<IMediaSample> sample = Take();
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, sample->GetPointer(&data));
    EXPECT_EQ(0u, reinterpret_cast<UINT_PTR>(data) % 16);
    EXPECT_EQ(112, sample->GetSize());
}

TEST_F(AllocatorTest, GetBufferBlocksUntilASampleIsReleasedOrTheAllocatorDecommits)
{
    Configure(2);
    ComPtr<IMediaSample> first = Take();
    ComPtr<IMediaSample> second = Take();
    Take(AM_GBF_NOWAIT, VFW_E_TIMEOUT);

    IMediaSample* released = first.Get();
    PendingGetBuffer pending(m_Allocator.Get());
    Sleep(100);
    EXPECT_FALSE(pending.done.load());
    first.Reset();
    ASSERT_TRUE(WaitUntil([&] { return pending.done.load(); }, kTimeoutMs));
    EXPECT_EQ(S_OK, pending.result.load());
    EXPECT_EQ(released, pending.sample);
    pending.thread.join();
    pending.sample->Release();

    // Decommit is the other way out of a waiting GetBuffer.
    ComPtr<IMediaSample> again = Take();
    PendingGetBuffer waiting(m_Allocator.Get());
    Sleep(100);
    EXPECT_FALSE(waiting.done.load());
    ASSERT_EQ(S_OK, m_Allocator->Decommit());
    ASSERT_TRUE(WaitUntil([&] { return waiting.done.load(); }, kTimeoutMs));
    EXPECT_EQ(VFW_E_NOT_COMMITTED, waiting.result.load());
    EXPECT_EQ(nullptr, waiting.sample);
}

TEST_F(AllocatorTest, DecommitWithSamplesOutFreesWhenTheLastReturns)
{
    Configure(2);
    ComPtr<IMediaSample> out = Take();
    ASSERT_EQ(S_OK, m_Allocator->Decommit());
    Take(0, VFW_E_NOT_COMMITTED);

    // The sample out stays usable; its memory is not yet given back.
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, out->GetPointer(&data));
    memset(data, 0x5A, 100);
    ALLOCATOR_PROPERTIES request = {4, 100, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, m_Allocator->SetProperties(&request, &actual));

    out.Reset();
    EXPECT_EQ(S_OK, m_Allocator->SetProperties(&request, &actual));
    ASSERT_EQ(S_OK, m_Allocator->Commit());
    ComPtr<IMediaSample> samples[4];
    for (auto& sample : samples)
        sample = Take(AM_GBF_NOWAIT);
    Take(AM_GBF_NOWAIT, VFW_E_TIMEOUT);
}

TEST_F(AllocatorTest, AnOutstandingSampleKeepsItsAllocatorAlive)
{
    LONG before = CBaseObject::ObjectsActive();
    ComPtr<IMediaSample> sample;
    {
        ComPtr<CTestAllocator> allocator = Adopt(CTestAllocator::Create());
        EXPECT_EQ(before + 1, CBaseObject::ObjectsActive());
        ALLOCATOR_PROPERTIES request = {1, 10, 1, 0};
        ALLOCATOR_PROPERTIES actual = {};
        ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
        ASSERT_EQ(S_OK, allocator->Commit());
        ASSERT_EQ(S_OK, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
    }
    EXPECT_EQ(before + 1, CBaseObject::ObjectsActive());
    sample.Reset();
    EXPECT_EQ(before, CBaseObject::ObjectsActive());
}

TEST_F(AllocatorTest, ReusedSamplesComeBackCleanAndTheFreeCountFollows)
{
    Configure(1);
    ComPtr<IMediaSample> sample = Take();
    REFERENCE_TIME start = 10;
    REFERENCE_TIME stop = 20;
    ASSERT_EQ(S_OK, sample->SetTime(&start, &stop));
    ASSERT_EQ(S_OK, sample->SetMediaTime(&start, &stop));
    ASSERT_EQ(S_OK, sample->SetDiscontinuity(TRUE));
    ASSERT_EQ(S_OK, sample->SetActualDataLength(7));
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, sample->SetActualDataLength(101));
    sample.Reset();

    ComPtr<IMemAllocatorCallbackTemp> callback;
    ASSERT_EQ(S_OK, m_Allocator->QueryInterface(IID_IMemAllocatorCallbackTemp,
                                                reinterpret_cast<void**>(callback.GetAddressOf())));
    LONG free = -1;
    ASSERT_EQ(S_OK, callback->GetFreeCount(&free));
    EXPECT_EQ(1, free);

    sample = Take();
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
    EXPECT_EQ(S_FALSE, sample->IsDiscontinuity());
    ASSERT_EQ(S_OK, callback->GetFreeCount(&free));
    EXPECT_EQ(0, free);
}
