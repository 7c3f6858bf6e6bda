#include "audio/CV77TcpAudioSourceFilter.h"

#include <uuids.h>
#include <new>

#include "audio/CV77TcpAudioOutput.h"
#include "v77/V77Guids.h"

CUnknown* WINAPI CV77TcpAudioSourceFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    auto* filter = new (std::nothrow) CV77TcpAudioSourceFilter("Varnokel77 TCP Audio source filter", outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77TcpAudioSourceFilter::CV77TcpAudioSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CSource(name, outer, CLSID_V77TcpAudioSource, phr), m_pOutput(nullptr)
{
    // The pin registers itself with CSource, which deletes it.
    m_pOutput = new (std::nothrow) CV77TcpAudioOutput(name, phr, this, L"TCPAudio OUTPUT");
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
    // Aggregated, never handed out; a system without one still has a working
    // source. Our count is held up meanwhile: the clock may AddRef and Release
    // its outer object while it is made, which must not destroy us.
    InterlockedIncrement(&m_cRef);
    CoCreateInstance(CLSID_SystemClock, GetOwner(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                     reinterpret_cast<void**>(m_pClock.GetAddressOf()));
    InterlockedDecrement(&m_cRef);
}

CV77TcpAudioSourceFilter::~CV77TcpAudioSourceFilter()
{
    m_pClock.Reset();
}

STDMETHODIMP CV77TcpAudioSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMFilterMiscFlags)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
    if (riid == IID_IV77TCPChannelDataEvents)
        return GetInterface(static_cast<IV77TCPChannelDataEvents*>(this), ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77TcpAudioSourceFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_State;
    return m_State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CV77TcpAudioSourceFilter::GetBuffer(IMediaSample** sample)
{
    if (!m_pOutput)
        return E_UNEXPECTED;
    return m_pOutput->GetEmptyBuffer(sample);
}

STDMETHODIMP CV77TcpAudioSourceFilter::OnSample(IMediaSample* sample)
{
    if (!m_pOutput)
        return E_UNEXPECTED;
    return m_pOutput->Enqueue(sample);
}
