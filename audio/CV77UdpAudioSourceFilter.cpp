#include "audio/CV77UdpAudioSourceFilter.h"

#include <new>

#include "audio/CUdpConnectionPoint.h"
#include "audio/CV77UdpAudioOutput.h"
#include "framework/CAutoLock.h"
#include "framework/CMediaType.h"
#include "v77/V77Guids.h"

CUnknown* WINAPI CV77UdpAudioSourceFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    auto* filter = new (std::nothrow) CV77UdpAudioSourceFilter("Varnokel77 Audio source filter", outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77UdpAudioSourceFilter::CV77UdpAudioSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(name, outer, &m_FilterLock, CLSID_V77UdpAudioSource),
      m_lSelected(0),
      m_pOutput(nullptr),
      m_bSingleChannel(false)
{
    m_pOutput = new (std::nothrow) CV77UdpAudioOutput(name, this, &m_FilterLock, phr, L"UDPAudio OUTPUT");
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
    else if (SUCCEEDED(*phr))
        *phr = m_pOutput->ConstructionResult();
}

CV77UdpAudioSourceFilter::~CV77UdpAudioSourceFilter()
{
    // The callbacks go first: after their Unadvise no OnData can reach the pin.
    ReleaseReceiver();
    delete m_pOutput;
}

STDMETHODIMP CV77UdpAudioSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77DsUdpAudioSource)
        return GetInterface(static_cast<IV77DsUdpAudioSource*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CV77UdpAudioSourceFilter::GetPin(int n)
{
    return n == 0 ? m_pOutput : nullptr;
}

STDMETHODIMP CV77UdpAudioSourceFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_FilterLock);
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr) || !m_pReceiver)
        return hr;
    return m_pReceiver->EnableChannel(m_lSelected, -1);
}

STDMETHODIMP CV77UdpAudioSourceFilter::Stop()
{
    CAutoLock lock(&m_FilterLock);
    if (m_pReceiver)
        m_pReceiver->EnableChannel(m_lSelected, FALSE);
    return CBaseFilter::Stop();
}

STDMETHODIMP CV77UdpAudioSourceFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_State;
    return m_State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

void CV77UdpAudioSourceFilter::ReleaseReceiver()
{
    m_ConnectionPoints.clear();
    m_pReceiver.Reset();
}

HRESULT CV77UdpAudioSourceFilter::CreateReceiver()
{
    ReleaseReceiver();
    return CoCreateInstance(CLSID_V77UdpAudioReceiver, nullptr, CLSCTX_INPROC_SERVER, IID_IV77UdpAudioReceiver,
                            reinterpret_cast<void**>(m_pReceiver.GetAddressOf()));
}

HRESULT CV77UdpAudioSourceFilter::AddConnectionPoint(long channel, size_t index)
{
    HRESULT hr = S_OK;
    auto* point = new (std::nothrow) CUdpConnectionPoint(m_pOutput, channel, m_pReceiver.Get(), &hr);
    if (!point)
        return E_OUTOFMEMORY;
    Microsoft::WRL::ComPtr<IUnknown> entry;
    point->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(entry.GetAddressOf()));
    if (index < m_ConnectionPoints.size())
        m_ConnectionPoints[index] = entry;
    else
        m_ConnectionPoints.push_back(entry);
    return hr;
}

HRESULT CV77UdpAudioSourceFilter::CopyOutputType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    return CopyMediaType(pmt, &m_pOutput->OutputType());
}

STDMETHODIMP CV77UdpAudioSourceFilter::OpenAllChannels(AM_MEDIA_TYPE* pmt)
{
    CAutoLock lock(&m_FilterLock);
    if (m_State != State_Stopped)
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CreateReceiver();
    if (FAILED(hr))
        return hr;
    const LONG count = m_pReceiver->GetChannelCount();
    m_ConnectionPoints.resize(count > 0 ? static_cast<size_t>(count) : 0);
    for (LONG i = 0; i < count; ++i) {
        hr = AddConnectionPoint(i, static_cast<size_t>(i));
        if (hr == E_OUTOFMEMORY)
            return hr;
    }
    m_bSingleChannel = false;
    return CopyOutputType(pmt);
}

STDMETHODIMP CV77UdpAudioSourceFilter::SelectChannel(long channel)
{
    CAutoLock lock(&m_FilterLock);
    if (m_bSingleChannel)
        return E_NOTIMPL;
    const long count = static_cast<long>(m_ConnectionPoints.size());
    if (m_pReceiver && m_lSelected >= 0 && m_lSelected < count)
        m_pReceiver->EnableChannel(m_lSelected, FALSE);
    m_lSelected = channel;
    if (m_pReceiver && m_State == State_Running && channel >= 0 && channel < count)
        m_pReceiver->EnableChannel(channel, -1);
    return S_OK;
}

STDMETHODIMP CV77UdpAudioSourceFilter::UdpMethod16(DWORD a, DWORD b)
{
    CAutoLock lock(&m_FilterLock);
    return m_pReceiver ? m_pReceiver->UdpMethod16(a, b) : E_POINTER;
}

STDMETHODIMP CV77UdpAudioSourceFilter::UdpMethod17(DWORD a, DWORD b)
{
    CAutoLock lock(&m_FilterLock);
    return m_pReceiver ? m_pReceiver->UdpMethod17(a, b) : E_POINTER;
}

STDMETHODIMP CV77UdpAudioSourceFilter::SetMute(BOOL mute)
{
    m_pOutput->SetMute(mute != 0);
    return S_OK;
}

STDMETHODIMP CV77UdpAudioSourceFilter::OpenChannel(AM_MEDIA_TYPE* pmt, long channel)
{
    CAutoLock lock(&m_FilterLock);
    if (m_State != State_Stopped)
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CreateReceiver();
    if (FAILED(hr))
        return hr;
    if (channel < 0 || channel >= m_pReceiver->GetChannelCount())
        return E_INVALIDARG;
    hr = AddConnectionPoint(channel, m_ConnectionPoints.size());
    if (hr == E_OUTOFMEMORY)
        return hr;
    m_lSelected = channel;
    m_bSingleChannel = true;
    return CopyOutputType(pmt);
}
