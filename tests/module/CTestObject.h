// A minimal COM object for driving the class factory: answers IPersist,
// counts its destructions, and can be told to store a
// failure code from its constructor as a failing filter would.
#pragma once

#include <windows.h>
#include <objidl.h>
#include "framework/CUnknown.h"

class CTestObject : public CUnknown, public IPersist {
public:
    CTestObject(const char* name, LPUNKNOWN outer, HRESULT* phr);
    ~CTestObject() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP GetClassID(CLSID* pClassID) override;

    static LONG Destroyed() { return s_cDestroyed; }
    // The code the next constructions store into *phr (S_OK: none).
    static void SetConstructorResult(HRESULT hr) { s_hrConstructor = hr; }

private:
    static LONG s_cDestroyed;
    static HRESULT s_hrConstructor;
};
