// "Varnokel77 AVI file source filter": live-style playback of an AVI file;
// IV77DsAviSource (loop and pacing) is passed through to the receiver.
#pragma once

#include "sources/CV77DsNetworkSourceFilter.h"

class CV77DsAviSourceFilter : public CV77DsNetworkSourceFilter, public IV77DsAviSource {
public:
    CV77DsAviSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77DsAviSource
    STDMETHODIMP Configure(DWORD a, DWORD b) override;
};
