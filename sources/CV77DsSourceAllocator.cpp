#include "sources/CV77DsSourceAllocator.h"

#include <algorithm>
#include <vfwmsgs.h>
#include "v77/V77Guids.h"

namespace {

// A blocked GetBuffer holds no lock, so Decommit can always get in.
class CSectionLock {
public:
    explicit CSectionLock(CRITICAL_SECTION* section) : m_pSection(section) { EnterCriticalSection(section); }
    ~CSectionLock() { LeaveCriticalSection(m_pSection); }
    CSectionLock(const CSectionLock&) = delete;
    CSectionLock& operator=(const CSectionLock&) = delete;

private:
    CRITICAL_SECTION* m_pSection;
};

}  // namespace

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
    CSectionLock lock(&m_Lock);
    if (m_pPool)
        m_pPool->AddRef();
    return m_pPool;
}

STDMETHODIMP CV77DsSourceAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request)
        return E_POINTER;
    if (request->cbAlign > 1)
        return VFW_E_BADALIGN;
    if (request->cbPrefix != 0)
        return E_FAIL;
    CSectionLock lock(&m_Lock);
    m_Props.cBuffers = std::max(request->cBuffers, kMinimumCount);
    m_Props.cbBuffer = request->cbBuffer;
    m_Props.cbAlign = 1;
    m_Props.cbPrefix = 0;
    if (actual)
        *actual = m_Props;
    return S_OK;
}

STDMETHODIMP CV77DsSourceAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    CSectionLock lock(&m_Lock);
    *props = m_Props;
    return S_OK;
}

STDMETHODIMP CV77DsSourceAllocator::Commit()
{
    CSectionLock lock(&m_Lock);
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
        CSectionLock lock(&m_Lock);
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
    IUnknown* item = nullptr;
    HRESULT hr = (flags & AM_GBF_NOWAIT) ? pool->TryGetItem(&item) : pool->GetItem(&item, INFINITE);
    pool->Release();
    if (hr != S_OK) {
        if (item)
            item->Release();
        return hr;
    }
    IV77PoolItem* poolItem = nullptr;
    if (SUCCEEDED(item->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&poolItem)))) {
        poolItem->Reset();
        poolItem->Release();
    }
    hr = item->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
    item->Release();
    return hr;
}

STDMETHODIMP CV77DsSourceAllocator::ReleaseBuffer(IMediaSample*)
{
    return E_UNEXPECTED;
}
