// The sample pool: hand-out and return, blocking, shutdown, re-allocation,
// the release callback, lifetime and concurrent use.
#include <initguid.h>

#include "v77/V77Guids.h"

#include "TestCom.h"

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// Counts NotifyRelease calls; checks that the pool keeps and drops its reference.
class CCountingNotify : public IMemAllocatorNotifyCallbackTemp {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMemAllocatorNotifyCallbackTemp) {
            *ppv = static_cast<IMemAllocatorNotifyCallbackTemp*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_cRef); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--m_cRef); }
    STDMETHODIMP NotifyRelease() override
    {
        ++m_cCalls;
        return S_OK;
    }

    std::atomic<long> m_cRef{1};
    std::atomic<long> m_cCalls{0};
};

std::vector<CRef<IUnknown>> TakeAll(IV77SamplePool* pool)
{
    std::vector<CRef<IUnknown>> items;
    CRef<IUnknown> item;
    while (pool->TryGetItem(item.Out()) == S_OK)
        items.emplace_back(item.Detach());
    return items;
}

class SamplePool : public ComTest {};

TEST_F(SamplePool, InitialisedPoolDescribesItsItems)
{
    CRef<IV77SamplePool> pool = NewPool();
    ASSERT_TRUE(pool);
    EXPECT_EQ(S_FALSE, pool->IsOpen());
    CRef<IUnknown> item;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, pool->TryGetItem(item.Out()));
    EXPECT_EQ(VFW_E_NOT_COMMITTED, pool->GetItem(item.Out(), 0));

    ASSERT_EQ(S_OK, pool->InitializePool(1000, 3));
    EXPECT_EQ(S_OK, pool->IsOpen());
    EXPECT_EQ(3u, pool->GetItemCount());
    EXPECT_EQ(3u, pool->GetFreeCount());
    EXPECT_EQ(1000u, pool->GetItemSize());
    DWORD value = 7;
    EXPECT_EQ(S_OK, pool->GetEntry(2, &value));
    EXPECT_EQ(1000u, value);
    EXPECT_EQ(S_FALSE, pool->GetEntry(3, &value));
    EXPECT_EQ(0u, value);

    ASSERT_EQ(S_OK, pool->GetItem(item.Out(), 0));
    CRef<IMediaSample> sample = item.As<IMediaSample>(IID_IMediaSample);
    CRef<IV77PoolItem> poolItem = item.As<IV77PoolItem>(IID_IV77PoolItem);
    ASSERT_TRUE(sample);
    ASSERT_TRUE(poolItem);
    EXPECT_EQ(1000, sample->GetSize());
    CRef<IV77SamplePool> owner;
    EXPECT_EQ(S_OK, poolItem->GetPool(owner.Out()));
    EXPECT_EQ(pool.Get(), owner.Get());
    // COM identity: IUnknown of any interface is the pointer handed out.
    CRef<IUnknown> identity = sample.As<IUnknown>(IID_IUnknown);
    EXPECT_EQ(item.Get(), identity.Get());
}

TEST_F(SamplePool, RejectsBadArguments)
{
    CRef<IV77SamplePool> pool = NewPool();
    ASSERT_TRUE(pool);
    EXPECT_EQ(E_INVALIDARG, pool->InitializePool(100, 0));
    EXPECT_EQ(E_INVALIDARG, pool->AllocateBuffers(100, 0x10001));
    EXPECT_TRUE(FAILED(pool->InitializePool(0xFFFFFFFF, 1)));
    EXPECT_EQ(S_FALSE, pool->IsOpen());
    ASSERT_EQ(S_OK, pool->InitializePool(16, 1));
    EXPECT_EQ(E_POINTER, pool->TryGetItem(nullptr));
    EXPECT_EQ(E_POINTER, pool->GetItem(nullptr, 0));
    EXPECT_EQ(E_POINTER, pool->GetEntry(0, nullptr));
    EXPECT_EQ(1u, pool->GetFreeCount());

    CRef<IUnknown> aggregated;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_V77SamplePool, pool.Get(), CLSCTX_INPROC_SERVER,
                                                      IID_IUnknown, aggregated.OutVoid()));
    EXPECT_FALSE(aggregated);
}

TEST_F(SamplePool, ItemReturnsOnlyOnItsLastRelease)
{
    CRef<IV77SamplePool> pool = NewPool(64, 2);
    ASSERT_TRUE(pool);
    std::vector<CRef<IUnknown>> items = TakeAll(pool.Get());
    ASSERT_EQ(2u, items.size());
    EXPECT_NE(items[0].Get(), items[1].Get());
    EXPECT_EQ(0u, pool->GetFreeCount());

    CRef<IUnknown> none;
    EXPECT_EQ(S_FALSE, pool->TryGetItem(none.Out()));
    EXPECT_FALSE(none);

    // A second reference through another interface keeps the item out.
    CRef<IMediaSample> sample = items[0].As<IMediaSample>(IID_IMediaSample);
    items[0].Reset();
    EXPECT_EQ(0u, pool->GetFreeCount());
    sample.Reset();
    EXPECT_EQ(1u, pool->GetFreeCount());
    items[1].Reset();
    EXPECT_EQ(2u, pool->GetFreeCount());
}

