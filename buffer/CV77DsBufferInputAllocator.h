// The input pin's allocator: pooled samples of a sample pool component made
// at Commit, so that whatever upstream fills is already a pool item.
#pragma once

#include "buffer/CV77DsBufferAllocator.h"
#include "framework/CCritSec.h"
#include "v77/IV77SamplePool.h"

class CV77DsBufferInputAllocator : public CV77DsBufferAllocator {
public:
    explicit CV77DsBufferInputAllocator(CV77DsBufferFilter* filter);
    ~CV77DsBufferInputAllocator() override;

    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

    // The pool while committed (with a reference), for diagnostics and tests.
    HRESULT GetPool(IV77SamplePool** pool);

private:
    // Takes the pool out; shuts it down and releases it.
    void ClosePool();

    CCritSec m_AllocatorLock;
    IV77SamplePool* m_pPool;   // null while decommitted
};
