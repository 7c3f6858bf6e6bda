// Input pin of a CTransInPlaceFilter: offers upstream the downstream pin's
// allocator (so samples pass through without copies) and its types.
#pragma once

#include "framework/CTransformInputPin.h"

class CTransInPlaceFilter;

class CTransInPlaceInputPin : public CTransformInputPin {
public:
    CTransInPlaceInputPin(const TCHAR* objectName, CTransInPlaceFilter* filter, HRESULT* phr, LPCWSTR pinName);

    // The downstream pin's types, once the output is connected.
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // The downstream allocator when the output is connected.
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT CompleteConnect(IPin* receivePin) override;

    // Not AddRef'd.
    IMemAllocator* PeekAllocator() const { return m_pAllocator; }
    BOOL ReadOnly() const { return m_bReadOnly; }

protected:
    // Gives downstream a copy allocator when upstream's is read-only.
    HRESULT UseOwnOutputAllocator(IMemAllocator* upstream);

    CTransInPlaceFilter* const m_pTIPFilter;
};
