// Output pin of a CTransInPlaceFilter: the upstream pin's types, and the
// allocator the input pin agreed on.
#pragma once

#include "framework/CTransformOutputPin.h"

class CTransInPlaceFilter;

class CTransInPlaceOutputPin : public CTransformOutputPin {
public:
    CTransInPlaceOutputPin(const TCHAR* objectName, CTransInPlaceFilter* filter, HRESULT* phr, LPCWSTR pinName);

    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;

    // Records the allocator in use (AddRef'd here).
    void SetAllocator(IMemAllocator* allocator);
    IMemInputPin* ConnectedIMemInputPin() { return m_pInputPin; }
    // Not AddRef'd.
    IMemAllocator* PeekAllocator() const { return m_pAllocator; }

protected:
    CTransInPlaceFilter* const m_pTIPFilter;
};
