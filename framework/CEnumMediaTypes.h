// IEnumMediaTypes over a pin's GetMediaType, failing with
// VFW_E_ENUM_OUT_OF_SYNC when the pin's type version changes.
#pragma once

#include <windows.h>
#include <strmif.h>

class CBasePin;

class CEnumMediaTypes : public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copy);
    virtual ~CEnumMediaTypes();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

private:
    bool AreWeOutOfSync() const;

    int m_Position;
    CBasePin* m_pPin;   // holds a reference
    LONG m_Version;
    volatile LONG m_cRef;
};
