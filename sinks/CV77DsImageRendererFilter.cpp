#include "sinks/CV77DsImageRendererFilter.h"

#include <cstring>
#include <new>
#include <uuids.h>
#include <vfwmsgs.h>

#include "framework/CAutoLock.h"
#include "sinks/CV77ImageRendererInputPin.h"
#include "v77/IV77Receivers.h"
#include "v77/IV77SamplePool.h"
#include "v77/V77Guids.h"

namespace {

// Where the average frame time sits in VIDEOINFOHEADER and VIDEOINFOHEADER2,
// and where the bitmap header starts in each.
constexpr size_t kFrameTimeOffset = 40;
constexpr size_t kVideoInfoHeaderAt = 48;
constexpr size_t kVideoInfo2HeaderAt = 72;

// FORMAT_MPEG2Video, which carries a VIDEOINFOHEADER2 at its start.
const GUID kFormatMpeg2Video = {0xE06D80E3, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

}  // namespace

CUnknown* WINAPI CV77DsImageRendererFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    auto* filter = new (std::nothrow) CV77DsImageRendererFilter(TEXT("Varnokel77 Image renderer filter"), outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77DsImageRendererFilter::CV77DsImageRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseRenderer(CLSID_V77DsImageRenderer, name, outer, phr),
      m_pSink(nullptr),
      m_SourceInformation{},
      m_pSamplePool(nullptr)
{
}

CV77DsImageRendererFilter::~CV77DsImageRendererFilter()
{
    if (m_pSamplePool)
        m_pSamplePool->Release();
}

STDMETHODIMP CV77DsImageRendererFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77DsImageRenderer)
        return GetInterface(static_cast<IV77DsImageRenderer*>(this), ppv);
    if (riid == IID_IV77DsBufferNotify) {
        // Only a sink that takes request completions makes this a playback endpoint.
        *ppv = nullptr;
        IUnknown* sink = SinkReference();
        IUnknown* completion = nullptr;
        if (sink && SUCCEEDED(sink->QueryInterface(IID_IV77RequestCompletion, reinterpret_cast<void**>(&completion))) &&
            completion) {
            completion->Release();
            sink->Release();
            return GetInterface(static_cast<IV77DsBufferNotify*>(this), ppv);
        }
        if (sink)
            sink->Release();
        return E_NOINTERFACE;
    }
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CV77DsImageRendererFilter::GetPin(int n)
{
    CAutoLock lock(&m_ObjectCreationLock);
    if (n != 0)
        return nullptr;
    if (!m_pInputPin) {
        IUnknown* pool = nullptr;
        {
            CAutoLock members(&m_MemberLock);
            pool = m_pSamplePool;
            if (pool)
                pool->AddRef();
        }
        HRESULT hr = S_OK;
        auto* pin = new (std::nothrow) CV77ImageRendererInputPin(this, pool, &hr);
        if (pool)
            pool->Release();
        if (pin && FAILED(hr)) {
            delete pin;
            pin = nullptr;
        }
        m_pInputPin = pin;
    }
    return m_pInputPin;
}

HRESULT CV77DsImageRendererFilter::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    if (*mt->Type() != MEDIATYPE_Video && *mt->Type() != MEDIATYPE_Audio)
        return S_FALSE;
    CAutoLock members(&m_MemberLock);
    if (m_RequiredType.IsValid() && m_RequiredType.subtype != mt->subtype)
        return S_FALSE;
    return S_OK;
}

HRESULT CV77DsImageRendererFilter::SetMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    const GUID& format = *mt->FormatType();
    if (format == FORMAT_VideoInfo)
        return SetVideoType(*mt, kVideoInfoHeaderAt);
    if (format == FORMAT_VideoInfo2 || format == kFormatMpeg2Video)
        return SetVideoType(*mt, kVideoInfo2HeaderAt);
    if (format == FORMAT_WaveFormatEx)
        return SetAudioType(*mt);
    return E_FAIL;
}

HRESULT CV77DsImageRendererFilter::SetVideoType(const CMediaType& mt, size_t headerOffset)
{
    if (!mt.Format() || mt.FormatLength() < headerOffset + sizeof(BITMAPINFOHEADER))
        return E_FAIL;
    REFERENCE_TIME frameTime = 0;
    BITMAPINFOHEADER header;
    std::memcpy(&frameTime, mt.Format() + kFrameTimeOffset, sizeof(frameTime));
    std::memcpy(&header, mt.Format() + headerOffset, sizeof(header));
    CAutoLock members(&m_MemberLock);
    m_SourceInformation.AvgTimePerFrame = frameTime;
    m_SourceInformation.Width = header.biWidth;
    m_SourceInformation.Height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    m_SourceInformation.Compression = header.biCompression;
    m_SourceInformation.BitCount = header.biBitCount ? header.biBitCount : 8;
    m_SourceInformation.Reserved1 = 0;
    m_SourceInformation.Reserved2 = 0;
    m_ConnectedType = mt;
    return S_OK;
}

