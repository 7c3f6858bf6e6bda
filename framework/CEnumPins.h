// IEnumPins over a filter's GetPinCount/GetPin, failing with
// VFW_E_ENUM_OUT_OF_SYNC when the filter's pins change underneath.
#pragma once

#include <windows.h>
#include <strmif.h>

class CBaseFilter;

class CEnumPins : public IEnumPins {
public:
    CEnumPins(CBaseFilter* filter, const CEnumPins* copy);
    virtual ~CEnumPins();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** ppEnum) override;

private:
    bool AreWeOutOfSync() const;

    int m_Position;
    int m_PinCount;
    CBaseFilter* m_pFilter;   // holds a reference
    LONG m_Version;
    volatile LONG m_cRef;
};
