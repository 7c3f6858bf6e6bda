#include "tests/module/CTestObject.h"

LONG CTestObject::s_cDestroyed = 0;
HRESULT CTestObject::s_hrConstructor = S_OK;

CTestObject::CTestObject(const char* name, LPUNKNOWN outer, HRESULT* phr) : CUnknown(name, outer, phr)
{
    if (FAILED(s_hrConstructor))
        *phr = s_hrConstructor;
}

CTestObject::~CTestObject()
{
    ++s_cDestroyed;
}

STDMETHODIMP CTestObject::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IPersist)
        return GetInterface(static_cast<IPersist*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTestObject::GetClassID(CLSID* pClassID)
{
    *pClassID = CLSID_NULL;
    return S_OK;
}
