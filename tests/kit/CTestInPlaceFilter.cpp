#include "tests/kit/CTestInPlaceFilter.h"

#include <new>
#include "framework/CAutoLock.h"
#include "framework/CTransInPlaceInputPin.h"
#include "framework/CTransInPlaceOutputPin.h"

namespace {

// {5B1C33A3-7D3E-4F43-9A8B-6E1F2D9C0A11}
const CLSID CLSID_V77TestInPlace = {0x5b1c33a3, 0x7d3e, 0x4f43, {0x9a, 0x8b, 0x6e, 0x1f, 0x2d, 0x9c, 0x0a, 0x11}};

}  // namespace

CTestInPlaceFilter::CTestInPlaceFilter(bool modifiesData)
    : CTransInPlaceFilter(TEXT("Test in-place transform"), nullptr, CLSID_V77TestInPlace, nullptr, modifiesData)
{
}

CTestInPlaceFilter* CTestInPlaceFilter::Create(bool modifiesData)
{
    auto* filter = new (std::nothrow) CTestInPlaceFilter(modifiesData);
    if (filter)
        filter->AddRef();
    return filter;
}

HRESULT CTestInPlaceFilter::CheckInputType(const CMediaType* mtIn)
{
    return mtIn->IsValid() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestInPlaceFilter::Transform(IMediaSample* sample)
{
    ++transforms;
    {
        CAutoLock lock(&m_SeenLock);
        m_Seen.insert(sample);
    }
    if (!m_bModifiesData)
        return S_OK;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    LONG length = sample->GetActualDataLength();
    for (LONG i = 0; i < length; ++i)
        data[i] = static_cast<BYTE>(data[i] + kIncrement);
    return S_OK;
}

IMemAllocator* CTestInPlaceFilter::InputAllocator() const
{
    return InputPin()->PeekAllocator();
}

IMemAllocator* CTestInPlaceFilter::OutputAllocator() const
{
    return OutputPin()->PeekAllocator();
}

bool CTestInPlaceFilter::Transformed(IMediaSample* sample)
{
    CAutoLock lock(&m_SeenLock);
    return m_Seen.count(sample) != 0;
}
