// "Varnokel77 Network source filter": live video from a camera over RTP
// through the network receiver; the base of the TCP and AVI file sources.
#pragma once

#include "sources/CV77DsSourceFilter.h"

class CV77DsNetworkSourceFilter : public CV77DsSourceFilter {
public:
    CV77DsNetworkSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    // IV77RTPReceiverEvents
    STDMETHODIMP GetBuffer(IUnknown* context, IMediaSample** sample) override;

protected:
    // For the variants: the pin but no receiver (they create their own).
    CV77DsNetworkSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr, REFCLSID clsid);
};
