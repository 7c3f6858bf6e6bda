#include "bench/win/CBenchSourceStream.h"

#include <cstring>
#include <wrl/client.h>
#include "framework/CSource.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// A pool wait this long lets the worker look at its commands (Stop).
constexpr DWORD kPoolWaitMs = 100;
// A full window: frames that never arrive end the wait after this.
constexpr DWORD kReceiptBoundMs = 10000;

}  // namespace

CBenchSourceStream::CBenchSourceStream(HRESULT* phr, CSource* filter, const BenchSourceConfig& config)
    : CSourceStream(TEXT("Bench source stream"), phr, filter, L"Out"),
      m_Config(config),
      m_lNextFrame(0),
      m_bFinished(false)
{
    if (m_Config.pool)
        m_Config.pool->AddRef();
}

CBenchSourceStream::~CBenchSourceStream()
{
    if (m_Config.pool)
        m_Config.pool->Release();
}

HRESULT CBenchSourceStream::GetMediaType(CMediaType* mt)
{
    *mt = m_Config.mediaType;
    return S_OK;
}

HRESULT CBenchSourceStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = request->cBuffers > 0 ? request->cBuffers : 1;
    wanted.cbBuffer = m_Config.frameBytes > request->cbBuffer ? m_Config.frameBytes : request->cbBuffer;
    wanted.cbAlign = request->cbAlign > 0 ? request->cbAlign : 1;
    wanted.cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= m_Config.frameBytes ? S_OK : E_FAIL;
}

HRESULT CBenchSourceStream::TakePooled(IMediaSample** sample)
{
    // As the buffer's input allocator takes them: a free item at once, the
    // bounded wait only when the pool is empty (a timed wait on every frame
    // would make the baseline pay what the buffered path does not).
    ComPtr<IUnknown> item;
    HRESULT hr = m_Config.pool->TryGetItem(&item);
    if (hr != S_OK && SUCCEEDED(hr))
        hr = m_Config.pool->GetItem(&item, kPoolWaitMs);
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TIMEOUT;
    // As the buffer's input allocator does: a clean item each time.
    ComPtr<IV77PoolItem> poolItem;
    hr = item.As(&poolItem);
    if (FAILED(hr))
        return hr;
    poolItem->Reset();
    return item->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(sample));
}

HRESULT CBenchSourceStream::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                              DWORD flags)
{
    if (m_Config.pool)
        return TakePooled(sample);
    return CSourceStream::GetDeliveryBuffer(sample, start, stop, flags);
}

HRESULT CBenchSourceStream::FillBuffer(IMediaSample* sample)
{
    if (m_lNextFrame >= m_Config.frameCount) {
        m_bFinished = true;
        return S_FALSE;
    }
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr) || !data || sample->GetSize() < m_Config.frameBytes)
        return E_FAIL;
    const long frame = m_lNextFrame++;
    std::memcpy(data + kStampFrameOffset, &frame, sizeof(frame));
    sample->SetActualDataLength(m_Config.frameBytes);
    REFERENCE_TIME begin = frame * m_Config.frameTime;
    REFERENCE_TIME end = begin + m_Config.frameTime;
    sample->SetTime(&begin, &end);
    sample->SetMediaTime(&begin, &end);
    sample->SetSyncPoint(TRUE);
    return S_OK;
}

HRESULT CBenchSourceStream::Deliver(IMediaSample* sample)
{
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    BenchCounters& counters = *m_Config.counters;
    const LONGLONG now = BenchTicks();
    std::memcpy(data + kStampTicksOffset, &now, sizeof(now));
    if (counters.delivered.load() == 0)
        counters.firstDeliver = now;
    const long frame = ++counters.delivered;
    HRESULT hr = CSourceStream::Deliver(sample);
    if (m_Config.window > 0 && hr == S_OK)
        WaitForWindow(frame);
    return hr;
}

void CBenchSourceStream::WaitForWindow(long frame)
{
    // A full window sleeps until half of it is back (one wake per half window).
    if (frame - m_Config.counters->received.load() < m_Config.window)
        return;
    const long receipts = frame - m_Config.window / 2;
    m_Config.counters->WaitForReceipts(receipts > frame - m_Config.window + 1 ? receipts : frame - m_Config.window + 1,
                                       kReceiptBoundMs);
}
