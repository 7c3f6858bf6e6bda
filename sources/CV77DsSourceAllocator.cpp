#include "sources/CV77DsSourceAllocator.h"

#include <vfwmsgs.h>
#include "sources/CV77SectionLock.h"
#include "sources/V77PoolAllocation.h"
#include "v77/V77Guids.h"

CV77DsSourceAllocator::CV77DsSourceAllocator(LPUNKNOWN outer)
    : CUnknown(TEXT("Output Allocator"), outer), m_Props{}, m_pPool(nullptr)
{
    InitializeCriticalSection(&m_Lock);
}

CV77DsSourceAllocator::~CV77DsSourceAllocator()
{
    Decommit();
    DeleteCriticalSection(&m_Lock);
}

STDMETHODIMP CV77DsSourceAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    if (riid == IID_IV77SamplePool) {
        *ppv = PoolReference();
        return *ppv ? S_OK : VFW_E_NOT_COMMITTED;
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

IV77SamplePool* CV77DsSourceAllocator::PoolReference()
{
    CV77SectionLock lock(&m_Lock);
    if (m_pPool)
        m_pPool->AddRef();
    return m_pPool;
}

STDMETHODIMP CV77DsSourceAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    CV77SectionLock lock(&m_Lock);
    return V77AcceptAllocatorProperties(request, kMinimumCount, &m_Props, actual);
}

STDMETHODIMP CV77DsSourceAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    CV77SectionLock lock(&m_Lock);
    *props = m_Props;
    return S_OK;
}

STDMETHODIMP CV77DsSourceAllocator::Commit()
{
    CV77SectionLock lock(&m_Lock);
    if (m_pPool)
        return S_OK;
    if (m_Props.cBuffers <= 0 || m_Props.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    IV77SamplePool* pool = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                  reinterpret_cast<void**>(&pool));
    if (FAILED(hr))
        return hr;
    m_pPool = pool;
    return m_pPool->AllocateBuffers(static_cast<DWORD>(m_Props.cbBuffer), static_cast<DWORD>(m_Props.cBuffers));
}

STDMETHODIMP CV77DsSourceAllocator::Decommit()
{
    IV77SamplePool* pool = nullptr;
    {
        CV77SectionLock lock(&m_Lock);
        pool = m_pPool;
        m_pPool = nullptr;
    }
    // Outside the lock: Shutdown waits for the callers it wakes, and they
    // took their pool reference under this lock.
    if (pool) {
        pool->Shutdown(INFINITE);
        pool->Release();
    }
    return S_OK;
}

STDMETHODIMP CV77DsSourceAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    IV77SamplePool* pool = PoolReference();
    if (!pool)
        return VFW_E_NOT_COMMITTED;
    // A blocked wait holds no lock, so Decommit can always get in.
    const HRESULT hr = V77TakePoolSample(pool, flags, sample);
    pool->Release();
    return hr;
}

STDMETHODIMP CV77DsSourceAllocator::ReleaseBuffer(IMediaSample*)
{
    return E_UNEXPECTED;
}
