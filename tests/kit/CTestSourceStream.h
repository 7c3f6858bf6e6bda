// The pin of CTestSource: fills frames whose bytes, times and media times the
// tests can predict, seeks through CSourceSeeking (flush and restart), and
// counts what happened.
#pragma once

#include <atomic>
#include <set>
#include "framework/CSourceSeeking.h"
#include "framework/CSourceStream.h"
#include "tests/kit/TestSourceConfig.h"

class CTestSourceStream : public CSourceStream, public CSourceSeeking {
public:
    CTestSourceStream(HRESULT* phr, CSource* filter, const TestSourceConfig& config);
    ~CTestSourceStream() override;

    // Two CUnknown bases: the pin's is the one that counts.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    HRESULT GetMediaType(CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) override;
    HRESULT Deliver(IMediaSample* sample) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    STDMETHODIMP Notify(IBaseFilter* sender, Quality q) override;

    // Lets gated FillBuffer calls through.
    void ReleaseGate();

    // What happened, for the tests.
    std::atomic<long> framesFilled{0};
    std::atomic<long> framesDelivered{0};
    std::atomic<long> endOfStreams{0};
    std::atomic<long> threadCreates{0};
    std::atomic<long> threadDestroys{0};
    std::atomic<long> startPlays{0};
    std::atomic<long> changeStarts{0};
    std::atomic<long> changeStops{0};
    std::atomic<long> changeRates{0};
    std::atomic<long> qualityMessages{0};
    std::atomic<long> gateWaits{0};
    std::atomic<HRESULT> lastDeliverResult{S_OK};
    bool Delivered(IMediaSample* sample);
    ALLOCATOR_PROPERTIES DecidedProperties();

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT OnThreadStartPlay() override;
    HRESULT DeliverEndOfStream() override;
    HRESULT ChangeStart() override;
    HRESULT ChangeStop() override;
    HRESULT ChangeRate() override;

private:
    bool WaitAtGate();
    void WriteFrame(IMediaSample* sample, int frame);
    // Flushes downstream and restarts delivery from the current start.
    HRESULT Restart();
    // Copies the seeking values for the worker, which must not take the
    // filter lock (Stop holds it while waiting for the worker).
    void CopySegment();

    TestSourceConfig m_Config;
    CCritSec m_SharedState;           // frame counters shared with the worker
    int m_NextFrame;                  // absolute frame number filled next
    int m_FirstFrame;                 // frame at which the segment starts
    CAMEvent m_Gate;                  // manual: gated frames may pass
    CAMEvent m_Abort;                 // manual: the stream is stopping
    std::set<IMediaSample*> m_Delivered;
    ALLOCATOR_PROPERTIES m_Decided;
    REFERENCE_TIME m_SegmentStart;
    REFERENCE_TIME m_SegmentStop;
    double m_SegmentRate;
};
