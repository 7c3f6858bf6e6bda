// Input pin "IN" of the image renderer: accepts only allocators built on a
// sample pool, so that the source's pooled samples reach the host's sink
// without a copy; offers an allocator over the host's pool when it has one.
#pragma once

#include "framework/CRendererInputPin.h"

class CV77DsImageRendererFilter;

class CV77ImageRendererInputPin : public CRendererInputPin {
public:
    // pool: the host's sample pool or null; a reference is kept.
    CV77ImageRendererInputPin(CV77DsImageRendererFilter* filter, IUnknown* pool, HRESULT* phr);
    ~CV77ImageRendererInputPin() override;

    // With a required type it is the one type proposed.
    HRESULT GetMediaType(int position, CMediaType* mt) override;

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;

private:
    HRESULT NewAllocator(IMemAllocator** allocator);

    CV77DsImageRendererFilter* m_pFilter;
    IUnknown* m_pPool;
};
