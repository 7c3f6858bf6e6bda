// The buffer filter's input pin ("IN"): accepts the video and audio types the
// queues handle, makes upstream fill pooled samples of its own allocator, and
// puts every received frame into the filter's queue (splitting samples that
// are not pool items into pooled frames).
#pragma once

#include "framework/CBaseInputPin.h"
#include "v77/IV77SamplePool.h"
#include "framework/CMediaType.h"

class CV77DsBufferFilter;
class CV77DsBufferInputAllocator;

class CV77DsBufferInput : public CBaseInputPin {
public:
    CV77DsBufferInput(CV77DsBufferFilter* filter, CCritSec* lock, HRESULT* phr);
    ~CV77DsBufferInput() override;

    // Connection.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP ReceiveCanBlock() override;
    STDMETHODIMP Receive(IMediaSample* sample) override;

    // IPin
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // The connected type, with FORMAT_VideoInfo2 stored as FORMAT_VideoInfo.
    const CMediaType& StoredType() const { return m_StoredType; }
    CV77DsBufferInputAllocator* OwnAllocator() const { return m_pOwnAllocator; }

private:
    static HRESULT CheckMajorType(const CMediaType& mt);
    // The stored form of mt: VIDEOINFOHEADER2 becomes an 88-byte VIDEOINFOHEADER.
    static HRESULT ToStoredType(const CMediaType& mt, CMediaType* stored);
    // Copies a sample that is not a pool item into pooled frames of our allocator.
    HRESULT ReceiveCopy(IMediaSample* sample, LONG length);
    HRESULT ReceivePooled(IV77PoolItem* frame);

    CV77DsBufferFilter* const m_pBufferFilter;
    CV77DsBufferInputAllocator* m_pOwnAllocator;   // one reference
    CMediaType m_StoredType;
};
