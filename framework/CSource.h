// A source filter: an array of CSourceStream output pins, each pushing
// samples from its own worker thread, and the state lock they share.
#pragma once

#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"

class CSourceStream;

class CSource : public CBaseFilter {
public:
    CSource(const TCHAR* name, LPUNKNOWN outer, CLSID clsid, HRESULT* phr);
    CSource(const TCHAR* name, LPUNKNOWN outer, CLSID clsid);
    // Deletes the pins still registered.
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // Pins register themselves on construction and leave on destruction.
    HRESULT AddPin(CSourceStream* stream);
    HRESULT RemovePin(CSourceStream* stream);

    // Finds a pin by its id (QueryId gives the pin's number, from 1) or its name.
    STDMETHODIMP FindPin(LPCWSTR id, IPin** ppPin) override;
    // Zero-based index of pin, -1 when it is not ours.
    int FindPinNumber(IPin* pin);

    CCritSec* pStateLock() { return &m_cStateLock; }

protected:
    int m_iPins;
    CSourceStream** m_paStreams;
    CCritSec m_cStateLock;
};
