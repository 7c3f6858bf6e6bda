// IMemAllocator over a free list of CMediaSample objects. GetBuffer waits for
// a free sample until one is released or the allocator is decommitted;
// Decommit with samples outstanding frees the memory when the last returns.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <evcode.h>
#include <vfwmsgs.h>
#include "framework/CCritSec.h"
#include "framework/CUnknown.h"

class CMediaSample;

class CBaseAllocator : public CUnknown, public IMemAllocatorCallbackTemp {
public:
    CBaseAllocator(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, BOOL enableReleaseCallback = FALSE);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                           DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

    // IMemAllocatorCallbackTemp
    STDMETHODIMP SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;
    STDMETHODIMP GetFreeCount(LONG* free) override;

    BOOL IsCommitted() const { return m_bCommitted; }

protected:
    // Makes the samples and their memory for the current properties.
    virtual HRESULT Alloc();
    // Frees what Alloc made; called with every sample back in the free list.
    virtual void Free() = 0;

    void PushFree(CMediaSample* sample);
    CMediaSample* PopFree();

    CCritSec m_Lock;
    CMediaSample* m_pFree;        // free list
    LONG m_lFree;
    HANDLE m_hSem;                // waiters in GetBuffer
    LONG m_lWaiting;
    LONG m_lCount;                // buffers requested
    LONG m_lAllocated;            // samples that exist
    LONG m_lSize;
    LONG m_lAlignment;
    LONG m_lPrefix;
    BOOL m_bChanged;              // properties changed since the last Alloc
    BOOL m_bCommitted;
    BOOL m_bDecommitInProgress;
    IMemAllocatorNotifyCallbackTemp* m_pNotify;
    BOOL m_fEnableReleaseCallback;
};
