// "Varnokel77 Overlay renderer filter": a renderer whose input carries overlay
// descriptions ("SENS" sensor samples or "SEN2" polygon samples). Each sample
// replaces the overlay state; the host paints that state on a device context
// of its own, from any thread, through IV77DsOverlayRenderer.
#pragma once

#include <windows.h>
#include <atomic>
#include <memory>
#include <string>

#include "display/CWin32Mutex.h"
#include "framework/CBaseRenderer.h"
#include "framework/CMediaType.h"
#include "sinks/CRendererBase.h"
#include "v77/IV77Sinks.h"

class CV77DsOverlayRendererFilter : public CBaseRenderer, public IV77DsOverlayRenderer {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77DsOverlayRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77DsOverlayRendererFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseRenderer
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

    // IV77DsOverlayRenderer. Draw and DrawInfo give VFW_E_NOT_CONNECTED
    // before a drawing object exists.
    STDMETHODIMP Draw(HDC hdc, const RECT* dst, const RECT* src) override;
    STDMETHODIMP IsModified() override;
    STDMETHODIMP SetSensorName(BSTR name) override;
    STDMETHODIMP CreateOverlay() override;
    STDMETHODIMP DrawInfo(HDC hdc, const RECT* rc) override;

private:
    // The sensor for a "SENS" connection, its groups from the upstream pin's
    // receiver auxiliary object. Called with m_Lock held.
    HRESULT CreateSensor();
    HRESULT CreatePolygon();

    CWin32Mutex m_Lock;                          // the drawing object, the flag's writers, the name
    CMediaType m_mtIn;
    std::unique_ptr<CRendererBase> m_pRenderer;  // m_Lock
    std::atomic<bool> m_bModified;
    std::string m_SensorName;                    // m_Lock
};
