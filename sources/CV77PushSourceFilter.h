// "Varnokel77 Push source filter": a source the host feeds itself through
// IV77PushSource on its own thread; no receiver, no thread of its own.
#pragma once

#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"

class CV77PushSourceOutput;

class CV77PushSourceFilter : public CBaseFilter {
public:
    CV77PushSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77PushSourceFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;

private:
    CCritSec m_FilterLock;
    CV77PushSourceOutput* m_pOutput;  // owned
};
