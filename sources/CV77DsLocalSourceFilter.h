// "Varnokel77 Local Live source filter": live video from the local capture
// process. Its samples come from the pin's own CV77DsARCAllocator and carry
// the receiver's context until they come back; it reports media times from
// the start.
#pragma once

#include "sources/CV77DsSourceFilter.h"

class CV77DsLocalSourceFilter : public CV77DsSourceFilter {
public:
    CV77DsLocalSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    // IV77RTPReceiverEvents
    STDMETHODIMP GetBuffer(IUnknown* context, IMediaSample** sample) override;
};
