// A renderer on CBaseRenderer that records every sample it renders and the
// stream events it gets; it can hold Receive to act as a busy renderer.
#pragma once

#include <atomic>
#include <vector>
#include "framework/CBaseRenderer.h"
#include "tests/kit/RenderedSample.h"
#include "tests/kit/TestRendererConfig.h"

class CTestRendererInputPin;

class CTestRenderer : public CBaseRenderer {
public:
    // One reference, for Adopt() (not ComPtr::Attach, which adds one); null on failure.
    static CTestRenderer* Create(const TestRendererConfig& config = TestRendererConfig());

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CBasePin* GetPin(int n) override;
    CTestRendererInputPin* TestPin();
    const TestRendererConfig& Config() const { return m_Config; }

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT OnReceiveFirstSample(IMediaSample* sample) override;
    HRESULT OnStartStreaming() override;
    HRESULT OnStopStreaming() override;
    HRESULT EndOfStream() override;

    std::vector<RenderedSample> Samples();
    // The newest sample (false when none came yet), without copying the rest.
    bool LastSample(RenderedSample* sample);
    size_t SampleCount();
    void ClearSamples();

    // Bounded waits for what the upstream thread does.
    bool WaitForSamples(size_t count, DWORD timeoutMs);
    bool WaitForEndOfStream(DWORD timeoutMs);

    std::atomic<long> endOfStreams{0};
    std::atomic<long> firstSamples{0};
    std::atomic<long> startStreamings{0};
    std::atomic<long> stopStreamings{0};

private:
    CTestRenderer(const TestRendererConfig& config, HRESULT* phr);
    ~CTestRenderer() override;
    RenderedSample Describe(IMediaSample* sample);

    TestRendererConfig m_Config;
    CCritSec m_RecordLock;
    std::vector<RenderedSample> m_Samples;
    std::vector<IMediaSample*> m_Kept;  // counted; with keepSamples
};
