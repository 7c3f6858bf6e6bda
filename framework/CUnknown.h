// Aggregation-aware IUnknown: the object's own (non-delegating) IUnknown
// holds the count; the public IUnknown of derived classes delegates to the
// outer unknown, which is the object itself when it is not aggregated.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include "framework/CBaseObject.h"

struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(const TCHAR* name, LPUNKNOWN outer);
    CUnknown(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);

    // The unknown that QueryInterface/AddRef/Release of derived interfaces go to.
    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

protected:
    volatile LONG m_cRef;

private:
    LPUNKNOWN const m_pUnknown;
};

// Stores an AddRef'd interface pointer in *ppv.
HRESULT GetInterface(LPUNKNOWN unk, void** ppv);

// Declares the public IUnknown of a CUnknown-derived class as delegating to the owner.
#define DECLARE_IUNKNOWN                                                          \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override                 \
    {                                                                             \
        return GetOwner()->QueryInterface(riid, ppv);                             \
    }                                                                             \
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }       \
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }

// Creator signature of the factory templates.
typedef CUnknown* (*LPFNNewCOMObject)(LPUNKNOWN outer, HRESULT* phr);
typedef void (*LPFNInitRoutine)(BOOL loading, const CLSID* clsid);
