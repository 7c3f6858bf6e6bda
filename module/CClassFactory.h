// The class object handed out by DllGetClassObject: creates the objects of
// one factory template. It counts as an active object of the module while it
// lives, and it keeps the module-wide server lock count.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include "framework/CBaseObject.h"
#include "framework/CFactoryTemplate.h"

class CClassFactory : public IClassFactory, public CBaseObject {
public:
    explicit CClassFactory(const CFactoryTemplate* pTemplate);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

    // True while some LockServer(TRUE) has not been balanced.
    static bool IsLocked() { return m_cLocked > 0; }

private:
    const CFactoryTemplate* const m_pTemplate;
    LONG volatile m_cRef;
    static LONG volatile m_cLocked;
};
