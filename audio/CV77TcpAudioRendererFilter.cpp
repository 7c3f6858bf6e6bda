#include "audio/CV77TcpAudioRendererFilter.h"

#include <uuids.h>
#include <new>

#include "audio/CV77TcpAudioRendererInput.h"
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

CUnknown* WINAPI CV77TcpAudioRendererFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    auto* filter = new (std::nothrow) CV77TcpAudioRendererFilter("Varnokel77 TCP Audio renderer filter", outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77TcpAudioRendererFilter::CV77TcpAudioRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseRenderer(CLSID_V77TcpAudioRenderer, name, outer, phr), m_pChannel(nullptr)
{
}

CV77TcpAudioRendererFilter::~CV77TcpAudioRendererFilter()
{
    if (m_pChannel)
        m_pChannel->Release();
}

STDMETHODIMP CV77TcpAudioRendererFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77DsTCPAudioRenderer)
        return GetInterface(static_cast<IV77DsTCPAudioRenderer*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CV77TcpAudioRendererFilter::GetPin(int n)
{
    if (n != 0)
        return nullptr;
    CAutoLock lock(&m_ObjectCreationLock);
    if (!m_pInputPin) {
        HRESULT hr = S_OK;
        m_pInputPin = new (std::nothrow) CV77TcpAudioRendererInput(this, &hr, L"IN");
        if (m_pInputPin && FAILED(hr)) {
            delete m_pInputPin;
            m_pInputPin = nullptr;
        }
    }
    return m_pInputPin;
}

HRESULT CV77TcpAudioRendererFilter::CheckMediaType(const CMediaType* mt)
{
    if (mt && *mt->Type() == MEDIATYPE_Audio && *mt->FormatType() == FORMAT_WaveFormatEx)
        return S_OK;
    return S_FALSE;
}

HRESULT CV77TcpAudioRendererFilter::DoRenderSample(IMediaSample* sample)
{
    IUnknown* channel = nullptr;
    {
        CAutoLock lock(&m_ChannelLock);
        channel = m_pChannel;
        if (channel)
            channel->AddRef();
    }
    if (!channel)
        return S_FALSE;
    const HRESULT hr = static_cast<IV77TCPChannel*>(channel)->SendSample(sample);
    channel->Release();
    return hr;
}

STDMETHODIMP CV77TcpAudioRendererFilter::SetChannel(IUnknown* channel)
{
    IUnknown* old = nullptr;
    {
        CAutoLock lock(&m_ChannelLock);
        if (channel == m_pChannel)
            return S_OK;
        old = m_pChannel;
        m_pChannel = channel;
        if (m_pChannel)
            m_pChannel->AddRef();
    }
    if (old)
        old->Release();
    return S_OK;
}
