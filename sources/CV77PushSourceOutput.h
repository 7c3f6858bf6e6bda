// "Push Source OUTPUT": the host sets the format, asks for empty samples,
// fills and pushes them; the pin stamps them with their media time and
// delivers them. A preroll sample is kept as a header and put in front of
// every later sync point.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CBaseOutputPin.h"
#include "v77/IV77DsSource.h"

class CV77PushSourceOutput : public CBaseOutputPin, public IV77PushSource {
public:
    CV77PushSourceOutput(CBaseFilter* filter, CCritSec* lock, HRESULT* phr);
    ~CV77PushSourceOutput() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IV77PushSource
    STDMETHODIMP SetFormat(const AM_MEDIA_TYPE* pmt, DWORD allocatorMode) override;
    STDMETHODIMP PushSample(IMediaSample* sample) override;
    STDMETHODIMP GetBuffer(IUnknown* context, IMediaSample** sample) override;
    STDMETHODIMP EndOfStream() override;

    // Fewest samples asked of either allocator.
    static constexpr long kMinimumCount = 4;

private:
    HRESULT PrependHeader(IMediaSample* sample);

    LONG m_lSampleSize;
    CMediaType m_Format;
    IMediaSample* m_pHeader;        // referenced
    DWORD m_dwAllocatorMode;
    IMemAllocator* m_pOwnAllocator;  // referenced
};
