#include "tests/sources/CTestContext.h"

volatile LONG CTestContext::s_cAlive = 0;

CTestContext::CTestContext() : m_cRef(1)
{
    InterlockedIncrement(&s_cAlive);
}

CTestContext::~CTestContext()
{
    InterlockedDecrement(&s_cAlive);
}

IUnknown* CTestContext::Create()
{
    return new CTestContext();
}

LONG CTestContext::Alive()
{
    return s_cAlive;
}

STDMETHODIMP CTestContext::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid != IID_IUnknown) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CTestContext::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CTestContext::Release()
{
    const LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0)
        delete this;
    return static_cast<ULONG>(ref);
}
