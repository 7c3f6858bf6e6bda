#include "sources/CV77WindowSpyFilter.h"

#include <new>

#include "sources/WindowSpyErrors.h"
#include "v77/V77Guids.h"

CUnknown* WINAPI CV77WindowSpyFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    try {
        auto* filter = new (std::nothrow) CV77WindowSpyFilter(outer, phr);
        if (!filter)
            *phr = E_OUTOFMEMORY;
        return filter;
    } catch (...) {
        *phr = V77HandleException(kV77WindowSpyModule, __LINE__);
        return nullptr;
    }
}

CV77WindowSpyFilter::CV77WindowSpyFilter(LPUNKNOWN outer, HRESULT* phr)
    : CSource(TEXT("Varnokel77 Window Spy filter"), outer, CLSID_V77WindowSpy, phr), m_Stream(phr, this)
{
}

CV77WindowSpyFilter::~CV77WindowSpyFilter() = default;

STDMETHODIMP CV77WindowSpyFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77WindowSpy)
        return GetInterface(static_cast<IV77WindowSpy*>(&m_Stream), ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}
