#include "framework/CSourceSeeking.h"

#include <uuids.h>
#include "framework/CAutoLock.h"

namespace {

bool IsMediaTime(const GUID* format)
{
    // A null format means "the current one", which is always media time here.
    return !format || *format == TIME_FORMAT_MEDIA_TIME;
}

// Positioning bits that IMediaSeeking::SetPositions defines for a position.
bool ValidCurrentBits(DWORD bits)
{
    return bits == AM_SEEKING_AbsolutePositioning || bits == AM_SEEKING_RelativePositioning;
}

bool ValidStopBits(DWORD bits)
{
    return bits == AM_SEEKING_AbsolutePositioning || bits == AM_SEEKING_RelativePositioning ||
           bits == AM_SEEKING_IncrementalPositioning;
}

}  // namespace

CSourceSeeking::CSourceSeeking(const TCHAR* name, LPUNKNOWN outer, HRESULT*, CCritSec* lock)
    : CUnknown(name, outer),
      m_rtDuration(MAXLONGLONG),
      m_rtStart(0),
      m_rtStop(MAXLONGLONG),
      m_dRateSeeking(1.0),
      m_dwSeekingCaps(AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanSeekAbsolute |
                      AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration),
      m_pLock(lock)
{
}

STDMETHODIMP CSourceSeeking::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSourceSeeking::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    *capabilities = m_dwSeekingCaps;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    DWORD asked = *capabilities;
    *capabilities &= m_dwSeekingCaps;
    if (*capabilities == asked)
        return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

STDMETHODIMP CSourceSeeking::IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

STDMETHODIMP CSourceSeeking::QueryPreferredFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::GetTimeFormat(GUID* format)
{
    return QueryPreferredFormat(format);
}

STDMETHODIMP CSourceSeeking::IsUsingTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

STDMETHODIMP CSourceSeeking::SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CSourceSeeking::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *duration = m_rtDuration;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::GetStopPosition(LONGLONG* stop)
{
    if (!stop)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *stop = m_rtStop;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::GetCurrentPosition(LONGLONG*)
{
    // The graph derives the current position from the stream time.
    return E_NOTIMPL;
}

STDMETHODIMP CSourceSeeking::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                               const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    if (!IsMediaTime(targetFormat) || !IsMediaTime(sourceFormat))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    const DWORD currentBits = currentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopBits = stopFlags & AM_SEEKING_PositioningBitsMask;
    if (currentBits) {
        if (!current)
            return E_POINTER;
        if (!ValidCurrentBits(currentBits))
            return E_INVALIDARG;
    }
    if (stopBits) {
        if (!stop)
            return E_POINTER;
        if (!ValidStopBits(stopBits))
            return E_INVALIDARG;
    }
    {
        CAutoLock lock(m_pLock);
        if (currentBits == AM_SEEKING_AbsolutePositioning)
            m_rtStart = *current;
        else if (currentBits == AM_SEEKING_RelativePositioning)
            m_rtStart += *current;

        if (stopBits == AM_SEEKING_AbsolutePositioning)
            m_rtStop = *stop;
        else if (stopBits == AM_SEEKING_RelativePositioning)
            m_rtStop += *stop;
        else if (stopBits == AM_SEEKING_IncrementalPositioning)
            m_rtStop = m_rtStart + *stop;

        if ((currentFlags & AM_SEEKING_ReturnTime) && current)
            *current = m_rtStart;
        if ((stopFlags & AM_SEEKING_ReturnTime) && stop)
            *stop = m_rtStop;
    }
    // Callbacks run unlocked: they typically flush and restart the stream.
    HRESULT hr = S_OK;
    if (stopBits)
        hr = ChangeStop();
    if (currentBits) {
        HRESULT hrStart = ChangeStart();
        if (SUCCEEDED(hr))
            hr = hrStart;
    }
    return hr;
}

STDMETHODIMP CSourceSeeking::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (!current && !stop)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (current)
        *current = m_rtStart;
    if (stop)
        *stop = m_rtStop;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (!earliest && !latest)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (earliest)
        *earliest = 0;
    if (latest)
        *latest = m_rtDuration;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::SetRate(double rate)
{
    if (rate == 0.0)
        return E_INVALIDARG;
    {
        CAutoLock lock(m_pLock);
        m_dRateSeeking = rate;
    }
    return ChangeRate();
}

STDMETHODIMP CSourceSeeking::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *rate = m_dRateSeeking;
    return S_OK;
}

STDMETHODIMP CSourceSeeking::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    *preroll = 0;
    return S_OK;
}
