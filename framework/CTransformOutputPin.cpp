#include "framework/CTransformOutputPin.h"

#include <new>
#include "framework/AMGetWideString.h"
#include "framework/CAutoLock.h"
#include "framework/CPosPassThru.h"
#include "framework/CTransformFilter.h"
#include "framework/CTransformInputPin.h"

CTransformOutputPin::CTransformOutputPin(const TCHAR* objectName, CTransformFilter* filter, HRESULT* phr,
                                         LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, phr, pinName),
      m_pTransformFilter(filter),
      m_pPosition(nullptr)
{
}

CTransformOutputPin::~CTransformOutputPin()
{
    delete m_pPosition;
}

STDMETHODIMP CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) {
        CAutoLock lock(m_pLock);
        if (!m_pPosition) {
            CTransformInputPin* input = m_pTransformFilter->m_pInput;
            if (!input)
                return E_UNEXPECTED;
            HRESULT hr = S_OK;
            m_pPosition = new (std::nothrow)
                CPosPassThru(TEXT("Transform CPosPassThru"), GetOwner(), &hr, static_cast<IPin*>(input));
            if (!m_pPosition)
                return E_OUTOFMEMORY;
            if (FAILED(hr)) {
                delete m_pPosition;
                m_pPosition = nullptr;
                return hr;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTransformOutputPin::QueryId(LPWSTR* id)
{
    return AMGetWideString(L"Out", id);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mt)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    // The output type follows from the input: connect the input first.
    if (!input || !input->IsConnected())
        return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&input->CurrentMediaType(), mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* mt)
{
    HRESULT hr = CBaseOutputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, mt);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return m_pTransformFilter->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mt)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input || !input->IsConnected())
        return VFW_S_NO_MORE_ITEMS;
    return m_pTransformFilter->GetMediaType(position, mt);
}

STDMETHODIMP CTransformOutputPin::Notify(IBaseFilter*, Quality q)
{
    HRESULT hr = m_pTransformFilter->AlterQuality(q);
    if (hr != S_FALSE)
        return hr;
    return m_pTransformFilter->m_pInput->PassNotify(q);
}
