#include "sources/CV77DsLocalSourceFilter.h"

#include <new>
#include "sources/CV77DsARCLocalMediaSample.h"
#include "sources/CV77DsLocalSourceOutput.h"
#include "v77/V77Guids.h"

CV77DsLocalSourceFilter::CV77DsLocalSourceFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77DsSourceFilter(name, outer, phr, CLSID_V77DsLocalSource)
{
    m_pOutput = new (std::nothrow) CV77DsLocalSourceOutput(this, phr);
    if (!m_pOutput) {
        *phr = E_OUTOFMEMORY;
        return;
    }
    if (FAILED(*phr))
        return;
    CreateReceiver(CLSID_V77LocalReceiver, phr);
    if (Receiver())
        m_bEnabled = true;
}

STDMETHODIMP CV77DsLocalSourceFilter::GetBuffer(IUnknown* context, IMediaSample** sample)
{
    HRESULT hr = PrimaryDeliveryBuffer(sample);
    if (FAILED(hr))
        return hr;
    if (CV77DsARCLocalMediaSample* local = CV77DsARCLocalMediaSample::FromSample(*sample))
        local->AttachContext(context);
    return S_OK;
}
