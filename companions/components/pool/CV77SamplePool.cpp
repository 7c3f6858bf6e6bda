#include "companions/components/pool/CV77SamplePool.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <chrono>
#include <new>

CUnknown* CV77SamplePool::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        if (phr)
            *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* pool = new (std::nothrow) CV77SamplePool();
    if (!pool && phr)
        *phr = E_OUTOFMEMORY;
    return pool;
}

CV77SamplePool::CV77SamplePool()
    : CUnknown(TEXT("V77 sample pool"), nullptr),
      m_dwGeneration(0),
      m_dwItemSize(0),
      m_cOutstanding(0),
      m_cWaiting(0),
      m_bOpen(false),
      m_pNotify(nullptr)
{
}

CV77SamplePool::~CV77SamplePool()
{
    // Every item that was out held a reference, so all are back by now.
    m_Free.clear();
    m_Items.clear();
    m_Retired.clear();
    if (m_pNotify)
        m_pNotify->Release();
}

STDMETHODIMP CV77SamplePool::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77SamplePool)
        return GetInterface(static_cast<IV77SamplePool*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77SamplePool::AllocateBuffers(DWORD size, DWORD count)
{
    return Populate(size, count);
}

STDMETHODIMP CV77SamplePool::InitializePool(DWORD size, DWORD count)
{
    return Populate(size, count);
}

HRESULT CV77SamplePool::Populate(DWORD size, DWORD count)
{
    if (count == 0 || count > kMaxItems)
        return E_INVALIDARG;
    Lock lock(m_Mutex);
    RetireItems();
    ++m_dwGeneration;
    m_dwItemSize = size;
    m_bOpen = false;
    for (DWORD i = 0; i < count; ++i) {
        std::unique_ptr<CV77PoolItem> item(new (std::nothrow) CV77PoolItem(nullptr, this, m_dwGeneration));
        if (!item || FAILED(item->Allocate(size))) {
            m_Free.clear();
            m_Items.clear();
            return E_OUTOFMEMORY;
        }
        m_Free.push_back(item.get());
        m_Items.push_back(std::move(item));
    }
    m_bOpen = true;
    m_Changed.notify_all();
    return S_OK;
}

void CV77SamplePool::RetireItems()
{
    m_Free.clear();
    for (auto& item : m_Items) {
        if (item->IsOut())
            m_Retired.push_back(std::move(item));
    }
    m_Items.clear();  // deletes the free ones
}

STDMETHODIMP CV77SamplePool::FreeBuffers()
{
    Lock lock(m_Mutex);
    if (m_cOutstanding)
        return VFW_E_BUFFERS_OUTSTANDING;
    m_bOpen = false;
    m_Free.clear();
    m_Items.clear();
    m_dwItemSize = 0;
    m_Changed.notify_all();
    return S_OK;
}

STDMETHODIMP CV77SamplePool::TryGetItem(IUnknown** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    Lock lock(m_Mutex);
    if (!m_bOpen)
        return VFW_E_NOT_COMMITTED;
    if (m_Free.empty())
        return S_FALSE;
    *item = TakeFreeItem();
    return S_OK;
}

STDMETHODIMP CV77SamplePool::GetItem(IUnknown** item, DWORD timeoutMs)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    const auto ready = [this] { return !m_bOpen || !m_Free.empty(); };
    Lock lock(m_Mutex);
    ++m_cWaiting;
    bool given = true;
    if (timeoutMs == INFINITE)
        m_Changed.wait(lock, ready);
    else
        given = m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (--m_cWaiting == 0)
        m_Changed.notify_all();  // a Shutdown may wait for the last waiter to leave
    if (!given)
        return VFW_E_TIMEOUT;
    if (!m_bOpen)
        return VFW_E_NOT_COMMITTED;
    *item = TakeFreeItem();
    return S_OK;
}