HRESULT CV77DsImageRendererFilter::SetAudioType(const CMediaType& mt)
{
    if (!mt.Format() || mt.FormatLength() < sizeof(PCMWAVEFORMAT))
        return E_FAIL;
    WAVEFORMAT wave;
    std::memcpy(&wave, mt.Format(), sizeof(wave));
    // A rate of 0 has no frame time.
    if (wave.nSamplesPerSec == 0)
        return E_FAIL;
    CAutoLock members(&m_MemberLock);
    m_SourceInformation.Compression = mt.subtype.Data1;
    m_SourceInformation.AvgTimePerFrame = 10000000 / wave.nSamplesPerSec;
    return S_OK;
}

HRESULT CV77DsImageRendererFilter::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    // The host consumes frames as they come: no clock wait.
    return S_OK;
}

HRESULT CV77DsImageRendererFilter::DoRenderSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    IUnknown* sink = SinkReference();
    if (!sink)
        return S_OK;
    REFERENCE_TIME mediaStart = 0;
    REFERENCE_TIME mediaStop = 0;
    HRESULT hr = sample->GetMediaTime(&mediaStart, &mediaStop);
    if (FAILED(hr) || (mediaStart == 0 && mediaStop == 0)) {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        if (SUCCEEDED(sample->GetTime(&start, &stop)))
            sample->SetMediaTime(&start, &stop);
    }
    // The sink's interface is the host's: only its Deliver slot is known here.
    hr = reinterpret_cast<IV77ImageSink*>(sink)->Deliver(sample);
    sink->Release();
    return hr;
}

IUnknown* CV77DsImageRendererFilter::SinkReference()
{
    CAutoLock members(&m_MemberLock);
    if (m_pSink)
        m_pSink->AddRef();
    return m_pSink;
}

STDMETHODIMP CV77DsImageRendererFilter::SetSink(IUnknown* sink, DWORD value)
{
    // No reference is kept; a call in progress holds one of its own, and a
    // cleared sink is not called again.
    CAutoLock members(&m_MemberLock);
    m_pSink = sink;
    m_SourceInformation.Parameter = value;
    return S_OK;
}

STDMETHODIMP CV77DsImageRendererFilter::SetRequiredType(const AM_MEDIA_TYPE* mt)
{
    CAutoLock members(&m_MemberLock);
    if (!mt) {
        m_RequiredType = CMediaType();
        return S_OK;
    }
    return m_RequiredType.Set(*mt);
}

bool CV77DsImageRendererFilter::RequiredType(CMediaType* mt)
{
    CAutoLock members(&m_MemberLock);
    if (!m_RequiredType.IsValid())
        return false;
    *mt = m_RequiredType;
    return true;
}

STDMETHODIMP CV77DsImageRendererFilter::GetSourceInformation(SOURCE_INFORMATION* info)
{
    if (!info)
        return E_POINTER;
    CAutoLock members(&m_MemberLock);
    *info = m_SourceInformation;
    return S_OK;
}

STDMETHODIMP CV77DsImageRendererFilter::GetPoolEntry(DWORD arg, DWORD* value)
{
    if (!value)
        return E_POINTER;
    *value = 0;
    if (!m_pInputPin)
        return VFW_E_NOT_CONNECTED;
    IMemAllocator* allocator = nullptr;
    {
        CAutoLock lock(&m_InterfaceLock);
        allocator = m_pInputPin->Allocator();
        if (allocator)
            allocator->AddRef();
    }
    if (allocator) {
        IV77SamplePool* pool = nullptr;
        if (SUCCEEDED(allocator->QueryInterface(IID_IV77SamplePool, reinterpret_cast<void**>(&pool))) && pool) {
            pool->GetEntry(arg, value);
            pool->Release();
        }
        allocator->Release();
    }
    return *value ? S_OK : E_FAIL;
}

STDMETHODIMP CV77DsImageRendererFilter::GetConnectedType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock members(&m_MemberLock);
    return CopyMediaType(mt, &m_ConnectedType);
}

STDMETHODIMP CV77DsImageRendererFilter::SetSamplePool(IUnknown* pool)
{
    if (pool)
        pool->AddRef();
    IUnknown* previous = nullptr;
    {
        CAutoLock members(&m_MemberLock);
        previous = m_pSamplePool;
        m_pSamplePool = pool;
    }
    if (previous)
        previous->Release();
    return S_OK;
}

STDMETHODIMP CV77DsImageRendererFilter::RequestDone(HRESULT result, LONG frameCount, DWORD reserved, REFERENCE_TIME next)
{
    IUnknown* sink = SinkReference();
    if (!sink)
        return S_FALSE;
    IV77RequestCompletion* completion = nullptr;
    HRESULT hr = S_FALSE;
    if (SUCCEEDED(sink->QueryInterface(IID_IV77RequestCompletion, reinterpret_cast<void**>(&completion))) &&
        completion) {
        hr = completion->RequestDone(result, frameCount, reserved, next);
        completion->Release();
    }
    sink->Release();
    return hr;
}

STDMETHODIMP CV77DsImageRendererFilter::WaitForRequest(REFERENCE_TIME*, DWORD*, WORD*)
{
    return E_NOTIMPL;
}
