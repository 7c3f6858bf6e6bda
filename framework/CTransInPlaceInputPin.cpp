#include "framework/CTransInPlaceInputPin.h"

#include <wrl/client.h>
#include "framework/CAutoLock.h"
#include "framework/CTransInPlaceFilter.h"
#include "framework/CTransInPlaceOutputPin.h"

using Microsoft::WRL::ComPtr;

CTransInPlaceInputPin::CTransInPlaceInputPin(const TCHAR* objectName, CTransInPlaceFilter* filter, HRESULT* phr,
                                             LPCWSTR pinName)
    : CTransformInputPin(objectName, filter, phr, pinName), m_pTIPFilter(filter)
{
}

STDMETHODIMP CTransInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    IPin* downstream = m_pTIPFilter->OutputPin()->GetConnected();
    if (!downstream)
        return VFW_E_NOT_CONNECTED;
    return downstream->EnumMediaTypes(ppEnum);
}

HRESULT CTransInPlaceInputPin::CheckMediaType(const CMediaType* mt)
{
    HRESULT hr = m_pTIPFilter->CheckInputType(mt);
    if (hr != S_OK)
        return hr;
    IPin* downstream = m_pTIPFilter->OutputPin()->GetConnected();
    return downstream ? downstream->QueryAccept(mt) : S_OK;
}

STDMETHODIMP CTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    *allocator = nullptr;
    CAutoLock lock(m_pLock);
    CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    if (output->IsConnected() && output->ConnectedIMemInputPin()) {
        HRESULT hr = output->ConnectedIMemInputPin()->GetAllocator(allocator);
        if (SUCCEEDED(hr))
            output->SetAllocator(*allocator);
        return hr;
    }
    // Never used for streaming: connecting our output reconnects this pin.
    return CTransformInputPin::GetAllocator(allocator);
}

HRESULT CTransInPlaceInputPin::UseOwnOutputAllocator(IMemAllocator* upstream)
{
    CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    IMemInputPin* downstream = output->ConnectedIMemInputPin();
    ComPtr<IMemAllocator> own(output->PeekAllocator());
    if (!own || own.Get() == upstream) {
        own.Reset();
        if (FAILED(downstream->GetAllocator(&own)) || own.Get() == upstream) {
            own.Reset();
            HRESULT hr = output->InitAllocator(&own);
            if (FAILED(hr))
                return hr;
        }
    }
    // Every copied sample must fit: the output buffers match upstream's.
    ALLOCATOR_PROPERTIES wanted = {};
    HRESULT hr = upstream->GetProperties(&wanted);
    if (FAILED(hr))
        return hr;
    if (wanted.cbAlign < 1)
        wanted.cbAlign = 1;
    if (wanted.cBuffers < 1)
        wanted.cBuffers = 1;
    ALLOCATOR_PROPERTIES actual = {};
    hr = own->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cBuffers < wanted.cBuffers || actual.cbBuffer < wanted.cbBuffer || actual.cbAlign < wanted.cbAlign)
        return E_FAIL;
    hr = downstream->NotifyAllocator(own.Get(), FALSE);
    if (FAILED(hr))
        return hr;
    output->SetAllocator(own.Get());
    return S_OK;
}

STDMETHODIMP CTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    if (output->IsConnected() && output->ConnectedIMemInputPin()) {
        HRESULT hr;
        if (readOnly && m_pTIPFilter->m_bModifiesData) {
            // We may not write into upstream's buffers: copy into our own.
            hr = UseOwnOutputAllocator(allocator);
        } else {
            hr = output->ConnectedIMemInputPin()->NotifyAllocator(allocator, readOnly);
            if (SUCCEEDED(hr))
                output->SetAllocator(allocator);
            else
                hr = UseOwnOutputAllocator(allocator);   // downstream insists on its own
        }
        if (FAILED(hr))
            return hr;
    }
    return CTransformInputPin::NotifyAllocator(allocator, readOnly);
}

STDMETHODIMP CTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    if (output->IsConnected() && output->ConnectedIMemInputPin())
        return output->ConnectedIMemInputPin()->GetAllocatorRequirements(props);
    return E_NOTIMPL;
}

HRESULT CTransInPlaceInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(hr))
        return hr;
    return m_pTIPFilter->CompleteConnect(PINDIR_INPUT, receivePin);
}
