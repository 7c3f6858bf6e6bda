#include "tests/kit/CTestPushPin.h"

#include <algorithm>
#include <cstring>
#include <wrl/client.h>

CTestPushPin::CTestPushPin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const CMediaType& mt, LONG bufferSize)
    : CBaseOutputPin(TEXT("Test push pin"), filter, lock, phr, L"Out"), m_Type(mt), m_BufferSize(bufferSize)
{
}

HRESULT CTestPushPin::CheckMediaType(const CMediaType* mt)
{
    return mt && *mt == m_Type ? S_OK : S_FALSE;
}

HRESULT CTestPushPin::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_Type;
    return S_OK;
}

HRESULT CTestPushPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(3L, request->cBuffers);
    wanted.cbBuffer = std::max(std::max(m_BufferSize, static_cast<LONG>(m_Type.lSampleSize)), request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CTestPushPin::Push(const TestPacket& packet)
{
    Microsoft::WRL::ComPtr<IMediaSample> sample;
    HRESULT hr = GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    BYTE* data = nullptr;
    if (FAILED(hr = sample->GetPointer(&data)))
        return hr;
    const size_t copied = std::min(packet.bytes.size(), static_cast<size_t>(sample->GetSize()));
    if (copied)
        std::memcpy(data, packet.bytes.data(), copied);
    if (FAILED(hr = sample->SetActualDataLength(packet.length >= 0 ? packet.length : static_cast<LONG>(copied))))
        return hr;
    REFERENCE_TIME start = packet.start, stop = packet.stop;
    sample->SetTime(packet.timeValid ? &start : nullptr, packet.timeValid ? &stop : nullptr);
    LONGLONG mediaStart = packet.mediaStart, mediaStop = packet.mediaStop;
    sample->SetMediaTime(packet.mediaTimeValid ? &mediaStart : nullptr, packet.mediaTimeValid ? &mediaStop : nullptr);
    sample->SetSyncPoint(packet.syncPoint);
    return Deliver(sample.Get());
}
