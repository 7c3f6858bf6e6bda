// The benchmark source's pin: delivers a fixed number of frames as fast as
// it can. Each frame is a pooled sample (the negotiated allocator's, or a
// sample pool of its own when connected straight to a renderer); only a few
// bytes of it are written, so the run measures frame passing, not memset.
#pragma once

#include "bench/win/BenchCounters.h"
#include "framework/CMediaType.h"
#include "framework/CSourceStream.h"
#include "v77/IV77SamplePool.h"

struct BenchSourceConfig {
    CMediaType mediaType;
    LONG frameBytes = 0;              // actual data length of each frame
    long frameCount = 0;
    REFERENCE_TIME frameTime = 400000;
    IV77SamplePool* pool = nullptr;   // frames from here instead of the allocator (referenced)
    long window = 0;                  // frames delivered but not yet received, at most (0: no bound)
    BenchCounters* counters = nullptr;
};

class CBenchSourceStream : public CSourceStream {
public:
    CBenchSourceStream(HRESULT* phr, CSource* filter, const BenchSourceConfig& config);
    ~CBenchSourceStream() override;

    HRESULT GetMediaType(CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) override;
    HRESULT Deliver(IMediaSample* sample) override;

    bool Finished() const { return m_bFinished; }

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    HRESULT TakePooled(IMediaSample** sample);
    void WaitForWindow(long frame);

    BenchSourceConfig m_Config;
    long m_lNextFrame;
    volatile bool m_bFinished;
};
