// Input pin of a CTransformFilter: checks types against the filter and
// hands samples, flushes, end of stream and segments to it.
#pragma once

#include "framework/CBaseInputPin.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const TCHAR* objectName, CTransformFilter* filter, HRESULT* phr, LPCWSTR pinName);

    STDMETHODIMP QueryId(LPWSTR* id) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;

    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;

    // Also refuses samples while the output is not connected.
    HRESULT CheckStreaming() override;

protected:
    CTransformFilter* m_pTransformFilter;
};
