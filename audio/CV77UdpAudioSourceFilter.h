// "Varnokel77 Audio source filter": audio from the UDP audio receiver
// component as a stream of 16-bit mono 8 kHz PCM. One callback object per
// opened channel; only the selected channel is switched on while running.
// No streaming thread: the output pin delivers on the receiver's thread.
#pragma once

#include <vector>
#include <wrl/client.h>

#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"
#include "v77/IV77Audio.h"
#include "v77/IV77Receivers.h"

class CV77UdpAudioOutput;

class CV77UdpAudioSourceFilter : public CBaseFilter, public IV77DsUdpAudioSource {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77UdpAudioSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77UdpAudioSourceFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    // Run switches the selected channel on and returns that call's result;
    // Stop switches it off first. Both skip the switch before any open.
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;

    // IV77DsUdpAudioSource
    STDMETHODIMP OpenAllChannels(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP SelectChannel(long channel) override;
    STDMETHODIMP UdpMethod16(DWORD a, DWORD b) override;
    STDMETHODIMP UdpMethod17(DWORD a, DWORD b) override;
    STDMETHODIMP SetMute(BOOL mute) override;
    STDMETHODIMP OpenChannel(AM_MEDIA_TYPE* pmt, long channel) override;

    bool IsRunning() const { return m_State == State_Running; }

private:
    // Drops the callbacks (stopping OnData) and then the receiver, so a second open starts clean.
    void ReleaseReceiver();
    HRESULT CreateReceiver();
    HRESULT AddConnectionPoint(long channel, size_t index);
    HRESULT CopyOutputType(AM_MEDIA_TYPE* pmt);

    CCritSec m_FilterLock;
    Microsoft::WRL::ComPtr<IV77UdpAudioReceiver> m_pReceiver;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> m_ConnectionPoints;
    long m_lSelected;
    CV77UdpAudioOutput* m_pOutput;
    bool m_bSingleChannel;
};
