#include "framework/CRendererInputPin.h"

#include "framework/AMGetWideString.h"
#include "framework/CAutoLock.h"
#include "framework/CBaseRenderer.h"

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR pinName)
    : CBaseInputPin(TEXT("Renderer pin"), renderer, &renderer->m_InterfaceLock, phr, pinName),
      m_pRenderer(renderer)
{
}

HRESULT CRendererInputPin::BreakConnect()
{
    HRESULT hr = m_pRenderer->BreakConnect();
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::BreakConnect();
}

HRESULT CRendererInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = m_pRenderer->CompleteConnect(receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* mt)
{
    HRESULT hr = CBaseInputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    return m_pRenderer->SetMediaType(mt);
}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* mt)
{
    return m_pRenderer->CheckMediaType(mt);
}

HRESULT CRendererInputPin::Active()
{
    return m_pRenderer->Active();
}

HRESULT CRendererInputPin::Inactive()
{
    m_bRunTimeError = false;
    HRESULT hr = m_pRenderer->Inactive();
    // Decommits our allocator, releasing an upstream thread in GetBuffer.
    HRESULT hrBase = CBaseInputPin::Inactive();
    return FAILED(hr) ? hr : hrBase;
}

STDMETHODIMP CRendererInputPin::QueryId(LPWSTR* id)
{
    return AMGetWideString(L"In", id);
}

STDMETHODIMP CRendererInputPin::EndOfStream()
{
    CAutoLock interfaceLock(&m_pRenderer->m_InterfaceLock);
    CAutoLock rendererLock(&m_pRenderer->m_RendererLock);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;
    hr = m_pRenderer->EndOfStream();
    if (SUCCEEDED(hr))
        hr = CBaseInputPin::EndOfStream();
    return hr;
}

STDMETHODIMP CRendererInputPin::BeginFlush()
{
    CAutoLock interfaceLock(&m_pRenderer->m_InterfaceLock);
    {
        CAutoLock rendererLock(&m_pRenderer->m_RendererLock);
        CBaseInputPin::BeginFlush();
        m_pRenderer->BeginFlush();
    }
    // Outside the renderer lock: cancelling the timer waits for its callback.
    return m_pRenderer->ResetEndOfStream();
}

STDMETHODIMP CRendererInputPin::EndFlush()
{
    CAutoLock interfaceLock(&m_pRenderer->m_InterfaceLock);
    CAutoLock rendererLock(&m_pRenderer->m_RendererLock);
    HRESULT hr = m_pRenderer->EndFlush();
    if (SUCCEEDED(hr))
        hr = CBaseInputPin::EndFlush();
    return hr;
}

STDMETHODIMP CRendererInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    return m_pRenderer->Receive(sample);
}