TEST_F(SamplePool, ReturnedItemIsCleanForTheNextUser)
{
    CRef<IV77SamplePool> pool = NewPool(64, 1);
    ASSERT_TRUE(pool);
    CRef<IUnknown> item;
    ASSERT_EQ(S_OK, pool->GetItem(item.Out(), 0));
    {
        CRef<IV77PoolItem> poolItem = item.As<IV77PoolItem>(IID_IV77PoolItem);
        CRef<IMediaSample> sample = item.As<IMediaSample>(IID_IMediaSample);
        V77_COMMAND_RECORD record = {};
        ASSERT_EQ(S_OK, poolItem->Write(&record, sizeof record));
        REFERENCE_TIME start = 5, stop = 6;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        poolItem->Free();  // the pool gives the memory back
    }
    item.Reset();
    ASSERT_EQ(S_OK, pool->GetItem(item.Out(), 0));
    CRef<IV77PoolItem> poolItem = item.As<IV77PoolItem>(IID_IV77PoolItem);
    CRef<IMediaSample> sample = item.As<IMediaSample>(IID_IMediaSample);
    EXPECT_EQ(S_FALSE, poolItem->GetData(nullptr));
    EXPECT_EQ(0u, poolItem->GetDataLength());
    EXPECT_EQ(64u, poolItem->GetBufferSize());
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
    EXPECT_EQ(S_FALSE, sample->IsSyncPoint());
}

TEST_F(SamplePool, GetItemTimesOutOrBlocksUntilAnItemComesBack)
{
    CRef<IV77SamplePool> pool = NewPool(64, 1);
    ASSERT_TRUE(pool);
    CRef<IUnknown> held;
    ASSERT_EQ(S_OK, pool->GetItem(held.Out(), 0));

    CRef<IUnknown> item;
    EXPECT_EQ(VFW_E_TIMEOUT, pool->GetItem(item.Out(), 0));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VFW_E_TIMEOUT, pool->GetItem(item.Out(), 100));
    EXPECT_GE(ElapsedMs(start), 90.0);
    EXPECT_FALSE(item);

    IUnknown* raw = held.Detach();
    std::thread releaser([raw] {
        Sleep(50);
        raw->Release();
    });
    start = std::chrono::steady_clock::now();
    HRESULT hr = pool->GetItem(item.Out(), 10000);
    const double waited = ElapsedMs(start);
    releaser.join();
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(raw, item.Get());
    EXPECT_GE(waited, 40.0);
    EXPECT_LT(waited, 5000.0);
}

TEST_F(SamplePool, ShutdownWakesWaitersAndDoesNotWaitForItemsStillOut)
{
    CRef<IV77SamplePool> pool = NewPool(64, 1);
    ASSERT_TRUE(pool);
    CRef<IUnknown> held;
    ASSERT_EQ(S_OK, pool->GetItem(held.Out(), 0));

    IV77SamplePool* raw = pool.Get();
    std::vector<std::future<HRESULT>> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.push_back(std::async(std::launch::async, [raw] {
            IUnknown* item = nullptr;
            HRESULT hr = raw->GetItem(&item, INFINITE);
            if (item)
                item->Release();
            return hr;
        }));
    }
    Sleep(50);  // let them block
    for (auto& waiter : waiters)
        EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(0)));

    // An allocator decommits while upstream still holds a sample: the
    // unlimited shutdown must return once the waiters have gone.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(S_OK, pool->Shutdown(INFINITE));
    EXPECT_LT(ElapsedMs(start), 5000.0);
    for (auto& waiter : waiters) {
        ASSERT_EQ(std::future_status::ready, waiter.wait_for(std::chrono::seconds(10)));
        EXPECT_EQ(VFW_E_NOT_COMMITTED, waiter.get());
    }
    EXPECT_EQ(S_FALSE, pool->IsOpen());
    CRef<IUnknown> item;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, pool->TryGetItem(item.Out()));
    EXPECT_EQ(0u, pool->GetFreeCount());

    // The held item comes back to the closed pool later.
    held.Reset();
    EXPECT_EQ(1u, pool->GetFreeCount());
    EXPECT_EQ(VFW_E_NOT_COMMITTED, pool->TryGetItem(item.Out()));

    // The pool opens again with fresh items.
    ASSERT_EQ(S_OK, pool->InitializePool(32, 2));
    EXPECT_EQ(S_OK, pool->TryGetItem(item.Out()));
}

