#include "framework/CTransInPlaceOutputPin.h"

#include "framework/CTransInPlaceFilter.h"
#include "framework/CTransInPlaceInputPin.h"

CTransInPlaceOutputPin::CTransInPlaceOutputPin(const TCHAR* objectName, CTransInPlaceFilter* filter,
                                               HRESULT* phr, LPCWSTR pinName)
    : CTransformOutputPin(objectName, filter, phr, pinName), m_pTIPFilter(filter)
{
}

STDMETHODIMP CTransInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    IPin* upstream = m_pTIPFilter->InputPin()->GetConnected();
    if (!upstream)
        return VFW_E_NOT_CONNECTED;
    return upstream->EnumMediaTypes(ppEnum);
}

HRESULT CTransInPlaceOutputPin::CheckMediaType(const CMediaType* mt)
{
    // Copying between allocators sized for the current type: too late to change it.
    if (m_pTIPFilter->UsingDifferentAllocators() && !m_pFilter->IsStopped())
        return *mt == m_mt ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    // The type does not change across the filter: the input rules apply.
    HRESULT hr = m_pTIPFilter->CheckInputType(mt);
    if (hr != S_OK)
        return hr;
    IPin* upstream = m_pTIPFilter->InputPin()->GetConnected();
    return upstream ? upstream->QueryAccept(mt) : S_OK;
}

HRESULT CTransInPlaceOutputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
    if (FAILED(hr))
        return hr;
    return m_pTIPFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
}

void CTransInPlaceOutputPin::SetAllocator(IMemAllocator* allocator)
{
    if (allocator)
        allocator->AddRef();
    if (m_pAllocator)
        m_pAllocator->Release();
    m_pAllocator = allocator;
}
