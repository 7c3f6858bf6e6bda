// "Output Allocator" of the live source outputs: hands out samples of the
// outside sample pool, created at Commit and shut down at Decommit. Samples
// go back to the pool through their own last Release, never through here.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CUnknown.h"
#include "v77/IV77SamplePool.h"

class CV77DsSourceAllocator : public CUnknown, public IMemAllocator {
public:
    explicit CV77DsSourceAllocator(LPUNKNOWN outer);
    ~CV77DsSourceAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

    // At least this many buffers, whatever is asked.
    static constexpr long kMinimumCount = 8;

private:
    // The pool with a reference, or null when not committed.
    IV77SamplePool* PoolReference();

    CRITICAL_SECTION m_Lock;
    ALLOCATOR_PROPERTIES m_Props;
    IV77SamplePool* m_pPool;
};
