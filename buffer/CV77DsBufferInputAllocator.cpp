#include "buffer/CV77DsBufferInputAllocator.h"

#include <climits>
#include <vfwmsgs.h>
#include <wrl/client.h>
#include "buffer/CV77DsBufferFilter.h"
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CV77DsBufferInputAllocator::CV77DsBufferInputAllocator(CV77DsBufferFilter* filter)
    : CV77DsBufferAllocator(TEXT("Input Allocator"), filter), m_pPool(nullptr)
{
}

CV77DsBufferInputAllocator::~CV77DsBufferInputAllocator()
{
    ClosePool();
}

STDMETHODIMP CV77DsBufferInputAllocator::Commit()
{
    CAutoLock lock(&m_AllocatorLock);
    if (m_pPool)
        return S_OK;
    if (m_Properties.cBuffers <= 0 || m_Properties.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    ComPtr<IV77SamplePool> pool;
    HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                  reinterpret_cast<void**>(pool.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    // The count is read now, not at connection: the host may set it on a
    // connected, stopped filter, and the queue is sized from it at Pause.
    CV77DsBufferFilter* filter = m_pFilter.load();
    if (filter) {
        // One more than the queue holds; a count at the top of the range has no room for it.
        const LONG count = filter->BufferCount();
        if (count <= 0 || count == LONG_MAX)
            return E_FAIL;
        m_Properties.cBuffers = count + 1;
    }
    hr = pool->InitializePool(static_cast<DWORD>(m_Properties.cbBuffer), static_cast<DWORD>(m_Properties.cBuffers));
    if (FAILED(hr))
        return hr;
    m_pPool = pool.Detach();
    return hr;
}

void CV77DsBufferInputAllocator::ClosePool()
{
    IV77SamplePool* pool = nullptr;
    {
        CAutoLock lock(&m_AllocatorLock);
        pool = m_pPool;
        m_pPool = nullptr;
    }
    if (!pool)
        return;
    // Wakes a sender blocked for a buffer; samples still held upstream come
    // back to the closed pool when released.
    pool->Shutdown(INFINITE);
    pool->Release();
}

STDMETHODIMP CV77DsBufferInputAllocator::Decommit()
{
    ClosePool();
    return S_OK;
}

STDMETHODIMP CV77DsBufferInputAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*,
                                                   DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    ComPtr<IV77SamplePool> pool;
    {
        CAutoLock lock(&m_AllocatorLock);
        pool = m_pPool;
    }
    if (!pool)
        return VFW_E_NOT_COMMITTED;
    ComPtr<IUnknown> item;
    HRESULT hr = (flags & AM_GBF_NOWAIT) ? pool->TryGetItem(&item) : pool->GetItem(&item, INFINITE);
    // Only S_OK gives an item; whatever else the pool says (S_FALSE for an
    // empty pool without waiting) is the caller's to judge.
    if (hr != S_OK)
        return hr;
    ComPtr<IV77PoolItem> poolItem;
    hr = item.As(&poolItem);
    if (FAILED(hr))
        return hr;
    poolItem->Reset();
    return item->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
}

STDMETHODIMP CV77DsBufferInputAllocator::ReleaseBuffer(IMediaSample*)
{
    return E_UNEXPECTED;  // samples go back to their pool on their last release
}

HRESULT CV77DsBufferInputAllocator::GetPool(IV77SamplePool** pool)
{
    if (!pool)
        return E_POINTER;
    CAutoLock lock(&m_AllocatorLock);
    *pool = m_pPool;
    if (!m_pPool)
        return S_FALSE;
    m_pPool->AddRef();
    return S_OK;
}
