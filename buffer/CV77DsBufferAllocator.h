// The buffer filter's allocators: the properties both share, and the sizes
// they agree on with the filter's queue (buffer count + 1 buffers of the
// queue's buffer size).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <atomic>
#include "framework/CUnknown.h"

class CV77DsBufferFilter;

class CV77DsBufferAllocator : public CUnknown, public IMemAllocator {
public:
    CV77DsBufferAllocator(const TCHAR* name, CV77DsBufferFilter* filter);
    ~CV77DsBufferAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;

    // The filter goes away before the last reference held by a peer pin.
    void DetachFilter() { m_pFilter.store(nullptr); }

protected:
    std::atomic<CV77DsBufferFilter*> m_pFilter;
    ALLOCATOR_PROPERTIES m_Properties;
};
