// The demo camera's output pin: YUY2 colour bars with a bright line that
// moves down one row a frame, at a steady frame rate, with stream and media
// times, into whatever allocator the downstream filter offers (the buffer
// filter's pooled samples).
#pragma once

#include <atomic>
#include "framework/CSourceStream.h"

class CHostPatternStream : public CSourceStream {
public:
    static constexpr LONG kWidth = 320;
    static constexpr LONG kHeight = 240;
    static constexpr REFERENCE_TIME kFrameTime = 400000;  // 25 frames a second

    CHostPatternStream(HRESULT* phr, CSource* filter);

    HRESULT GetMediaType(CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Deliver(IMediaSample* sample) override;

    // The bar colour (RGB) at column x, as the pattern draws it.
    static COLORREF BarColour(LONG x);
    long FramesDelivered() const { return m_FramesDelivered.load(); }

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadStartPlay() override;

private:
    void DrawFrame(BYTE* data, long frame) const;
    void WaitUntilDue(long frame) const;

    long m_Frame;
    ULONGLONG m_StartMs;
    std::atomic<long> m_FramesDelivered;
};
