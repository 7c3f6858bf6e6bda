#include "tests/kit/CTestTransformFilter.h"

#include <algorithm>
#include <new>
#include "framework/CTransformInputPin.h"

namespace {

// {5B1C33A2-7D3E-4F43-9A8B-6E1F2D9C0A11}
const CLSID CLSID_V77TestTransform = {0x5b1c33a2, 0x7d3e, 0x4f43, {0x9a, 0x8b, 0x6e, 0x1f, 0x2d, 0x9c, 0x0a, 0x11}};

}  // namespace

CTestTransformFilter::CTestTransformFilter()
    : CTransformFilter(TEXT("Test transform"), nullptr, CLSID_V77TestTransform)
{
}

CTestTransformFilter* CTestTransformFilter::Create()
{
    auto* filter = new (std::nothrow) CTestTransformFilter();
    if (filter)
        filter->AddRef();
    return filter;
}

HRESULT CTestTransformFilter::CheckInputType(const CMediaType* mtIn)
{
    return mtIn->IsValid() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestTransformFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    return *mtIn == *mtOut ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestTransformFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(2L, request->cBuffers);
    LONG size = static_cast<LONG>(m_pInput->CurrentMediaType().GetSampleSize());
    wanted.cbBuffer = std::max(std::max(size, request->cbBuffer), 1L);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    wanted.cbPrefix = std::max(0L, request->cbPrefix);
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

HRESULT CTestTransformFilter::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_pInput->CurrentMediaType();
    return S_OK;
}

HRESULT CTestTransformFilter::Transform(IMediaSample* in, IMediaSample* out)
{
    long count = ++transforms;
    long skip = m_SkipEvery;
    if (skip > 0 && count % skip == 0)
        return S_FALSE;
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    HRESULT hr = in->GetPointer(&from);
    if (SUCCEEDED(hr))
        hr = out->GetPointer(&to);
    if (FAILED(hr))
        return hr;
    LONG length = in->GetActualDataLength();
    if (length > out->GetSize())
        return E_FAIL;
    for (LONG i = 0; i < length; ++i)
        to[i] = static_cast<BYTE>(from[i] ^ kTransformMask);
    return out->SetActualDataLength(length);
}

HRESULT CTestTransformFilter::StartStreaming()
{
    ++startStreamings;
    return S_OK;
}

HRESULT CTestTransformFilter::StopStreaming()
{
    ++stopStreamings;
    return S_OK;
}

HRESULT CTestTransformFilter::AlterQuality(Quality)
{
    ++qualityMessages;
    return S_FALSE;   // pass it on upstream
}
