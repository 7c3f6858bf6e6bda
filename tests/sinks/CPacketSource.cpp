#include "tests/sinks/CPacketSource.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {
// {5E5AB1C4-6F57-4D49-A0D1-29B0C2D41A11}
const CLSID CLSID_TestPacketSource = {0x5e5ab1c4, 0x6f57, 0x4d49, {0xa0, 0xd1, 0x29, 0xb0, 0xc2, 0xd4, 0x1a, 0x11}};
}  // namespace

CPacketStream::CPacketStream(HRESULT* phr, CSource* filter, const CMediaType& mt, std::vector<Packet> packets,
                             DWORD gapMs)
    : CSourceStream(TEXT("Packet stream"), phr, filter, L"Out"), m_Type(mt), m_Packets(std::move(packets)),
      m_GapMs(gapMs)
{
}

HRESULT CPacketStream::GetMediaType(CMediaType* mt)
{
    *mt = m_Type;
    return S_OK;
}

HRESULT CPacketStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    size_t largest = 1;
    for (const Packet& p : m_Packets)
        largest = std::max(largest, p.bytes.size());
    ALLOCATOR_PROPERTIES props = {std::max<LONG>(request->cBuffers, 4), static_cast<LONG>(largest), 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&props, &actual);
}

HRESULT CPacketStream::OnThreadCreate()
{
    m_Next = 0;
    return S_OK;
}

HRESULT CPacketStream::FillBuffer(IMediaSample* sample)
{
    if (m_Next >= m_Packets.size())
        return S_FALSE;
    if (m_Next > 0 && m_GapMs)
        Sleep(m_GapMs);
    const Packet& p = m_Packets[m_Next];
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, p.bytes.data(), p.bytes.size());
    sample->SetActualDataLength(static_cast<LONG>(p.bytes.size()));
    REFERENCE_TIME start = static_cast<REFERENCE_TIME>(m_Next) * 400000;
    REFERENCE_TIME stop = start + 400000;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(p.key ? TRUE : FALSE);
    ++m_Next;
    return S_OK;
}

CPacketSource::CPacketSource(const CMediaType& mt, std::vector<Packet> packets, DWORD gapMs, HRESULT* phr)
    : CSource(TEXT("Packet source"), nullptr, CLSID_TestPacketSource, phr)
{
    if (!new (std::nothrow) CPacketStream(phr, this, mt, std::move(packets), gapMs))
        *phr = E_OUTOFMEMORY;
}

CPacketSource* CPacketSource::Create(const CMediaType& mt, std::vector<Packet> packets, DWORD gapMs)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CPacketSource(mt, std::move(packets), gapMs, &hr);
    if (!source)
        return nullptr;
    source->NonDelegatingAddRef();
    if (FAILED(hr)) {
        source->NonDelegatingRelease();
        return nullptr;
    }
    return source;
}
