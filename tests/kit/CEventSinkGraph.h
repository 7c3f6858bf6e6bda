// A stand-in filter graph that only records the events filters send it
// (IMediaEventSink), with the clock time of each. Lets a test drive filters
// by hand and see event parameters the real graph would rewrite.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <vector>
#include "framework/CCritSec.h"

class CEventSinkGraph : public IFilterGraph, public IMediaEventSink {
public:
    struct Event {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
        REFERENCE_TIME clockTime;   // 0 without a clock
    };

    CEventSinkGraph();
    virtual ~CEventSinkGraph();
    CEventSinkGraph(const CEventSinkGraph&) = delete;
    CEventSinkGraph& operator=(const CEventSinkGraph&) = delete;

    // Events are stamped with this clock's time (not referenced).
    void SetClock(IReferenceClock* clock) { m_pClock = clock; }
    std::vector<Event> Events();
    int Count(long code);
    bool WaitFor(long code, int count, DWORD timeoutMs);
    IFilterGraph* Graph() { return static_cast<IFilterGraph*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IFilterGraph: nothing but membership is supported.
    STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP SetDefaultSyncSource() override { return E_NOTIMPL; }

    // IMediaEventSink
    STDMETHODIMP Notify(long code, LONG_PTR param1, LONG_PTR param2) override;

private:
    CCritSec m_Lock;
    std::vector<Event> m_Events;
    IReferenceClock* m_pClock;
    volatile LONG m_cRef;
};
