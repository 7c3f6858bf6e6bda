#include "audio/CUdpConnectionPoint.h"

#include "audio/CV77UdpAudioOutput.h"
#include "v77/V77Guids.h"

CUdpConnectionPoint::CUdpConnectionPoint(CV77UdpAudioOutput* pin, long channel, IV77UdpAudioReceiver* receiver,
                                         HRESULT* phr)
    : CUnknown(TEXT("CUdpConnectionPoint"), nullptr), m_pPin(pin), m_lChannel(channel), m_pReceiver(receiver),
      m_bAdvised(false)
{
    const HRESULT hr = m_pReceiver->Advise(m_lChannel, static_cast<IUdpEvent*>(this));
    m_bAdvised = SUCCEEDED(hr);
    if (phr)
        *phr = hr;
}

CUdpConnectionPoint::~CUdpConnectionPoint()
{
    if (m_bAdvised)
        m_pReceiver->Unadvise(m_lChannel);
}

STDMETHODIMP CUdpConnectionPoint::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IUdpEvent)
        return GetInterface(static_cast<IUdpEvent*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CUdpConnectionPoint::OnData(IMediaSample* data)
{
    return m_pPin->OnData(data);
}
