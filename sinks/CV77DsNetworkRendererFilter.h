// "Varnokel77 Network renderer filter": the end of a graph whose stream an
// outside stream server re-publishes. The filter offers itself to the server
// as an image source; the server subscribes one sink, reads the stream
// description and media type, and receives every rendered sample.
//
// The sink is referenced between Advise and Unadvise, and m_SinkLock
// serialises its change with the render path: Unadvise waits for a
// DeliverSample in progress (which only queues, so the wait is short).
#pragma once

#include <windows.h>
#include <mmreg.h>

#include "framework/CBaseRenderer.h"
#include "framework/CCritSec.h"
#include "framework/CMediaType.h"
#include "v77/IV77Receivers.h"
#include "v77/IV77Sinks.h"

class CV77DsNetworkRendererFilter : public CBaseRenderer, public IV77DsNetworkRenderer, public IV77ImageSource {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77DsNetworkRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77DsNetworkRendererFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    // Without SetSourceInformation first only a WAVEFORMATEX type connects.
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT OnStartStreaming() override;
    HRESULT OnStopStreaming() override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

    // IV77DsNetworkRenderer
    STDMETHODIMP SetClockSync(BOOL sync) override;
    STDMETHODIMP Publish(DWORD a, DWORD b, IUnknown* server) override;
    STDMETHODIMP SetSourceInformation(const SOURCE_INFORMATION* info) override;
    STDMETHODIMP PushSample(IMediaSample* sample) override;

    // IV77ImageSource
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP GetSourceInformation(SOURCE_INFORMATION* info) override;
    STDMETHODIMP GetAverageSampleSize(double* size) override;
    STDMETHODIMP Reserved7(DWORD) override { return S_OK; }
    STDMETHODIMP Reserved8(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11(DWORD, DWORD, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Reserved13(DWORD) override { return E_NOTIMPL; }

private:
    // The sink's DeliverSample, or withoutSink when none is advised.
    HRESULT Deliver(IMediaSample* sample, HRESULT withoutSink);
    HRESULT SetSinkActive(BOOL active);

    CCritSec m_SinkLock;
    IV77StreamSink* m_pSink;           // one reference, m_SinkLock
    volatile bool m_bClockSync;
    double m_dAverageSize;             // m_InterfaceLock
    SOURCE_INFORMATION m_Information;
    CMediaType m_Type;                 // m_InterfaceLock
    bool m_bInformationSet;
};
