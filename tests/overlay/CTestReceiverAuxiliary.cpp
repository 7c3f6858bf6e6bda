#include "tests/overlay/CTestReceiverAuxiliary.h"

#include <oleauto.h>

STDMETHODIMP CTestReceiverAuxiliary::QueryInterface(REFIID riid, void** ppv)
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

STDMETHODIMP_(ULONG) CTestReceiverAuxiliary::Release()
{
    const ULONG left = --m_Refs;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CTestReceiverAuxiliary::GetOverlayConfiguration(long zero, BSTR* xml)
{
    ++calls;
    lastZero = zero;
    if (!xml)
        return E_POINTER;
    *xml = nullptr;
    if (FAILED(m_Result))
        return m_Result;
    *xml = SysAllocStringLen(m_Xml.data(), static_cast<UINT>(m_Xml.size()));
    return *xml ? S_OK : E_OUTOFMEMORY;
}
