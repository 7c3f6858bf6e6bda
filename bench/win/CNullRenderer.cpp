#include "bench/win/CNullRenderer.h"

#include <cstring>
#include <new>
#include <uuids.h>

namespace {

// {3C1E7A53-60B4-4E0B-8D27-5A9F1C6B2E01}
const CLSID CLSID_V77NullRenderer = {0x3c1e7a53, 0x60b4, 0x4e0b, {0x8d, 0x27, 0x5a, 0x9f, 0x1c, 0x6b, 0x2e, 0x01}};

}  // namespace

CNullRenderer::CNullRenderer(BenchCounters* counters, HRESULT* phr)
    : CBaseRenderer(CLSID_V77NullRenderer, TEXT("Null renderer"), nullptr, phr), m_pCounters(counters)
{
}

CNullRenderer* CNullRenderer::Create(BenchCounters* counters)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CNullRenderer(counters, &hr);
    if (!renderer)
        return nullptr;
    if (FAILED(hr)) {
        delete renderer;
        return nullptr;
    }
    renderer->AddRef();
    return renderer;
}

HRESULT CNullRenderer::CheckMediaType(const CMediaType* mt)
{
    return mt && mt->majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
}

HRESULT CNullRenderer::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return S_OK;
}

HRESULT CNullRenderer::DoRenderSample(IMediaSample* sample)
{
    const LONGLONG now = BenchTicks();
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < kStampBytes)
        return S_OK;
    LONGLONG stamp = 0;
    std::memcpy(&stamp, data + kStampTicksOffset, sizeof(stamp));
    // The first frame waited for Run in a paused graph: no latency of ours.
    if (m_pCounters->received.load() == 0)
        m_pCounters->firstReceive = now;
    else
        m_pCounters->latencyTicks += now - stamp;
    m_pCounters->lastReceive = now;
    m_pCounters->NoteReceipt();
    return S_OK;
}
