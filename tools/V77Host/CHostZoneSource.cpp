#include "tools/V77Host/CHostZoneSource.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <uuids.h>
#include "tools/V77Host/CHostZoneAuxiliary.h"
#include "v77/V77Guids.h"

namespace {

// {7E2B9C41-5A0D-4F3E-B1C8-2D6F90A4E537}
const CLSID kHostZoneSourceClsid = {0x7e2b9c41, 0x5a0d, 0x4f3e, {0xb1, 0xc8, 0x2d, 0x6f, 0x90, 0xa4, 0xe5, 0x37}};
constexpr LONG kSampleBytes = 1 << 16;

}  // namespace

CHostZonePin::CHostZonePin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, IV77ReceiverAuxiliary* auxiliary)
    : CBaseOutputPin(TEXT("Zone detector pin"), filter, lock, phr, L"Zones"), m_pAuxiliary(auxiliary)
{
}

STDMETHODIMP CHostZonePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77ReceiverAuxiliary && m_pAuxiliary)
        return m_pAuxiliary->QueryInterface(riid, ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CHostZonePin::CheckMediaType(const CMediaType* mt)
{
    return mt && *mt->Type() == MEDIATYPE_Video && *mt->Subtype() == MEDIASUBTYPE_V77_SENS ? S_OK : S_FALSE;
}

HRESULT CHostZonePin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&MEDIASUBTYPE_V77_SENS);
    mt->SetFormatType(&FORMAT_None);
    mt->SetSampleSize(kSampleBytes);
    return S_OK;
}

HRESULT CHostZonePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(2L, request->cBuffers);
    wanted.cbBuffer = std::max(kSampleBytes, request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CHostZonePin::Push(const std::vector<BYTE>& bytes)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    BYTE* data = nullptr;
    hr = sample->GetPointer(&data);
    if (SUCCEEDED(hr) && bytes.size() <= static_cast<size_t>(sample->GetSize())) {
        memcpy(data, bytes.data(), bytes.size());
        hr = sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
        if (SUCCEEDED(hr))
            hr = Deliver(sample);
    } else if (SUCCEEDED(hr)) {
        hr = E_INVALIDARG;
    }
    sample->Release();
    return hr;
}

CHostZoneSource* CHostZoneSource::Create(const std::wstring& xml)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CHostZoneSource(xml, &hr);
    if (!source)
        return nullptr;
    source->NonDelegatingAddRef();
    if (FAILED(hr)) {
        source->NonDelegatingRelease();
        return nullptr;
    }
    return source;
}

CHostZoneSource::CHostZoneSource(const std::wstring& xml, HRESULT* phr)
    : CBaseFilter(TEXT("Demo zone detector"), nullptr, &m_Lock, kHostZoneSourceClsid, phr), m_pPin(nullptr)
{
    auto* auxiliary = new (std::nothrow) CHostZoneAuxiliary(xml);
    if (auxiliary) {
        m_pPin = new (std::nothrow) CHostZonePin(this, &m_Lock, phr, auxiliary);
        auxiliary->Release();  // the pin holds it
    }
    if (!m_pPin && phr)
        *phr = E_OUTOFMEMORY;
}

CHostZoneSource::~CHostZoneSource()
{
    delete m_pPin;
}
