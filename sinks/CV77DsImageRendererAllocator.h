// "Output Allocator" of the image renderer's input pin: hands out the items
// of a sample pool that the host owns and has sized itself. Commit only
// checks that the pool can hold the connection; the host initialises and
// shuts the pool down, and its Shutdown is what ends a blocked GetBuffer.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CUnknown.h"
#include "v77/IV77SamplePool.h"

class CV77DsImageRendererAllocator : public CUnknown, public IMemAllocatorCallbackTemp {
public:
    // *phr = E_POINTER without a pool, E_NOINTERFACE when it is not a sample pool.
    CV77DsImageRendererAllocator(IUnknown* pool, HRESULT* phr);
    ~CV77DsImageRendererAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

    // IMemAllocatorCallbackTemp
    STDMETHODIMP SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;
    STDMETHODIMP GetFreeCount(LONG* free) override;

    // At least this many buffers, whatever is asked.
    static constexpr long kMinimumCount = 8;

private:
    ALLOCATOR_PROPERTIES m_Props;
    IV77SamplePool* m_pPool;
};
