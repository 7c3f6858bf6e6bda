// The input pin of a CBaseRenderer: every pin call is handed to the renderer,
// which does the scheduling and state handling.
#pragma once

#include "framework/CBaseInputPin.h"

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
public:
    CRendererInputPin(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR pinName);

    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP Receive(IMediaSample* sample) override;

    IMemAllocator* Allocator() const { return m_pAllocator; }

protected:
    CBaseRenderer* m_pRenderer;
};
