#include "transform/CV77ResizeFilter.h"

#include <algorithm>
#include <cstring>
#include <dvdmedia.h>
#include <new>
#include <uuids.h>

#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "kernels/Deinterlace.h"

namespace {

constexpr int kPackedInterpolation = V77_INTERPOLATION_LINEAR;
constexpr int kInterpolation = V77_INTERPOLATION_LINEAR_SMOOTH;

bool IsPlanar(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_I420;
}

bool IsAccepted(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 ||
           IsPlanar(subtype);
}

// DWORD-aligned bytes of a row of width pixels of bitCount bits.
LONG AlignedStride(WORD bitCount, LONG width)
{
    return static_cast<LONG>(((static_cast<LONGLONG>(bitCount) * width / 8) + 3) & ~3LL);
}

} // namespace

CV77ResizeFilter::CV77ResizeFilter(LPUNKNOWN outer, HRESULT* phr)
    : CTransformFilter(TEXT("Varnokel77 Resize filter"), outer, CLSID_V77ResizeFilter),
      m_OutputWidth(320),
      m_OutputHeight(240),
      m_SourceRect{0, 0, 0, 0},
      m_OutputFrameSize(0),
      m_LastTime(0),
      m_AccumulatedTime(0),
      m_FramePeriod(10000000),
      m_XFactor(0),
      m_YFactor(0),
      m_XShift(0.0),
      m_YShift(0.0),
      m_InputWidth(0),
      m_InputHeight(0),
      m_RowBytes(0),
      m_Rows(0),
      m_SourceRoi{0, 0, 0, 0},
      m_DestinationRoi{0, 0, 0, 0},
      m_InputStride(0),
      m_OutputStride(0),
      m_bInterlaced(false),
      m_InterlaceWeight(128),
      m_FormatRoutine(nullptr),
      m_InputFrameSize(0)
{
    (void)phr;
}

CV77ResizeFilter::~CV77ResizeFilter() = default;