IUnknown* CV77SamplePool::TakeFreeItem()
{
    CV77PoolItem* item = m_Free.front();
    m_Free.pop_front();
    item->SetOut(true);
    ++m_cOutstanding;
    NonDelegatingAddRef();  // held by the item until it comes back
    item->NonDelegatingAddRef();
    return item->NonDelegatingUnknown();
}

STDMETHODIMP CV77SamplePool::Shutdown(DWORD timeoutMs)
{
    // Items still out are not waited for: an upstream filter may hold one
    // until its own Stop, which the graph calls after ours. They come back
    // to the closed pool when released.
    const auto nobodyWaits = [this] { return m_cWaiting == 0; };
    Lock lock(m_Mutex);
    m_bOpen = false;
    m_Changed.notify_all();  // waiters fail with VFW_E_NOT_COMMITTED
    if (timeoutMs == INFINITE) {
        m_Changed.wait(lock, nobodyWaits);
        return S_OK;
    }
    return m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), nobodyWaits) ? S_OK : VFW_E_TIMEOUT;
}

void CV77SamplePool::ReturnItem(CV77PoolItem* item)
{
    // The item has no user now: clean it for the next one outside the lock.
    item->Reset();
    IMemAllocatorNotifyCallbackTemp* notify = nullptr;
    {
        Lock lock(m_Mutex);
        item->SetOut(false);
        --m_cOutstanding;
        if (!DeleteRetired(item)) {
            // A user may have called Free on it: give it its memory back.
            if (item->GetBufferSize() < m_dwItemSize)
                item->Allocate(m_dwItemSize);
            m_Free.push_back(item);
            notify = NotifyReference();
        }
        m_Changed.notify_all();
    }
    if (notify) {
        notify->NotifyRelease();
        notify->Release();
    }
    NonDelegatingRelease();  // the item's reference; this may delete the pool
}

bool CV77SamplePool::DeleteRetired(CV77PoolItem* item)
{
    if (item->Generation() == m_dwGeneration)
        return false;
    auto found = std::find_if(m_Retired.begin(), m_Retired.end(),
                              [item](const std::unique_ptr<CV77PoolItem>& p) { return p.get() == item; });
    if (found != m_Retired.end())
        m_Retired.erase(found);
    return true;
}

IMemAllocatorNotifyCallbackTemp* CV77SamplePool::NotifyReference()
{
    if (m_pNotify)
        m_pNotify->AddRef();
    return m_pNotify;
}

STDMETHODIMP CV77SamplePool::GetEntry(DWORD index, DWORD* value)
{
    if (!value)
        return E_POINTER;
    Lock lock(m_Mutex);
    if (index >= m_Items.size()) {
        *value = 0;
        return S_FALSE;
    }
    *value = m_Items[index]->GetBufferSize();
    return S_OK;
}

STDMETHODIMP CV77SamplePool::IsOpen()
{
    Lock lock(m_Mutex);
    return m_bOpen ? S_OK : S_FALSE;
}

STDMETHODIMP_(DWORD) CV77SamplePool::GetFreeCount()
{
    Lock lock(m_Mutex);
    return static_cast<DWORD>(m_Free.size());
}

STDMETHODIMP_(DWORD) CV77SamplePool::GetItemCount()
{
    Lock lock(m_Mutex);
    return static_cast<DWORD>(m_Items.size());
}

STDMETHODIMP_(DWORD) CV77SamplePool::GetItemSize()
{
    Lock lock(m_Mutex);
    return m_dwItemSize;
}

STDMETHODIMP CV77SamplePool::SetNotify(IMemAllocatorNotifyCallbackTemp* notify)
{
    if (notify)
        notify->AddRef();
    IMemAllocatorNotifyCallbackTemp* old = nullptr;
    {
        Lock lock(m_Mutex);
        old = m_pNotify;
        m_pNotify = notify;
    }
    if (old)
        old->Release();
    return S_OK;
}
