// "Varnokel77 TCP Network source filter": live video from an elementary
// stream over TCP; IV77TcpReceiver is passed through to the receiver.
#pragma once

#include "sources/CV77DsNetworkSourceFilter.h"

class CV77DsTcpSourceFilter : public CV77DsNetworkSourceFilter, public IV77TcpReceiver {
public:
    CV77DsTcpSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77TcpReceiver
    STDMETHODIMP Configure(DWORD a, double b, DWORD c) override;
};
