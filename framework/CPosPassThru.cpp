#include "framework/CPosPassThru.h"

#include <uuids.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

constexpr double kUnitsPerSecond = 10000000.0;

// OLE Automation booleans, as IMediaPosition::CanSeekForward reports them.
constexpr LONG kOaTrue = -1;
constexpr LONG kOaFalse = 0;

LONGLONG SecondsToUnits(REFTIME seconds)
{
    return static_cast<LONGLONG>(seconds * kUnitsPerSecond + (seconds < 0 ? -0.5 : 0.5));
}

}  // namespace

CPosPassThru::CPosPassThru(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, IPin* pin)
    : CMediaPosition(name, outer), m_pPin(pin)
{
    if (!pin && phr)
        *phr = E_POINTER;
}

STDMETHODIMP CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CMediaPosition::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CPosPassThru::GetMediaTime(LONGLONG*, LONGLONG*)
{
    return E_FAIL;
}

HRESULT CPosPassThru::GetPeerSeeking(IMediaSeeking** seeking)
{
    *seeking = nullptr;
    ComPtr<IPin> peer;
    if (FAILED(m_pPin->ConnectedTo(&peer)) || !peer)
        return VFW_E_NOT_CONNECTED;
    if (FAILED(peer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking))))
        return E_NOTIMPL;
    return S_OK;
}

HRESULT CPosPassThru::ToCurrentFormat(LONGLONG mediaTime, LONGLONG* value)
{
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = GetPeerSeeking(&seeking);
    if (FAILED(hr))
        return hr;
    if (seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) == S_OK) {
        *value = mediaTime;
        return S_OK;
    }
    return seeking->ConvertTimeFormat(value, nullptr, mediaTime, &TIME_FORMAT_MEDIA_TIME);
}

HRESULT CPosPassThru::ToMediaTime(LONGLONG value, LONGLONG* mediaTime)
{
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = GetPeerSeeking(&seeking);
    if (FAILED(hr))
        return hr;
    if (seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) == S_OK) {
        *mediaTime = value;
        return S_OK;
    }
    return seeking->ConvertTimeFormat(mediaTime, &TIME_FORMAT_MEDIA_TIME, value, nullptr);
}

// Each IMediaSeeking call goes to the upstream pin unchanged.
#define V77_PASS_THRU(call)                        \
    ComPtr<IMediaSeeking> seeking;                 \
    HRESULT hr = GetPeerSeeking(&seeking);         \
    if (FAILED(hr))                                \
        return hr;                                 \
    return seeking->call

STDMETHODIMP CPosPassThru::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    V77_PASS_THRU(GetCapabilities(capabilities));
}

STDMETHODIMP CPosPassThru::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    V77_PASS_THRU(CheckCapabilities(capabilities));
}

STDMETHODIMP CPosPassThru::IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    V77_PASS_THRU(IsFormatSupported(format));
}

STDMETHODIMP CPosPassThru::QueryPreferredFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    V77_PASS_THRU(QueryPreferredFormat(format));
}

STDMETHODIMP CPosPassThru::GetTimeFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    V77_PASS_THRU(GetTimeFormat(format));
}

STDMETHODIMP CPosPassThru::IsUsingTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    V77_PASS_THRU(IsUsingTimeFormat(format));
}

STDMETHODIMP CPosPassThru::SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    V77_PASS_THRU(SetTimeFormat(format));
}

STDMETHODIMP CPosPassThru::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    V77_PASS_THRU(GetDuration(duration));
}

STDMETHODIMP CPosPassThru::GetStopPosition(LONGLONG* stop)
{
    if (!stop)
        return E_POINTER;
    V77_PASS_THRU(GetStopPosition(stop));
}

STDMETHODIMP CPosPassThru::GetCurrentPosition(LONGLONG* current)
{
    if (!current)
        return E_POINTER;
    // A position cached by the filter wins over asking upstream.
    LONGLONG end = 0;
    if (SUCCEEDED(GetMediaTime(current, &end)))
        return S_OK;
    V77_PASS_THRU(GetCurrentPosition(current));
}

