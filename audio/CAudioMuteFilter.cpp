#include "audio/CAudioMuteFilter.h"

#include <uuids.h>
#include <cstring>
#include <new>

#include "v77/V77Guids.h"

CUnknown* WINAPI CAudioMuteFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    auto* filter = new (std::nothrow) CAudioMuteFilter("Varnokel77 Audio Mute", outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CAudioMuteFilter::CAudioMuteFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CTransInPlaceFilter(name, outer, CLSID_V77AudioMute, phr, true), m_bMuted(false)
{
}

STDMETHODIMP CAudioMuteFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77AudioMute)
        return GetInterface(static_cast<IV77AudioMute*>(this), ppv);
    return CTransInPlaceFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioMuteFilter::CheckInputType(const CMediaType* mt)
{
    if (mt && *mt->Type() == MEDIATYPE_Audio && *mt->Subtype() == MEDIASUBTYPE_PCM)
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAudioMuteFilter::Transform(IMediaSample* sample)
{
    if (!m_bMuted.load())
        return S_OK;
    BYTE* data = nullptr;
    const LONG length = sample->GetActualDataLength();
    if (length > 0 && SUCCEEDED(sample->GetPointer(&data)) && data)
        std::memset(data, 0, static_cast<size_t>(length));
    return S_OK;
}

STDMETHODIMP CAudioMuteFilter::SetMute(BOOL mute)
{
    m_bMuted = mute != 0;
    return S_OK;
}
