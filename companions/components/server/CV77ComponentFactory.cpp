#include "companions/components/server/CV77ComponentFactory.h"

volatile LONG CV77ComponentFactory::m_cLocks = 0;

CV77ComponentFactory::CV77ComponentFactory(const CFactoryTemplate* row)
    : CBaseObject(TEXT("V77 component factory")), m_cRef(0), m_pRow(row)
{
}

STDMETHODIMP CV77ComponentFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CV77ComponentFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CV77ComponentFactory::Release()
{
    const LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0)
        delete this;
    return static_cast<ULONG>(ref);
}

STDMETHODIMP CV77ComponentFactory::CreateInstance(LPUNKNOWN outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    HRESULT hr = S_OK;
    CUnknown* object = m_pRow->CreateInstance(outer, &hr);
    if (!object)
        return SUCCEEDED(hr) ? E_OUTOFMEMORY : hr;
    if (FAILED(hr)) {
        delete object;
        return hr;
    }
    // A failing query leaves the count at 0 again and so destroys the object.
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CV77ComponentFactory::LockServer(BOOL lock)
{
    if (lock)
        InterlockedIncrement(&m_cLocks);
    else
        InterlockedDecrement(&m_cLocks);
    return S_OK;
}
