// A renderer that renders nothing, on the framework's renderer base with the
// module's video renderers' scheduling (every sample drawn on arrival): what
// lies upstream of it is measured through the same receive path they have.
#pragma once

#include "bench/win/BenchCounters.h"
#include "framework/CBaseRenderer.h"

class CNullRenderer : public CBaseRenderer {
public:
    // One reference; null on failure.
    static CNullRenderer* Create(BenchCounters* counters);

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    // Records when the frame arrived against the source's stamp.
    HRESULT DoRenderSample(IMediaSample* sample) override;

private:
    CNullRenderer(BenchCounters* counters, HRESULT* phr);

    BenchCounters* const m_pCounters;
};
