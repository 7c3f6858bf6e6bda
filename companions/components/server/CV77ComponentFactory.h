// The class factory of one row of the component table.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "framework/CBaseObject.h"
#include "framework/CFactoryTemplate.h"

class CV77ComponentFactory : public IClassFactory, public CBaseObject {
public:
    explicit CV77ComponentFactory(const CFactoryTemplate* row);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // An aggregating caller must ask for IUnknown (else CLASS_E_NOAGGREGATION);
    // a class that cannot be aggregated refuses through its creator.
    STDMETHODIMP CreateInstance(LPUNKNOWN outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // True while a LockServer(TRUE) is outstanding.
    static bool IsLocked() { return m_cLocks > 0; }

private:
    static volatile LONG m_cLocks;
    volatile LONG m_cRef;
    const CFactoryTemplate* const m_pRow;
};
