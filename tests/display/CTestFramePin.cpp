#include "tests/display/CTestFramePin.h"

#include <algorithm>
#include <cstring>

CTestFramePin::CTestFramePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const CMediaType& mt)
    : CBaseOutputPin(TEXT("Test frame pin"), filter, lock, phr, L"Out"), m_Type(mt), m_BufferSize(0)
{
}

HRESULT CTestFramePin::CheckMediaType(const CMediaType* mt)
{
    return mt && *mt->Type() == *m_Type.Type() && *mt->Subtype() == *m_Type.Subtype() ? S_OK : S_FALSE;
}

HRESULT CTestFramePin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_Type;
    return S_OK;
}

HRESULT CTestFramePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(3L, request->cBuffers);
    const LONG size = m_BufferSize ? m_BufferSize : static_cast<LONG>(m_Type.lSampleSize);
    wanted.cbBuffer = m_BufferSize ? m_BufferSize : std::max(size, request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CTestFramePin::GetSample(IMediaSample** sample)
{
    if (!m_pPool)
        return GetDeliveryBuffer(sample, nullptr, nullptr, 0);
    Microsoft::WRL::ComPtr<IUnknown> item;
    HRESULT hr = m_pPool->GetItem(item.GetAddressOf(), 5000);
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;
    return item->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
}

HRESULT CTestFramePin::Push(const std::vector<BYTE>& bytes, LONG length,
                            Microsoft::WRL::ComPtr<IMediaSample>* delivered)
{
    Microsoft::WRL::ComPtr<IMediaSample> sample;
    HRESULT hr = GetSample(sample.GetAddressOf());
    if (FAILED(hr))
        return hr;
    BYTE* data = nullptr;
    hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const size_t copied = std::min(bytes.size(), static_cast<size_t>(sample->GetSize()));
    memcpy(data, bytes.data(), copied);
    hr = sample->SetActualDataLength(length >= 0 ? length : static_cast<LONG>(copied));
    if (FAILED(hr))
        return hr;
    hr = Deliver(sample.Get());
    if (delivered)
        *delivered = sample;
    return hr;
}
