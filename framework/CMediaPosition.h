// IMediaPosition (seconds-based seeking) as an aggregatable object. Its
// IDispatch side has no type information: scripting clients are not served.
#pragma once

#include <windows.h>
#include <control.h>
#include "framework/CUnknown.h"

class CMediaPosition : public IMediaPosition, public CUnknown {
public:
    CMediaPosition(const TCHAR* name, LPUNKNOWN outer);
    CMediaPosition(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;
};
