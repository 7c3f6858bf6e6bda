#include "tools/common/CV77ZoneAuxiliary.h"

#include <oleauto.h>

STDMETHODIMP CV77ZoneAuxiliary::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IV77ReceiverAuxiliary) {
        *ppv = static_cast<IV77ReceiverAuxiliary*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CV77ZoneAuxiliary::Release()
{
    const ULONG left = --m_Refs;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CV77ZoneAuxiliary::GetOverlayConfiguration(long, BSTR* xml)
{
    if (!xml)
        return E_POINTER;
    *xml = SysAllocStringLen(m_Xml.data(), static_cast<UINT>(m_Xml.size()));
    return *xml ? S_OK : E_OUTOFMEMORY;
}
