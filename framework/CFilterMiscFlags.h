// IAMFilterMiscFlags with fixed flags, as an object inside a filter whose
// IUnknown it delegates to. A member rather than a base, so a derived filter
// may still implement IAMFilterMiscFlags itself without ambiguity.
#pragma once

#include <windows.h>
#include <strmif.h>

class CFilterMiscFlags : public IAMFilterMiscFlags {
public:
    CFilterMiscFlags(LPUNKNOWN owner, ULONG flags) : m_pOwner(owner), m_Flags(flags) {}
    virtual ~CFilterMiscFlags() = default;
    CFilterMiscFlags(const CFilterMiscFlags&) = delete;
    CFilterMiscFlags& operator=(const CFilterMiscFlags&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pOwner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pOwner->Release(); }

    STDMETHODIMP_(ULONG) GetMiscFlags() override { return m_Flags; }

private:
    LPUNKNOWN m_pOwner;   // not reference counted: the owner contains us
    ULONG m_Flags;
};