STDMETHODIMP CV77ResizeFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77Resize)
        return GetInterface(static_cast<IV77Resize*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77ResizeFilter::SetOutputSize(const SIZE* size)
{
    if (!size)
        return E_POINTER;
    CAutoLock lock(&m_csFilter);
    // The copy of the output type outlives a disconnection, so once
    // connected the size stays fixed.
    if (m_OutputType.IsValid())
        return VFW_E_ALREADY_CONNECTED;
    m_OutputWidth = size->cx;
    m_OutputHeight = size->cy;
    return S_OK;
}

STDMETHODIMP CV77ResizeFilter::SetSourceRect(const RECT* rect)
{
    if (!rect)
        return E_POINTER;
    CAutoLock lock(&m_csFilter);
    m_SourceRect = *rect;
    return S_OK;
}

STDMETHODIMP CV77ResizeFilter::SetFramePeriod(REFERENCE_TIME period)
{
    // Transform reads the thinning state under the receive lock.
    CAutoLock lock(&m_csReceive);
    m_FramePeriod = period;
    m_LastTime = 0;
    m_AccumulatedTime = 0;
    return S_OK;
}

HRESULT CV77ResizeFilter::CheckInputType(const CMediaType* mt)
{
    if (!mt || *mt->Type() != MEDIATYPE_Video ||
        (*mt->FormatType() != FORMAT_VideoInfo && *mt->FormatType() != FORMAT_VideoInfo2) ||
        !IsAccepted(*mt->Subtype()))
        return VFW_E_TYPE_NOT_ACCEPTED;
    // A header without a picture or without a frame size cannot be scaled.
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(*mt);
    if (!bih || bih->biWidth < 1 || bih->biHeight == 0 || bih->biHeight == LONG_MIN ||
        GetBitmapSizeFromBitmapInfoHeader(*bih) == 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CV77ResizeFilter::CheckTransform(const CMediaType* in, const CMediaType* out)
{
    (void)in;
    if (!out)
        return E_POINTER;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(*out);
    if (!bih || bih->biWidth != m_OutputWidth || bih->biHeight == LONG_MIN ||
        std::abs(bih->biHeight) != m_OutputHeight)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // An empty size, or a frame too large to describe, has no buffer to scale into.
    if (m_OutputWidth < 1 || m_OutputHeight < 1 || GetBitmapSizeFromBitmapInfoHeader(*bih) == 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CV77ResizeFilter::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    if (!m_InputType.IsValid())
        return VFW_E_NOT_CONNECTED;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    HRESULT hr = mt->Set(m_InputType);
    if (FAILED(hr))
        return hr;
    BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(*mt);
    if (!bih)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // rcSource leads both VIDEOINFOHEADER and VIDEOINFOHEADER2.
    RECT source = {0, 0, m_OutputWidth, m_OutputHeight};
    std::memcpy(mt->Format(), &source, sizeof source);
    bih->biWidth = m_OutputWidth;
    bih->biHeight = bih->biHeight < 0 ? -m_OutputHeight : m_OutputHeight;
    bih->biSizeImage = GetBitmapSizeFromBitmapInfoHeader(*bih);
    mt->SetSampleSize(bih->biSizeImage);
    if (m_FramePeriod > 0) {
        if (REFERENCE_TIME* avg = GetAvgTimePerFrameFromMediaType(*mt))
            *avg = m_FramePeriod;
    }
    return S_OK;
}

HRESULT CV77ResizeFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    return direction == PINDIR_OUTPUT ? m_OutputType.Set(*mt) : m_InputType.Set(*mt);
}

HRESULT CV77ResizeFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    m_OutputFrameSize = GetBitmapSizeFromMediaType(m_OutputType);
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cbBuffer = std::max(static_cast<LONG>(m_OutputFrameSize), request->cbBuffer);
    wanted.cbAlign = 1;
    wanted.cbPrefix = 0;
    wanted.cBuffers = std::max(request->cBuffers, 3L);
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

// Start and stop run under the receive lock (taken by the base class).
HRESULT CV77ResizeFilter::StartStreaming()
{
    m_LastTime = 0;
    m_AccumulatedTime = 0;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(m_InputType);
    if (!bih)
        return E_UNEXPECTED;
    m_InputWidth = bih->biWidth;
    m_InputHeight = std::abs(bih->biHeight);
    m_DestinationRoi = {0, 0, m_OutputWidth, m_OutputHeight};
    if (IsRectEmpty(&m_SourceRect))
        m_SourceRoi = {0, 0, m_InputWidth, m_InputHeight};
    else
        m_SourceRoi = {m_SourceRect.left, m_SourceRect.top, m_SourceRect.right - m_SourceRect.left,
                       m_SourceRect.bottom - m_SourceRect.top};
    // Factors from the whole frame: a source rectangle keeps the frame's scale.
    m_XFactor = static_cast<double>(m_OutputWidth) / m_InputWidth;
    m_YFactor = static_cast<double>(m_OutputHeight) / m_InputHeight;
    m_InputStride = AlignedStride(bih->biBitCount, m_InputWidth);
    m_OutputStride = AlignedStride(bih->biBitCount, m_OutputWidth);
    m_Rows = m_SourceRoi.height;
    const GUID& subtype = *m_InputType.Subtype();
    int channels = 0;
    if (subtype == MEDIASUBTYPE_YUY2) {
        // Packed 4:2:2 rows are width x 2 bytes, as the frame size counts them.
        m_InputStride = m_InputWidth * 2;
        m_OutputStride = m_OutputWidth * 2;
        m_RowBytes = 2 * m_SourceRoi.width;
        m_FormatRoutine = &CV77ResizeFilter::ResizePacked;
    } else if (subtype == MEDIASUBTYPE_RGB24) {
        m_RowBytes = 3 * m_SourceRoi.width;
        m_FormatRoutine = &CV77ResizeFilter::ResizeThreeChannels;
        channels = 3;
    } else if (subtype == MEDIASUBTYPE_RGB32) {
        m_RowBytes = 4 * m_SourceRoi.width;
        m_FormatRoutine = &CV77ResizeFilter::ResizeFourChannels;
        channels = 4;
    } else if (IsPlanar(subtype)) {
        m_RowBytes = m_SourceRoi.width;
        m_FormatRoutine = &CV77ResizeFilter::ResizePlanar;
        channels = 1;
    } else {
        return E_UNEXPECTED;
    }
    m_InputFrameSize = GetBitmapSizeFromMediaType(m_InputType);
    m_bInterlaced = IsMediaTypeInterlaced(m_InputType) == S_OK;
    // The de-interlaced copy is a whole input frame in the input's layout, so
    // the resize reads it exactly as it would read the sample, whatever the
    // source rectangle.
    m_pInterlaceBuffer.reset(new (std::nothrow) BYTE[m_InputFrameSize]);
    if (!m_pInterlaceBuffer)
        return E_OUTOFMEMORY;
    m_pWorkBuffer.reset();
    if (channels != 0) {
        int bytes = 0;
        V77ResizeBufferSize(m_SourceRoi, m_DestinationRoi, channels, kInterpolation, &bytes);
        m_pWorkBuffer.reset(new (std::nothrow) BYTE[std::max(bytes, 1)]);
        if (!m_pWorkBuffer)
            return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CV77ResizeFilter::StopStreaming()
{
    m_pWorkBuffer.reset();
    m_pInterlaceBuffer.reset();
    return S_OK;
}

bool CV77ResizeFilter::KeepFrame(REFERENCE_TIME t)
{
    bool keep = true;
    if (m_FramePeriod != 0 && m_LastTime != 0) {
        m_AccumulatedTime += t - m_LastTime;
        const REFERENCE_TIME q = m_AccumulatedTime / m_FramePeriod;
        if (q <= 0)
            keep = false;
        else
            m_AccumulatedTime %= m_FramePeriod;
    }
    m_LastTime = t;
    return keep;
}

HRESULT CV77ResizeFilter::Transform(IMediaSample* in, IMediaSample* out)
{
    if (!in || !out)
        return E_POINTER;
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    HRESULT hr = in->GetPointer(&src);
    if (FAILED(hr))
        return hr;
    hr = out->GetPointer(&dst);
    if (FAILED(hr))
        return hr;
    if (!m_FormatRoutine)
        return VFW_E_WRONG_STATE;
    // A sample shorter than a frame, or an output buffer too small for one,
    // is skipped rather than read or written past its end.
    if (static_cast<DWORD>(in->GetActualDataLength()) < m_InputFrameSize ||
        static_cast<DWORD>(out->GetSize()) < m_OutputFrameSize)
        return S_FALSE;

    REFERENCE_TIME start = 0, stop = 0;
    LONGLONG mediaStart = 0, mediaStop = 0;
    const bool haveMediaTime = in->GetMediaTime(&mediaStart, &mediaStop) != VFW_E_MEDIA_TIME_NOT_SET;
    const bool haveTime = SUCCEEDED(in->GetTime(&start, &stop));
    const REFERENCE_TIME t = haveMediaTime ? mediaStart : (haveTime ? start : 0);
    if (!KeepFrame(t))
        return S_FALSE;

    (this->*m_FormatRoutine)(src, dst);
    if (!haveMediaTime && haveTime)
        out->SetMediaTime(&start, &stop);
    out->SetActualDataLength(static_cast<LONG>(m_OutputFrameSize));
    return S_OK;
}

const BYTE* CV77ResizeFilter::Deinterlace(const BYTE* src, int planarChromaBytes)
{
    BYTE* buffer = m_pInterlaceBuffer.get();
    // Packed formats: every row with its padding; planar: the luma plane.
    const int rowBytes = planarChromaBytes ? m_InputWidth : m_InputStride;
    V77Deinterlace(src, rowBytes, buffer, rowBytes, m_InterlaceWeight, rowBytes, m_InputHeight);
    if (planarChromaBytes)
        std::memcpy(buffer + static_cast<size_t>(m_InputWidth) * m_InputHeight,
                    src + static_cast<size_t>(m_InputWidth) * m_InputHeight, planarChromaBytes);
    return buffer;
}

void CV77ResizeFilter::ResizePacked(const BYTE* src, BYTE* dst)
{
    if (m_bInterlaced)
        src = Deinterlace(src, 0);
    V77ResizeYuv422(src, {m_InputWidth, m_InputHeight}, m_InputStride, m_SourceRoi, dst, m_OutputStride,
                    {m_OutputWidth, m_OutputHeight}, m_XFactor, m_YFactor, kPackedInterpolation);
}

void CV77ResizeFilter::ResizeThreeChannels(const BYTE* src, BYTE* dst)
{
    ResizeChannels(3, src, dst);
}

void CV77ResizeFilter::ResizeFourChannels(const BYTE* src, BYTE* dst)
{
    ResizeChannels(4, src, dst);
}

void CV77ResizeFilter::ResizeChannels(int channels, const BYTE* src, BYTE* dst)
{
    if (m_bInterlaced)
        src = Deinterlace(src, 0);
    const auto resize = channels == 3 ? V77ResizeC3 : V77ResizeC4;
    resize(src, {m_InputWidth, m_InputHeight}, m_InputStride, m_SourceRoi, dst, m_OutputStride, m_DestinationRoi,
           m_XFactor, m_YFactor, m_XShift, m_YShift, kInterpolation, m_pWorkBuffer.get());
}

void CV77ResizeFilter::ResizePlanar(const BYTE* src, BYTE* dst)
{
    const LONG W = m_InputWidth, H = m_InputHeight, w = m_OutputWidth, h = m_OutputHeight;
    const size_t inLuma = static_cast<size_t>(W) * H, outLuma = static_cast<size_t>(w) * h;
    if (m_bInterlaced)
        src = Deinterlace(src, static_cast<int>(m_InputFrameSize - inLuma));
    V77ResizeC1(src, {W, H}, W, m_SourceRoi, dst, w, m_DestinationRoi, m_XFactor, m_YFactor, m_XShift, m_YShift,
                kInterpolation, m_pWorkBuffer.get());
    // Both chroma planes: every size, stride and origin halved, same factors.
    const V77Rect roi = {m_SourceRoi.x / 2, m_SourceRoi.y / 2, m_SourceRoi.width / 2, m_SourceRoi.height / 2};
    const V77Rect dstRoi = {0, 0, w / 2, h / 2};
    const size_t inOffsets[2] = {inLuma, inLuma + inLuma / 4};
    const size_t outOffsets[2] = {outLuma, outLuma + outLuma / 4};
    for (int plane = 0; plane < 2; ++plane)
        V77ResizeC1(src + inOffsets[plane], {W / 2, H / 2}, W / 2, roi, dst + outOffsets[plane], w / 2, dstRoi,
                    m_XFactor, m_YFactor, m_XShift, m_YShift, kInterpolation, m_pWorkBuffer.get());
}
