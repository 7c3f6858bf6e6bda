// Stands in for an MPEG-4 Part 2 decoder, which Wine does not register: it
// takes the compressed camera stream and hands on YUY2 frames of the
// camera's size that carry the compressed frame unchanged (a 32-bit length,
// then the bytes), so the buffer filters take them and every frame that a
// view shows can still be identified by the camera packet's checksum.
#pragma once

#include <vector>
#include "framework/CTransformFilter.h"

class CPacketCarrier : public CTransformFilter {
public:
    // One reference, for Adopt(); null on failure. buffers: the samples it
    // asks of the buffer's pool (a time-shift queue playing backwards holds
    // a whole segment; a live view wants few, to stay close to the camera).
    static CPacketCarrier* Create(LONG buffers);
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

    // The compressed frame a carried frame holds (empty when it holds none).
    static std::vector<BYTE> Unwrap(const std::vector<BYTE>& frame);

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    explicit CPacketCarrier(LONG buffers);
    static const BITMAPINFOHEADER* Header(const CMediaType& mt);

    LONG m_cBuffers;
};
