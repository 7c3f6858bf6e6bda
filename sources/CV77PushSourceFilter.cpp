#include "sources/CV77PushSourceFilter.h"

#include <new>
#include "sources/CV77PushSourceOutput.h"
#include "v77/V77Guids.h"

CV77PushSourceFilter::CV77PushSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(name, outer, &m_FilterLock, CLSID_V77PushSource), m_pOutput(nullptr)
{
    m_pOutput = new (std::nothrow) CV77PushSourceOutput(this, &m_FilterLock, phr);
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
}

CV77PushSourceFilter::~CV77PushSourceFilter()
{
    delete m_pOutput;
}

STDMETHODIMP CV77PushSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IV77PushSource) {
        if (!m_pOutput)
            return E_NOINTERFACE;
        return GetInterface(static_cast<IV77PushSource*>(m_pOutput), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CV77PushSourceFilter::GetPinCount()
{
    return 1;
}

CBasePin* CV77PushSourceFilter::GetPin(int n)
{
    return n == 0 ? m_pOutput : nullptr;
}

STDMETHODIMP CV77PushSourceFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_State;
    return m_State == State_Paused ? VFW_S_CANT_CUE : S_OK;
}
