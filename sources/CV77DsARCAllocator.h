// "Output Allocator" of the local live source, the archive local source and
// the push source: a fixed set of CV77DsARCLocalMediaSample objects made at
// Commit, handed out first in, first out. A semaphore counts the free
// samples; Decommit wakes every waiter through the decommit event.
//
// Each commit period has its own semaphore and event, so a waiter of an
// earlier period can never sleep on a handle of a later one; handles of a
// finished period are closed when its last waiter has left.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <deque>
#include <vector>

#include "framework/CUnknown.h"

class CV77DsARCLocalMediaSample;

class CV77DsARCAllocator : public CUnknown, public IMemAllocator {
public:
    explicit CV77DsARCAllocator(LPUNKNOWN outer);
    ~CV77DsARCAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

    // Samples in the free list now (for diagnostics and tests).
    size_t FreeCount();

private:
    // Takes the front sample after a successful wait; null when the period ended.
    CV77DsARCLocalMediaSample* TakeFront(DWORD period);
    void RetireHandles();
    void CloseRetiredWhenIdle();

    CRITICAL_SECTION m_Lock;
    ALLOCATOR_PROPERTIES m_Props;
    std::deque<CV77DsARCLocalMediaSample*> m_Free;
    bool m_bCommitted;
    HANDLE m_hFreeSamples;     // semaphore of the current period
    HANDLE m_hDecommit;        // manual-reset event of the current period
    DWORD m_dwPeriod;          // counts commits
    LONG m_cWaiters;           // GetBuffer calls between taking the handles and leaving
    std::vector<HANDLE> m_Retired;
};
