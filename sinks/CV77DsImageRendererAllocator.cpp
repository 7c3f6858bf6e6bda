#include "sinks/CV77DsImageRendererAllocator.h"

#include <vfwmsgs.h>
#include "sources/V77PoolAllocation.h"
#include "v77/V77Guids.h"

CV77DsImageRendererAllocator::CV77DsImageRendererAllocator(IUnknown* pool, HRESULT* phr)
    : CUnknown(TEXT("Output Allocator"), nullptr), m_Props{}, m_pPool(nullptr)
{
    HRESULT hr = E_POINTER;
    if (pool)
        hr = pool->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(&m_pPool));
    if (FAILED(hr))
        m_pPool = nullptr;
    if (phr && FAILED(hr))
        *phr = hr;
}

CV77DsImageRendererAllocator::~CV77DsImageRendererAllocator()
{
    if (m_pPool)
        m_pPool->Release();
}

STDMETHODIMP CV77DsImageRendererAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    if (riid == IID_IMemAllocatorCallbackTemp)
        return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), ppv);
    if (riid == IID_IV77SamplePool) {
        *ppv = nullptr;
        return m_pPool ? m_pPool->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77DsImageRendererAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    return V77AcceptAllocatorProperties(request, kMinimumCount, &m_Props, actual);
}

STDMETHODIMP CV77DsImageRendererAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    *props = m_Props;
    return S_OK;
}

STDMETHODIMP CV77DsImageRendererAllocator::Commit()
{
    if (!m_pPool)
        return E_FAIL;
    if (m_Props.cBuffers <= 0 || m_Props.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    // The host sized the pool: refuse a connection it cannot hold rather
    // than hand out items the source would overrun.
    if (m_pPool->GetItemCount() < static_cast<DWORD>(m_Props.cBuffers) ||
        m_pPool->GetItemSize() < static_cast<DWORD>(m_Props.cbBuffer))
        return VFW_E_BUFFER_OVERFLOW;
    return S_OK;
}

STDMETHODIMP CV77DsImageRendererAllocator::Decommit()
{
    return S_OK;
}

STDMETHODIMP CV77DsImageRendererAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    if (!m_pPool)
        return VFW_E_NOT_COMMITTED;
    return V77TakePoolSample(m_pPool, flags, sample);
}

STDMETHODIMP CV77DsImageRendererAllocator::ReleaseBuffer(IMediaSample*)
{
    return E_UNEXPECTED;
}

STDMETHODIMP CV77DsImageRendererAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* notify)
{
    return m_pPool ? m_pPool->SetNotify(notify) : E_UNEXPECTED;
}

STDMETHODIMP CV77DsImageRendererAllocator::GetFreeCount(LONG* free)
{
    if (!free)
        return E_POINTER;
    if (!m_pPool)
        return E_UNEXPECTED;
    *free = static_cast<LONG>(m_pPool->GetFreeCount());
    return S_OK;
}
