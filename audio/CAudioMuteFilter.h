// "Varnokel77 Audio Mute": an in-place PCM transform that, while muted,
// overwrites each sample's data with zero bytes and passes it on, so the
// stream keeps its timing; unmuted, samples pass untouched.
#pragma once

#include <atomic>

#include "framework/CTransInPlaceFilter.h"
#include "v77/IV77Audio.h"

class CAudioMuteFilter : public CTransInPlaceFilter, public IV77AudioMute {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CAudioMuteFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Audio/PCM only; the format block is not examined.
    HRESULT CheckInputType(const CMediaType* mt) override;
    HRESULT Transform(IMediaSample* sample) override;

    // IV77AudioMute: takes effect from the next sample.
    STDMETHODIMP SetMute(BOOL mute) override;

private:
    std::atomic<bool> m_bMuted;   // written by the host, read on the streaming thread
};
