// Output pin of a live source: offers the filter's one media type, sizes the
// buffers for it, answers the receiver's auxiliary object, and tells the
// graph that the stream runs on the receiver's clock (IAMPushSource).
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CBaseOutputPin.h"

class CV77DsSourceFilter;

class CV77DsSourceOutput : public CBaseOutputPin, public IAMPushSource {
public:
    CV77DsSourceOutput(const TCHAR* objectName, CV77DsSourceFilter* filter, HRESULT* phr, LPCWSTR pinName);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IAMLatency
    STDMETHODIMP GetLatency(REFERENCE_TIME* latency) override;
    // IAMPushSource
    STDMETHODIMP GetPushSourceFlags(ULONG* flags) override;
    STDMETHODIMP SetPushSourceFlags(ULONG flags) override;
    STDMETHODIMP SetStreamOffset(REFERENCE_TIME offset) override;
    STDMETHODIMP GetStreamOffset(REFERENCE_TIME* offset) override;
    STDMETHODIMP GetMaxStreamOffset(REFERENCE_TIME* offset) override;
    STDMETHODIMP SetMaxStreamOffset(REFERENCE_TIME offset) override;

    // Fewest buffers the pin asks for.
    static constexpr long kMinimumCount = 6;

protected:
    // Bytes of one sample of the filter's media type (0 when unknown).
    LONG SampleSize() const;
    // The live outputs' choice: own (unless the filter says otherwise and the
    // input pin offers one), sized, and always declared read-only.
    HRESULT DecideWithOwnAllocator(IMemInputPin* pin, IMemAllocator* own, IMemAllocator** allocator);

    CV77DsSourceFilter* const m_pSourceFilter;  // owns us; not counted
};
