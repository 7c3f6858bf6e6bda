#include "sources/CV77DsNetworkSourceFilter.h"

#include <new>
#include "sources/CV77DsNetworkSourceOutput.h"
#include "v77/V77Guids.h"

CV77DsNetworkSourceFilter::CV77DsNetworkSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsNetworkSourceFilter(name, outer, phr, CLSID_V77DsNetworkSource)
{
    if (m_pOutput && SUCCEEDED(*phr))
        CreateReceiver(CLSID_V77NetworkReceiver, phr);
}

CV77DsNetworkSourceFilter::CV77DsNetworkSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr,
                                                     REFCLSID clsid)
    : CV77DsSourceFilter(name, outer, phr, clsid)
{
    m_pOutput = new (std::nothrow) CV77DsNetworkSourceOutput(this, phr);
    if (!m_pOutput)
        *phr = E_OUTOFMEMORY;
}

STDMETHODIMP CV77DsNetworkSourceFilter::GetBuffer(IUnknown*, IMediaSample** sample)
{
    return PrimaryDeliveryBuffer(sample);
}
