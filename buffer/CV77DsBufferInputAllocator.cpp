#include "buffer/CV77DsBufferInputAllocator.h"

#include <vfwmsgs.h>
#include <wrl/client.h>
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
    if (m_Properties.cBuffers == 0 || m_Properties.cbBuffer == 0)
        return VFW_E_SIZENOTSET;
    ComPtr<IV77SamplePool> pool;
    HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                  reinterpret_cast<void**>(pool.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    // cBuffers is the filter's buffer count + 1.
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
    // Waits until every sample handed out is back; the filter empties its
    // queue before its pins go inactive, so only samples in flight remain.
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
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TIMEOUT;
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
