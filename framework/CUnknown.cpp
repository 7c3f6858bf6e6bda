#include "framework/CUnknown.h"

CUnknown::CUnknown(const TCHAR* name, LPUNKNOWN outer)
    : CBaseObject(name),
      m_cRef(0),
      m_pUnknown(outer ? outer : reinterpret_cast<LPUNKNOWN>(static_cast<INonDelegatingUnknown*>(this)))
{
}

CUnknown::CUnknown(const TCHAR* name, LPUNKNOWN outer, HRESULT*) : CUnknown(name, outer)
{
}

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown)
        return GetInterface(reinterpret_cast<LPUNKNOWN>(static_cast<INonDelegatingUnknown*>(this)), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease()
{
    LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0) {
        // Guard against re-entrant release from the destructor (an object
        // that briefly AddRefs itself while tearing down).
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(ref);
}

HRESULT GetInterface(LPUNKNOWN unk, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = unk;
    unk->AddRef();
    return S_OK;
}
