#include "sinks/CV77DsNetworkRendererFilter.h"

#include <uuids.h>
#include <cstring>
#include <new>

#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

CUnknown* WINAPI CV77DsNetworkRendererFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    auto* filter = new (std::nothrow) CV77DsNetworkRendererFilter("Varnokel77 Network renderer filter", outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77DsNetworkRendererFilter::CV77DsNetworkRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseRenderer(CLSID_V77DsNetworkRenderer, name, outer, phr),
      m_pSink(nullptr),
      m_bClockSync(false),
      m_dAverageSize(0.0),
      m_Information(),
      m_bInformationSet(false)
{
}

CV77DsNetworkRendererFilter::~CV77DsNetworkRendererFilter()
{
    if (m_pSink)
        m_pSink->Release();
}

STDMETHODIMP CV77DsNetworkRendererFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77DsNetworkRenderer)
        return GetInterface(static_cast<IV77DsNetworkRenderer*>(this), ppv);
    if (riid == IID_IV77ImageSource)
        return GetInterface(static_cast<IV77ImageSource*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsNetworkRendererFilter::SetMediaType(const CMediaType* mt)
{
    CAutoLock lock(&m_InterfaceLock);
    if (!m_bInformationSet) {
        if (*mt->FormatType() != FORMAT_WaveFormatEx || !mt->Format() || mt->FormatLength() < sizeof(WAVEFORMAT) + 2)
            return E_FAIL;
        const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt->Format());
        m_Information.Parameter = wfx->nSamplesPerSec;
        m_Information.Compression = mt->Subtype()->Data1;
        m_Information.BitCount = wfx->wBitsPerSample;
    }
    m_Type = *mt;
    return S_OK;
}

HRESULT CV77DsNetworkRendererFilter::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return m_bClockSync ? S_FALSE : S_OK;
}

HRESULT CV77DsNetworkRendererFilter::SetSinkActive(BOOL active)
{
    CAutoLock lock(&m_SinkLock);
    return m_pSink ? m_pSink->SetActive(active) : S_OK;
}

HRESULT CV77DsNetworkRendererFilter::OnStartStreaming()
{
    return SetSinkActive(-1);
}

HRESULT CV77DsNetworkRendererFilter::OnStopStreaming()
{
    return SetSinkActive(FALSE);
}

HRESULT CV77DsNetworkRendererFilter::Deliver(IMediaSample* sample, HRESULT withoutSink)
{
    CAutoLock lock(&m_SinkLock);
    if (!m_pSink)
        return withoutSink;
    const LONGLONG zero = 0;
    return m_pSink->DeliverSample(sample, &zero);
}

HRESULT CV77DsNetworkRendererFilter::DoRenderSample(IMediaSample* sample)
{
    {
        CAutoLock lock(&m_InterfaceLock);
        m_dAverageSize = sample->GetActualDataLength() * 0.004 + m_dAverageSize * 0.996;
    }
    return Deliver(sample, S_OK);
}

STDMETHODIMP CV77DsNetworkRendererFilter::SetClockSync(BOOL sync)
{
    m_bClockSync = sync != 0;
    return S_OK;
}

STDMETHODIMP CV77DsNetworkRendererFilter::Publish(DWORD a, DWORD b, IUnknown* server)
{
    if (!server)
        return E_POINTER;
    return static_cast<IV77StreamServer*>(server)->RegisterSource(a, b, static_cast<IV77ImageSource*>(this), 0);
}

STDMETHODIMP CV77DsNetworkRendererFilter::SetSourceInformation(const SOURCE_INFORMATION* info)
{
    if (!info)
        return E_POINTER;
    CAutoLock lock(&m_InterfaceLock);
    m_Information = *info;
    m_bInformationSet = true;
    return S_OK;
}

STDMETHODIMP CV77DsNetworkRendererFilter::PushSample(IMediaSample* sample)
{
    return Deliver(sample, E_FAIL);
}

STDMETHODIMP CV77DsNetworkRendererFilter::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    CAutoLock lock(&m_SinkLock);
    if (m_pSink)
        return E_FAIL;
    m_pSink = static_cast<IV77StreamSink*>(sink);
    m_pSink->AddRef();
    *cookie = 0;
    return S_OK;
}

STDMETHODIMP CV77DsNetworkRendererFilter::Unadvise(DWORD cookie)
{
    IV77StreamSink* old = nullptr;
    {
        CAutoLock lock(&m_SinkLock);
        if (!m_pSink || cookie != 0)
            return E_FAIL;
        old = m_pSink;
        m_pSink = nullptr;
    }
    old->Release();
    return S_OK;
}

STDMETHODIMP CV77DsNetworkRendererFilter::GetSourceInformation(SOURCE_INFORMATION* info)
{
    if (!info)
        return E_POINTER;
    CAutoLock lock(&m_InterfaceLock);
    *info = m_Information;
    return S_OK;
}

STDMETHODIMP CV77DsNetworkRendererFilter::GetAverageSampleSize(double* size)
{
    if (!size)
        return E_POINTER;
    CAutoLock lock(&m_InterfaceLock);
    *size = m_dAverageSize;
    return S_OK;
}

STDMETHODIMP CV77DsNetworkRendererFilter::GetMediaType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(&m_InterfaceLock);
    return CopyMediaType(mt, &m_Type);
}
