#include "framework/CRendererPosPassThru.h"

#include "framework/CAutoLock.h"

CRendererPosPassThru::CRendererPosPassThru(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, IPin* pin)
    : CPosPassThru(name, outer, phr, pin), m_StartMedia(0), m_EndMedia(0), m_bValid(false)
{
}

HRESULT CRendererPosPassThru::RegisterMediaTime(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    LONGLONG start = 0;
    LONGLONG end = 0;
    HRESULT hr = sample->GetMediaTime(&start, &end);
    if (FAILED(hr)) {
        ResetMediaTime();
        return VFW_E_MEDIA_TIME_NOT_SET;
    }
    return RegisterMediaTime(start, end);
}

HRESULT CRendererPosPassThru::RegisterMediaTime(LONGLONG start, LONGLONG end)
{
    CAutoLock lock(&m_PositionLock);
    m_StartMedia = start;
    m_EndMedia = end;
    m_bValid = true;
    return S_OK;
}

HRESULT CRendererPosPassThru::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start)
        return E_POINTER;
    LONGLONG cachedStart = 0;
    LONGLONG cachedEnd = 0;
    {
        CAutoLock lock(&m_PositionLock);
        if (!m_bValid) {
            *start = 0;
            if (end)
                *end = 0;
            return E_FAIL;
        }
        cachedStart = m_StartMedia;
        cachedEnd = m_EndMedia;
    }
    // Converted outside our lock: the upstream pin takes its own.
    HRESULT hr = ToCurrentFormat(cachedStart, start);
    if (FAILED(hr))
        return hr;
    if (end)
        hr = ToCurrentFormat(cachedEnd, end);
    return hr;
}

HRESULT CRendererPosPassThru::ResetMediaTime()
{
    CAutoLock lock(&m_PositionLock);
    m_StartMedia = 0;
    m_EndMedia = 0;
    m_bValid = false;
    return S_OK;
}

HRESULT CRendererPosPassThru::EOS()
{
    LONGLONG stop = 0;
    HRESULT hr = GetStopPosition(&stop);
    if (SUCCEEDED(hr))
        hr = ToMediaTime(stop, &stop);
    if (FAILED(hr)) {
        ResetMediaTime();
        return hr;
    }
    return RegisterMediaTime(stop, stop);
}
