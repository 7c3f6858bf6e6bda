// Output pin of CTestFrameSource: offers one media type and delivers the
// frames a test pushes, from the negotiated allocator or from a sample pool.
#pragma once

#include <vector>
#include <wrl/client.h>
#include "framework/CBaseOutputPin.h"
#include "v77/IV77SamplePool.h"

class CTestFramePin : public CBaseOutputPin {
public:
    CTestFramePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const CMediaType& mt);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // Samples come from this pool instead of the allocator (null: the allocator).
    void UsePool(IV77SamplePool* pool) { m_pPool = pool; }
    // Delivers one frame: bytes copied into a sample whose length is set to
    // length (which may exceed the bytes given). *delivered, when asked for,
    // keeps the sample after delivery.
    HRESULT Push(const std::vector<BYTE>& bytes, LONG length = -1,
                 Microsoft::WRL::ComPtr<IMediaSample>* delivered = nullptr);
    // Buffer size asked for in DecideBufferSize (0: the type's sample size).
    void SetBufferSize(LONG bytes) { m_BufferSize = bytes; }

private:
    HRESULT GetSample(IMediaSample** sample);

    CMediaType m_Type;
    Microsoft::WRL::ComPtr<IV77SamplePool> m_pPool;
    LONG m_BufferSize;
};
