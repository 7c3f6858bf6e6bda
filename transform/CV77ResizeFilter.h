// "Varnokel77 Resize filter": scales uncompressed video (YUY2, RGB24, RGB32,
// YV12, I420) to a fixed output size in the input's own format, optionally
// from a source rectangle, and thins the frame rate to one frame per period.
#pragma once

#include <windows.h>
#include <memory>

#include "framework/CMediaType.h"
#include "framework/CTransformFilter.h"
#include "kernels/Resize.h"
#include "v77/IV77Resize.h"

class CV77ResizeFilter : public CTransformFilter, public IV77Resize {
public:
    CV77ResizeFilter(LPUNKNOWN outer, HRESULT* phr);
    ~CV77ResizeFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77Resize
    STDMETHODIMP SetOutputSize(const SIZE* size) override;
    STDMETHODIMP SetSourceRect(const RECT* rect) override;
    STDMETHODIMP SetFramePeriod(REFERENCE_TIME period) override;

    // CTransformFilter
    HRESULT CheckInputType(const CMediaType* mt) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    using FormatRoutine = void (CV77ResizeFilter::*)(const BYTE* src, BYTE* dst);

    // Thinning: true when the frame at time t is kept.
    bool KeepFrame(REFERENCE_TIME t);
    // De-interlaces the whole input frame into the interlace buffer; returns the buffer.
    const BYTE* Deinterlace(const BYTE* src, int planarChromaBytes);
    void ResizePacked(const BYTE* src, BYTE* dst);
    void ResizeThreeChannels(const BYTE* src, BYTE* dst);
    void ResizeFourChannels(const BYTE* src, BYTE* dst);
    void ResizePlanar(const BYTE* src, BYTE* dst);
    void ResizeChannels(int channels, const BYTE* src, BYTE* dst);

    CMediaType m_InputType;
    CMediaType m_OutputType;
    LONG m_OutputWidth;
    LONG m_OutputHeight;
    RECT m_SourceRect;
    DWORD m_OutputFrameSize;
    REFERENCE_TIME m_LastTime;
    REFERENCE_TIME m_AccumulatedTime;
    REFERENCE_TIME m_FramePeriod;
    double m_XFactor;
    double m_YFactor;
    double m_XShift;
    double m_YShift;
    LONG m_InputWidth;
    LONG m_InputHeight;
    LONG m_RowBytes;
    LONG m_Rows;
    V77Rect m_SourceRoi;
    V77Rect m_DestinationRoi;
    LONG m_InputStride;
    LONG m_OutputStride;
    bool m_bInterlaced;
    std::unique_ptr<BYTE[]> m_pWorkBuffer;
    std::unique_ptr<BYTE[]> m_pInterlaceBuffer;
    WORD m_InterlaceWeight;
    FormatRoutine m_FormatRoutine;
    // Bytes an input frame must have for the routine to stay inside it.
    DWORD m_InputFrameSize;
};