TEST_F(SamplePool, ReallocationReplacesItemsInUseWhenTheyReturn)
{
    CRef<IV77SamplePool> pool = NewPool(100, 2);
    ASSERT_TRUE(pool);
    CRef<IUnknown> old;
    ASSERT_EQ(S_OK, pool->GetItem(old.Out(), 0));
    EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, pool->FreeBuffers());

    ASSERT_EQ(S_OK, pool->AllocateBuffers(200, 3));
    EXPECT_EQ(3u, pool->GetItemCount());
    EXPECT_EQ(3u, pool->GetFreeCount());
    EXPECT_EQ(200u, pool->GetItemSize());
    // The old item stays usable with its own memory, then is dropped, not queued.
    CRef<IMediaSample> sample = old.As<IMediaSample>(IID_IMediaSample);
    EXPECT_EQ(100, sample->GetSize());
    sample.Reset();
    old.Reset();
    EXPECT_EQ(3u, pool->GetFreeCount());
    EXPECT_EQ(3u, pool->GetItemCount());

    EXPECT_EQ(S_OK, pool->FreeBuffers());
    EXPECT_EQ(S_FALSE, pool->IsOpen());
    EXPECT_EQ(0u, pool->GetItemCount());
}

TEST_F(SamplePool, NotifiesEveryReturnAndOutlivesItsItems)
{
    CRef<IV77SamplePool> pool = NewPool(256, 2);
    ASSERT_TRUE(pool);
    CCountingNotify notify;
    ASSERT_EQ(S_OK, pool->SetNotify(&notify));
    EXPECT_EQ(2, notify.m_cRef.load());
    TakeAll(pool.Get());  // both taken, then returned together
    EXPECT_EQ(2, notify.m_cCalls.load());
    ASSERT_EQ(S_OK, pool->SetNotify(nullptr));
    EXPECT_EQ(1, notify.m_cRef.load());
    TakeAll(pool.Get());
    EXPECT_EQ(2, notify.m_cCalls.load());

    ASSERT_EQ(S_OK, pool->SetNotify(&notify));
    std::vector<CRef<IUnknown>> items = TakeAll(pool.Get());
    ASSERT_EQ(2u, items.size());
    pool.Reset();  // the client's last reference, items still out
    EXPECT_EQ(S_FALSE, ComponentsCanUnloadNow());
    EXPECT_EQ(2, notify.m_cCalls.load());

    CRef<IMediaSample> sample = items[0].As<IMediaSample>(IID_IMediaSample);
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, sample->GetPointer(&data));
    memset(data, 0xAB, 256);
    CRef<IV77SamplePool> owner;
    CRef<IV77PoolItem> poolItem = items[0].As<IV77PoolItem>(IID_IV77PoolItem);
    ASSERT_EQ(S_OK, poolItem->GetPool(owner.Out()));
    EXPECT_EQ(0u, owner->GetFreeCount());
    owner.Reset();
    poolItem.Reset();
    sample.Reset();

    items.clear();  // the last item back deletes the pool, its items and its callback reference
    EXPECT_EQ(4, notify.m_cCalls.load());
    EXPECT_EQ(1, notify.m_cRef.load());
    EXPECT_EQ(S_OK, ComponentsCanUnloadNow());
}

TEST_F(SamplePool, ConcurrentUseNeverSharesOrLosesAnItem)
{
    constexpr DWORD kItems = 4;
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    CRef<IV77SamplePool> pool = NewPool(64, kItems);
    ASSERT_TRUE(pool);

    std::mutex lock;
    std::set<IUnknown*> inUse, seen;
    std::atomic<int> duplicates{0}, corrupted{0}, failures{0};
    IV77SamplePool* raw = pool.Get();

    auto worker = [&](int id) {
        for (int round = 0; round < kRounds; ++round) {
            IUnknown* item = nullptr;
            HRESULT hr;
            if (id % 2) {
                hr = raw->GetItem(&item, 10000);
            } else {
                while ((hr = raw->TryGetItem(&item)) == S_FALSE)
                    SwitchToThread();
            }
            if (hr != S_OK || !item) {
                ++failures;
                return;
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                if (!inUse.insert(item).second)
                    ++duplicates;
                seen.insert(item);
            }
            // Mark the memory; another holder of the same item would overwrite it.
            IV77PoolItem* poolItem = nullptr;
            item->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&poolItem));
            void* data = nullptr;
            poolItem->GetData(&data);
            auto* tag = static_cast<volatile int*>(data);
            *tag = id * kRounds + round;
            if (round % 64 == 0)
                SwitchToThread();
            if (*tag != id * kRounds + round)
                ++corrupted;
            poolItem->Release();
            {
                std::lock_guard<std::mutex> guard(lock);
                inUse.erase(item);
            }
            item->Release();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(worker, i);
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(0, duplicates.load());
    EXPECT_EQ(0, corrupted.load());
    EXPECT_EQ(kItems, seen.size());
    EXPECT_EQ(kItems, pool->GetFreeCount());
    EXPECT_EQ(kItems, pool->GetItemCount());
}

}  // namespace
