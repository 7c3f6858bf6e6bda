#include "sources/CV77DsARCAllocator.h"

#include <new>
#include <vfwmsgs.h>
#include "sources/CV77DsARCLocalMediaSample.h"
#include "sources/CV77SectionLock.h"
#include "sources/V77PoolAllocation.h"
#include "v77/IV77SamplePool.h"
#include "v77/V77Guids.h"

CV77DsARCAllocator::CV77DsARCAllocator(LPUNKNOWN outer)
    : CUnknown(TEXT("Output Allocator"), outer),
      m_Props{},
      m_bCommitted(false),
      m_hFreeSamples(nullptr),
      m_hDecommit(nullptr),
      m_dwPeriod(0),
      m_cWaiters(0)
{
    InitializeCriticalSection(&m_Lock);
}

CV77DsARCAllocator::~CV77DsARCAllocator()
{
    Decommit();
    for (HANDLE h : m_Retired)
        CloseHandle(h);
    DeleteCriticalSection(&m_Lock);
}

STDMETHODIMP CV77DsARCAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77DsARCAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    // The count is taken as asked: Commit refuses none.
    CV77SectionLock lock(&m_Lock);
    return V77AcceptAllocatorProperties(request, 0, &m_Props, actual);
}

STDMETHODIMP CV77DsARCAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    CV77SectionLock lock(&m_Lock);
    *props = m_Props;
    return S_OK;
}

STDMETHODIMP CV77DsARCAllocator::Commit()
{
    CV77SectionLock lock(&m_Lock);
    if (m_bCommitted)
        return S_OK;
    if (m_Props.cBuffers <= 0)
        return VFW_E_SIZENOTSET;
    HANDLE decommit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!decommit)
        return HRESULT_FROM_WIN32(GetLastError());
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, m_Props.cBuffers, nullptr);
    if (!semaphore) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        CloseHandle(decommit);
        return hr;
    }
    m_hDecommit = decommit;
    m_hFreeSamples = semaphore;
    m_bCommitted = true;
    ++m_dwPeriod;
    for (long i = 0; i < m_Props.cBuffers; ++i) {
        auto* sample = new (std::nothrow) CV77DsARCLocalMediaSample(this);
        if (!sample)
            return E_OUTOFMEMORY;
        // The memory belongs to the pool item; give it the negotiated size
        // so that a host filling samples itself (push source) has room.
        if (m_Props.cbBuffer > 0)
            sample->AllocateMemory(static_cast<DWORD>(m_Props.cbBuffer));
        m_Free.push_back(sample);
        ReleaseSemaphore(m_hFreeSamples, 1, nullptr);
    }
    return S_OK;
}

STDMETHODIMP CV77DsARCAllocator::Decommit()
{
    std::deque<CV77DsARCLocalMediaSample*> free;
    {
        CV77SectionLock lock(&m_Lock);
        if (m_bCommitted) {
            m_bCommitted = false;
            SetEvent(m_hDecommit);
            RetireHandles();
        }
        free.swap(m_Free);
    }
    // Outside the lock: a sample's destructor releases its allocator reference.
    for (CV77DsARCLocalMediaSample* sample : free)
        delete sample;
    return S_OK;
}

void CV77DsARCAllocator::RetireHandles()
{
    m_Retired.push_back(m_hFreeSamples);
    m_Retired.push_back(m_hDecommit);
    m_hFreeSamples = nullptr;
    m_hDecommit = nullptr;
    CloseRetiredWhenIdle();
}

void CV77DsARCAllocator::CloseRetiredWhenIdle()
{
    if (m_cWaiters != 0)
        return;
    for (HANDLE h : m_Retired)
        CloseHandle(h);
    m_Retired.clear();
}

STDMETHODIMP CV77DsARCAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    HANDLE handles[2];
    DWORD period = 0;
    {
        CV77SectionLock lock(&m_Lock);
        if (!m_bCommitted)
            return VFW_E_NOT_COMMITTED;
        handles[0] = m_hFreeSamples;
        handles[1] = m_hDecommit;
        period = m_dwPeriod;
        ++m_cWaiters;
    }
    const DWORD wait = WaitForMultipleObjects(2, handles, FALSE, (flags & AM_GBF_NOWAIT) ? 0 : INFINITE);
    CV77DsARCLocalMediaSample* taken = nullptr;
    HRESULT hr = S_OK;
    {
        CV77SectionLock lock(&m_Lock);
        --m_cWaiters;
        if (wait == WAIT_TIMEOUT)
            hr = VFW_E_TIMEOUT;
        else if (wait != WAIT_OBJECT_0)
            hr = E_FAIL;
        else if (!m_bCommitted || period != m_dwPeriod)
            hr = E_FAIL;  // the period this wait belonged to has ended
        else if (m_Free.empty())
            hr = VFW_E_TIMEOUT;
        else {
            taken = m_Free.front();
            m_Free.pop_front();
        }
        if (!m_bCommitted || period != m_dwPeriod)
            CloseRetiredWhenIdle();
    }
    if (!taken)
        return hr;
    hr = taken->NonDelegatingQueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
    if (FAILED(hr)) {
        // No pool item behind it: it can never be handed out.
        delete taken;
        return hr;
    }
    IV77PoolItem* item = nullptr;
    if (SUCCEEDED((*sample)->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&item)))) {
        item->Reset();
        item->Release();
    }
    return S_OK;
}

STDMETHODIMP CV77DsARCAllocator::ReleaseBuffer(IMediaSample* sample)
{
    CV77DsARCLocalMediaSample* object = CV77DsARCLocalMediaSample::FromSample(sample);
    if (!object)
        return E_NOINTERFACE;
    {
        CV77SectionLock lock(&m_Lock);
        if (m_bCommitted) {
            m_Free.push_back(object);
            ReleaseSemaphore(m_hFreeSamples, 1, nullptr);
            return S_OK;
        }
    }
    // Outside the lock: this may release the allocator's last reference.
    delete object;
    return S_OK;
}

size_t CV77DsARCAllocator::FreeCount()
{
    CV77SectionLock lock(&m_Lock);
    return m_Free.size();
}
