// IBaseFilter on top of the filter's state, clock, graph and event sink.
// Derived filters supply their pins through GetPinCount/GetPin.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <evcode.h>
#include <vfwmsgs.h>
#include "framework/CCritSec.h"
#include "framework/CUnknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
public:
    CBaseFilter(const TCHAR* name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid);
    CBaseFilter(const TCHAR* name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid, HRESULT* phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;

    // IMediaFilter
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    // Pins, by index; the enumerators call these.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;

    // Time since the stream started (clock time - start time); VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(REFERENCE_TIME& time);

    // Posts an event to the graph's event sink; E_NOTIMPL outside a graph.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

    BOOL IsActive();
    BOOL IsStopped();
    IFilterGraph* GetFilterGraph() { return m_pGraph; }
    // Asks the graph to reconnect a pin with a new type (IFilterGraph2::ReconnectEx when available).
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt);

    // Incremented whenever the set of pins changes, so enumerators resynchronise.
    virtual LONG GetPinVersion() { return m_PinVersion; }
    void IncrementPinVersion() { InterlockedIncrement(&m_PinVersion); }

protected:
    FILTER_STATE m_State;
    IReferenceClock* m_pClock;
    REFERENCE_TIME m_tStart;
    CLSID m_clsid;
    CCritSec* m_pLock;
    WCHAR* m_pName;
    IFilterGraph* m_pGraph;        // not reference counted: the graph owns us
    IMediaEventSink* m_pSink;      // not reference counted either (it is the graph)
    volatile LONG m_PinVersion;
};
