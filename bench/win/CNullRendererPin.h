// Input pin of the null renderer: takes every frame at once (no clock, no
// drawing) and records when it arrived against the source's stamp.
#pragma once

#include "bench/win/BenchCounters.h"
#include "framework/CBaseInputPin.h"

class CNullRendererPin : public CBaseInputPin {
public:
    CNullRendererPin(CBaseFilter* filter, CCritSec* lock, BenchCounters* counters, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;

private:
    BenchCounters* const m_pCounters;
};
