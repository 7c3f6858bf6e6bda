#include "sources/CV77DsTcpSourceFilter.h"

#include "v77/V77Guids.h"

CV77DsTcpSourceFilter::CV77DsTcpSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsNetworkSourceFilter(name, outer, phr, CLSID_V77DsTcpSource)
{
    if (m_pOutput && SUCCEEDED(*phr))
        CreateReceiver(CLSID_V77TcpReceiver, phr);
}

STDMETHODIMP CV77DsTcpSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (ppv && riid == IID_IV77TcpReceiver)
        return GetInterface(static_cast<IV77TcpReceiver*>(this), ppv);
    return CV77DsNetworkSourceFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77DsTcpSourceFilter::Configure(DWORD a, double b, DWORD c)
{
    IV77TcpReceiver* target = nullptr;
    if (!Receiver() || FAILED(Receiver()->QueryInterface(IID_IV77TcpReceiver, reinterpret_cast<void**>(&target))))
        return E_NOINTERFACE;
    const HRESULT hr = target->Configure(a, b, c);
    target->Release();
    return hr;
}
