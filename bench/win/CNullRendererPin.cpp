#include "bench/win/CNullRendererPin.h"

#include <cstring>
#include <uuids.h>

CNullRendererPin::CNullRendererPin(CBaseFilter* filter, CCritSec* lock, BenchCounters* counters, HRESULT* phr)
    : CBaseInputPin(TEXT("Null renderer input"), filter, lock, phr, L"In"), m_pCounters(counters)
{
}

HRESULT CNullRendererPin::CheckMediaType(const CMediaType* mt)
{
    return mt && mt->majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
}

STDMETHODIMP CNullRendererPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    const LONGLONG now = BenchTicks();
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < kStampBytes)
        return S_OK;
    LONGLONG stamp = 0;
    std::memcpy(&stamp, data + kStampTicksOffset, sizeof(stamp));
    m_pCounters->latencyTicks += now - stamp;
    m_pCounters->lastReceive = now;
    ++m_pCounters->received;
    return S_OK;
}
