// The sink the stream server advises to the image source: forwards each
// delivered sample to the server. It can outlive the server (the source
// holds it until Unadvise); once detached it drops what it gets.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>

#include "framework/CUnknown.h"
#include "v77/IV77Receivers.h"

class CV77StreamServer;

class CV77StreamSink : public CUnknown, public IV77StreamSink {
public:
    explicit CV77StreamSink(CV77StreamServer* server);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP DeliverSample(IMediaSample* sample, const LONGLONG* zero) override;
    STDMETHODIMP SetActive(BOOL active) override;

    // The server is going: later calls do nothing.
    void Detach();

private:
    std::mutex m_Lock;
    CV77StreamServer* m_pServer;   // m_Lock; not referenced
};
