// "Varnokel77 TCP Audio renderer filter": passes every audio sample it
// receives to the TCP channel's SendSample, at arrival (no clock wait). The
// channel only queues the frame, so Receive never waits for the peer. With no
// channel set, samples are dropped and rendering goes on (S_FALSE).
#pragma once

#include <wrl/client.h>

#include "framework/CBaseRenderer.h"
#include "framework/CCritSec.h"
#include "v77/IV77Audio.h"
#include "v77/IV77Receivers.h"

class CV77TcpAudioRendererFilter : public CBaseRenderer, public IV77DsTCPAudioRenderer {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77TcpAudioRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77TcpAudioRendererFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    CBasePin* GetPin(int n) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType*) override { return S_OK; }
    HRESULT ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
    HRESULT DoRenderSample(IMediaSample* sample) override;

    // IV77DsTCPAudioRenderer
    STDMETHODIMP SetChannel(IUnknown* channel) override;

private:
    // The channel is replaced under m_ChannelLock and used through a reference
    // taken there, so SetChannel from the host cannot free it under a send.
    CCritSec m_ChannelLock;
    IUnknown* m_pChannel;   // one reference
};
