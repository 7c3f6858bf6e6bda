#include "sources/CV77DsAviSourceFilter.h"

#include "v77/V77Guids.h"

CV77DsAviSourceFilter::CV77DsAviSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsNetworkSourceFilter(name, outer, phr, CLSID_V77DsAviSource)
{
    if (m_pOutput && SUCCEEDED(*phr))
        CreateReceiver(CLSID_V77AviReceiver, phr);
}

STDMETHODIMP CV77DsAviSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IV77DsAviSource)
        return GetInterface(static_cast<IV77DsAviSource*>(this), ppv);
    return CV77DsNetworkSourceFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77DsAviSourceFilter::Configure(DWORD a, DWORD b)
{
    IV77DsAviSource* target = nullptr;
    if (!Receiver() || FAILED(Receiver()->QueryInterface(IID_IV77DsAviSource, reinterpret_cast<void**>(&target))))
        return E_NOINTERFACE;
    const HRESULT hr = target->Configure(a, b);
    target->Release();
    return hr;
}
