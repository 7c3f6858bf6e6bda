#include "framework/CMediaPosition.h"

CMediaPosition::CMediaPosition(const TCHAR* name, LPUNKNOWN outer) : CUnknown(name, outer)
{
}

CMediaPosition::CMediaPosition(const TCHAR* name, LPUNKNOWN outer, HRESULT*) : CUnknown(name, outer)
{
}

STDMETHODIMP CMediaPosition::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaPosition)
        return GetInterface(static_cast<IMediaPosition*>(this), ppv);
    if (riid == IID_IDispatch)
        return GetInterface(static_cast<IDispatch*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMediaPosition::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CMediaPosition::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CMediaPosition::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CMediaPosition::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}
