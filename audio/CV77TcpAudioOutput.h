// "TCPAudio OUTPUT": delivers, on its streaming thread, the samples the TCP
// channel filled and queued through the filter's OnSample. The queue is
// trimmed when the thread takes a sample and 15 or more remain (down to 9),
// so a stalled downstream costs at most 15 queued buffers.
#pragma once

#include <deque>

#include "framework/CAMEvent.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "framework/CSourceStream.h"

class CV77TcpAudioOutput : public CSourceStream, public IAMBufferNegotiation, public IAMStreamConfig,
                           public IAMPushSource {
public:
    static constexpr size_t kTrimAt = 15;    // this many left behind the taken sample start a trim
    static constexpr size_t kTrimTo = 9;     // ... that leaves this many

    CV77TcpAudioOutput(const TCHAR* objectName, HRESULT* phr, CSource* filter, LPCWSTR pinName);
    ~CV77TcpAudioOutput() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    using CSourceStream::GetMediaType;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // The next queued sample; waits while the queue is empty and the pin active.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // The channel's filled sample (one reference taken here).
    HRESULT Enqueue(IMediaSample* sample);
    // The allocator's GetBuffer (waits for a free buffer); E_NOINTERFACE without an allocator.
    HRESULT GetEmptyBuffer(IMediaSample** sample);
    size_t QueuedCount();

    // IAMBufferNegotiation
    STDMETHODIMP SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP GetAllocatorProperties(ALLOCATOR_PROPERTIES* props) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
    STDMETHODIMP GetNumberOfCapabilities(int*, int*) override { return E_NOTIMPL; }
    STDMETHODIMP GetStreamCaps(int, AM_MEDIA_TYPE**, BYTE*) override { return E_NOTIMPL; }

    // IAMLatency / IAMPushSource
    STDMETHODIMP GetLatency(REFERENCE_TIME* latency) override;
    STDMETHODIMP GetPushSourceFlags(ULONG* flags) override;
    STDMETHODIMP SetPushSourceFlags(ULONG) override { return E_NOTIMPL; }
    STDMETHODIMP SetStreamOffset(REFERENCE_TIME offset) override;
    STDMETHODIMP GetStreamOffset(REFERENCE_TIME* offset) override;
    STDMETHODIMP GetMaxStreamOffset(REFERENCE_TIME* offset) override;
    STDMETHODIMP SetMaxStreamOffset(REFERENCE_TIME) override { return S_OK; }

protected:
    // The channel filled the sample already.
    HRESULT FillBuffer(IMediaSample*) override { return S_OK; }

private:
    void ClearQueue();   // m_QueueLock held

    CMediaType m_MediaType;
    ALLOCATOR_PROPERTIES m_Suggested;
    ALLOCATOR_PROPERTIES m_Actual;
    CAMEvent m_SampleEvent;                  // manual reset
    CCritSec m_QueueLock;
    std::deque<IMediaSample*> m_Queue;       // one reference each
    bool m_bRunning;
};