STDMETHODIMP CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                             const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    V77_PASS_THRU(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}

STDMETHODIMP CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    V77_PASS_THRU(SetPositions(current, currentFlags, stop, stopFlags));
}

STDMETHODIMP CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    V77_PASS_THRU(GetPositions(current, stop));
}

STDMETHODIMP CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    V77_PASS_THRU(GetAvailable(earliest, latest));
}

STDMETHODIMP CPosPassThru::SetRate(double rate)
{
    V77_PASS_THRU(SetRate(rate));
}

STDMETHODIMP CPosPassThru::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    V77_PASS_THRU(GetRate(rate));
}

STDMETHODIMP CPosPassThru::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    V77_PASS_THRU(GetPreroll(preroll));
}

#undef V77_PASS_THRU

HRESULT CPosPassThru::GetSeconds(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*getter)(LONGLONG*), REFTIME* seconds)
{
    if (!seconds)
        return E_POINTER;
    LONGLONG value = 0;
    HRESULT hr = (static_cast<IMediaSeeking*>(this)->*getter)(&value);
    if (FAILED(hr))
        return hr;
    LONGLONG mediaTime = 0;
    hr = ToMediaTime(value, &mediaTime);
    if (FAILED(hr))
        return hr;
    *seconds = static_cast<double>(mediaTime) / kUnitsPerSecond;
    return S_OK;
}

STDMETHODIMP CPosPassThru::get_Duration(REFTIME* length)
{
    return GetSeconds(&IMediaSeeking::GetDuration, length);
}

STDMETHODIMP CPosPassThru::get_CurrentPosition(REFTIME* time)
{
    return GetSeconds(&IMediaSeeking::GetCurrentPosition, time);
}

STDMETHODIMP CPosPassThru::get_StopTime(REFTIME* time)
{
    return GetSeconds(&IMediaSeeking::GetStopPosition, time);
}

STDMETHODIMP CPosPassThru::get_PrerollTime(REFTIME* time)
{
    return GetSeconds(&IMediaSeeking::GetPreroll, time);
}

STDMETHODIMP CPosPassThru::put_CurrentPosition(REFTIME time)
{
    LONGLONG position = 0;
    HRESULT hr = ToCurrentFormat(SecondsToUnits(time), &position);
    if (FAILED(hr))
        return hr;
    return SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

STDMETHODIMP CPosPassThru::put_StopTime(REFTIME time)
{
    LONGLONG position = 0;
    HRESULT hr = ToCurrentFormat(SecondsToUnits(time), &position);
    if (FAILED(hr))
        return hr;
    return SetPositions(nullptr, AM_SEEKING_NoPositioning, &position, AM_SEEKING_AbsolutePositioning);
}

STDMETHODIMP CPosPassThru::put_PrerollTime(REFTIME)
{
    // IMediaSeeking has no way to set a preroll.
    return E_NOTIMPL;
}

STDMETHODIMP CPosPassThru::put_Rate(double rate)
{
    return SetRate(rate);
}

STDMETHODIMP CPosPassThru::get_Rate(double* rate)
{
    return GetRate(rate);
}

HRESULT CPosPassThru::CanSeek(DWORD capability, LONG* canSeek)
{
    if (!canSeek)
        return E_POINTER;
    DWORD capabilities = 0;
    HRESULT hr = GetCapabilities(&capabilities);
    if (FAILED(hr))
        return hr;
    *canSeek = (capabilities & capability) ? kOaTrue : kOaFalse;
    return S_OK;
}

STDMETHODIMP CPosPassThru::CanSeekForward(LONG* canSeek)
{
    return CanSeek(AM_SEEKING_CanSeekForwards, canSeek);
}

STDMETHODIMP CPosPassThru::CanSeekBackward(LONG* canSeek)
{
    return CanSeek(AM_SEEKING_CanSeekBackwards, canSeek);
}
