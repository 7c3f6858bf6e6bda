// A media sample of CV77DsARCAllocator: an aggregated pool item (memory,
// times, flags) plus a context object the receiver attached, released when
// the sample goes back to its allocator on its last Release.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/CUnknown.h"

// Answered by the sample with the object itself, no reference added: the way
// the module gets from an IMediaSample back to the sample object.
// {ACA33DFE-BAAA-4195-A731-67C99013F155}
extern const GUID IID_V77LocalSample;

class CV77DsARCLocalMediaSample : public CUnknown {
public:
    // allocator is referenced; the inner pool item is created here (null when that fails).
    explicit CV77DsARCLocalMediaSample(IMemAllocator* allocator);
    ~CV77DsARCLocalMediaSample() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // The sample object behind sample, or null when it is not one of ours.
    static CV77DsARCLocalMediaSample* FromSample(IUnknown* sample);

    // Replaces the context when it differs (the new one referenced, the old released).
    void AttachContext(IUnknown* context);
    IUnknown* Context() const { return m_pContext; }
    // Gives the pool item a buffer of at least size bytes (the sample not handed out).
    HRESULT AllocateMemory(DWORD size);
    // The inner pool item's IUnknown (not referenced), or null.
    IUnknown* Inner() const { return m_pInner; }

private:
    IUnknown* Outer() { return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)); }

    IUnknown* m_pInner;
    IUnknown* m_pContext;
    IMemAllocator* m_pAllocator;
};
