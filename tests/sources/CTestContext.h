// A context object a test receiver attaches to its samples, counting how
// many are alive: every one must be released once its sample came back.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CTestContext : public IUnknown {
public:
    // One reference.
    static IUnknown* Create();
    static LONG Alive();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    CTestContext();
    virtual ~CTestContext();

    volatile LONG m_cRef;
    static volatile LONG s_cAlive;
};
