// The buffer filter's output pin ("OUT") and its delivery thread: the thread
// takes the queue's next frame (blocking) and delivers it downstream, turns
// end-of-stream records into DeliverEndOfStream and reports each frame's
// media time to the display notification.
#pragma once

#include <atomic>
#include "framework/CAMThread.h"
#include "framework/CBaseOutputPin.h"
#include "v77/IV77SamplePool.h"

class CV77DsBufferFilter;
class CV77DsBufferOutputAllocator;

class CV77DsBufferOutput : public CBaseOutputPin, public CAMThread {
public:
    CV77DsBufferOutput(CV77DsBufferFilter* filter, CCritSec* lock, HRESULT* phr);
    ~CV77DsBufferOutput() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter* sender, Quality q) override;

    CV77DsBufferOutputAllocator* OwnAllocator() const { return m_pOwnAllocator; }
    // Frames delivered downstream since construction (diagnostics, tests).
    LONG FramesDelivered() const { return m_cDelivered.load(); }

protected:
    DWORD ThreadProc() override;

private:
    // One pass of the delivery loop: a frame (or command record) delivered or dropped.
    HRESULT DeliverNext();
    HRESULT DeliverFrame(IMediaSample* frame, IV77PoolItem* item, IMediaSample* downstream);
    bool UsesOwnAllocator() const;
    static HRESULT CompareVideo(const CMediaType& proposed, const CMediaType& stored);

    CV77DsBufferFilter* const m_pBufferFilter;
    CV77DsBufferOutputAllocator* m_pOwnAllocator;  // one reference
    std::atomic<bool> m_bStop;
    std::atomic<LONG> m_cDelivered;
};
