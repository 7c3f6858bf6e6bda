#include "companions/components/streamserver/CV77StreamSink.h"

#include "companions/components/streamserver/CV77StreamServer.h"

CV77StreamSink::CV77StreamSink(CV77StreamServer* server)
    : CUnknown(TEXT("V77 stream sink"), nullptr), m_pServer(server)
{
}

STDMETHODIMP CV77StreamSink::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77StreamSink::DeliverSample(IMediaSample* sample, const LONGLONG*)
{
    if (!sample)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_pServer ? m_pServer->Deliver(sample) : S_FALSE;
}

STDMETHODIMP CV77StreamSink::SetActive(BOOL)
{
    return S_OK;
}

void CV77StreamSink::Detach()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_pServer = nullptr;
}
