// The callback object of one channel: advises itself to the UDP audio
// receiver on construction and unadvises on destruction (which waits for a
// callback in progress), passing received datagrams to the output pin.
#pragma once

#include <wrl/client.h>

#include "framework/CUnknown.h"
#include "v77/IV77Audio.h"
#include "v77/IV77Receivers.h"

class CV77UdpAudioOutput;

class CUdpConnectionPoint : public CUnknown, public IUdpEvent {
public:
    // *phr gets the receiver's Advise result.
    CUdpConnectionPoint(CV77UdpAudioOutput* pin, long channel, IV77UdpAudioReceiver* receiver, HRESULT* phr);
    ~CUdpConnectionPoint() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IUdpEvent
    STDMETHODIMP OnData(IMediaSample* data) override;

private:
    CV77UdpAudioOutput* m_pPin;   // not referenced
    long m_lChannel;
    Microsoft::WRL::ComPtr<IV77UdpAudioReceiver> m_pReceiver;
    bool m_bAdvised;
};
