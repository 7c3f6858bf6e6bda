// "Varnokel77 TCP Audio source filter": a live source fed by the TCP
// channel. The channel asks for empty buffers (GetBuffer) and hands them
// back filled (OnSample); the output pin's streaming thread delivers them.
#pragma once

#include <wrl/client.h>

#include "framework/CSource.h"
#include "v77/IV77Audio.h"

class CV77TcpAudioOutput;

class CV77TcpAudioSourceFilter : public CSource, public IV77TCPChannelDataEvents, public IAMFilterMiscFlags {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77TcpAudioSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77TcpAudioSourceFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // A live source: VFW_S_CANT_CUE while paused.
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;

    // IV77TCPChannelDataEvents
    STDMETHODIMP GetBuffer(IMediaSample** sample) override;
    STDMETHODIMP OnSample(IMediaSample* sample) override;

    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

    CV77TcpAudioOutput* Output() const { return m_pOutput; }

private:
    CV77TcpAudioOutput* m_pOutput;               // owned through CSource's pin array
    Microsoft::WRL::ComPtr<IUnknown> m_pClock;   // inner unknown of the aggregated system clock
};
