#include "framework/CBaseAllocator.h"

#include "framework/CAutoLock.h"
#include "framework/CMediaSample.h"

CBaseAllocator::CBaseAllocator(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, BOOL enableReleaseCallback)
    : CUnknown(name, outer),
      m_pFree(nullptr),
      m_lFree(0),
      m_hSem(CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr)),
      m_lWaiting(0),
      m_lCount(0),
      m_lAllocated(0),
      m_lSize(0),
      m_lAlignment(0),
      m_lPrefix(0),
      m_bChanged(FALSE),
      m_bCommitted(FALSE),
      m_bDecommitInProgress(FALSE),
      m_pNotify(nullptr),
      m_fEnableReleaseCallback(enableReleaseCallback)
{
    if (!m_hSem && phr)
        *phr = E_OUTOFMEMORY;
}

CBaseAllocator::~CBaseAllocator()
{
    if (m_pNotify)
        m_pNotify->Release();
    if (m_hSem)
        CloseHandle(m_hSem);
}

STDMETHODIMP CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    if (riid == IID_IMemAllocatorCallbackTemp && m_fEnableReleaseCallback)
        return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    CAutoLock lock(&m_Lock);
    if (m_bCommitted)
        return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != m_lFree)
        return VFW_E_BUFFERS_OUTSTANDING;
    *actual = *request;
    m_lCount = request->cBuffers;
    m_lSize = request->cbBuffer;
    m_lAlignment = request->cbAlign;
    m_lPrefix = request->cbPrefix;
    m_bChanged = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    CAutoLock lock(&m_Lock);
    props->cBuffers = m_lCount;
    props->cbBuffer = m_lSize;
    props->cbAlign = m_lAlignment;
    props->cbPrefix = m_lPrefix;
    return S_OK;
}

HRESULT CBaseAllocator::Alloc()
{
    if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0)
        return VFW_E_SIZENOTSET;
    m_bChanged = FALSE;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::Commit()
{
    CAutoLock lock(&m_Lock);
    if (m_bCommitted)
        return S_OK;
    // Samples still out from before the last Decommit are simply reused.
    m_bDecommitInProgress = FALSE;
    HRESULT hr = S_OK;
    if (m_lAllocated == 0 || m_bChanged)
        hr = Alloc();
    if (FAILED(hr))
        return hr;
    m_bCommitted = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::Decommit()
{
    CAutoLock lock(&m_Lock);
    if (!m_bCommitted)
        return S_OK;
    m_bCommitted = FALSE;
    if (m_lFree == m_lAllocated)
        Free();
    else
        m_bDecommitInProgress = TRUE;  // the last returning sample frees
    // Every waiter in GetBuffer fails now.
    if (m_lWaiting > 0) {
        ReleaseSemaphore(m_hSem, m_lWaiting, nullptr);
        m_lWaiting = 0;
    }
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    CMediaSample* taken = nullptr;
    for (;;) {
        {
            CAutoLock lock(&m_Lock);
            if (!m_bCommitted)
                return VFW_E_NOT_COMMITTED;
            taken = PopFree();
            if (taken)
                break;
            if (flags & AM_GBF_NOWAIT)
                return VFW_E_TIMEOUT;
            ++m_lWaiting;
        }
        // Woken by a released sample or by Decommit.
        WaitForSingleObject(m_hSem, INFINITE);
    }
    taken->m_cRef = 1;
    *sample = taken;
    // Each sample out keeps its allocator alive; ReleaseBuffer balances this.
    NonDelegatingAddRef();
    return S_OK;
}

STDMETHODIMP CBaseAllocator::ReleaseBuffer(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    IMemAllocatorNotifyCallbackTemp* notify = nullptr;
    {
        CAutoLock lock(&m_Lock);
        PushFree(static_cast<CMediaSample*>(sample));
        if (m_lWaiting > 0) {
            ReleaseSemaphore(m_hSem, m_lWaiting, nullptr);
            m_lWaiting = 0;
        }
        if (m_bDecommitInProgress && m_lFree == m_lAllocated) {
            Free();
            m_bDecommitInProgress = FALSE;
        }
        notify = m_pNotify;
        if (notify)
            notify->AddRef();
    }
    if (notify) {
        notify->NotifyRelease();
        notify->Release();
    }
    NonDelegatingRelease();
    return S_OK;
}

STDMETHODIMP CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* notify)
{
    CAutoLock lock(&m_Lock);
    if (notify)
        notify->AddRef();
    if (m_pNotify)
        m_pNotify->Release();
    m_pNotify = notify;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetFreeCount(LONG* free)
{
    if (!free)
        return E_POINTER;
    CAutoLock lock(&m_Lock);
    *free = m_lFree;
    return S_OK;
}

void CBaseAllocator::PushFree(CMediaSample* sample)
{
    sample->m_pNext = m_pFree;
    m_pFree = sample;
    ++m_lFree;
}

CMediaSample* CBaseAllocator::PopFree()
{
    CMediaSample* sample = m_pFree;
    if (sample) {
        m_pFree = sample->m_pNext;
        sample->m_pNext = nullptr;
        --m_lFree;
    }
    return sample;
}
