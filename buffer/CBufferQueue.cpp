#include "buffer/CBufferQueue.h"

#include <vfwmsgs.h>
#include <wrl/client.h>
#include "buffer/V77CommandRecord.h"
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CBufferQueue::CBufferQueue(IBufferQueueOwner* owner)
    : m_pOwner(owner),
      m_lCapacity(0),
      m_llReserved(0),
      m_ClockEvent(FALSE, FALSE),
      m_Release(TRUE, FALSE),
      m_dwAdviseCookie(0),
      m_bClockWait(false),
      m_bClockCancelled(false),
      m_ulCancelCount(0),
      m_ulDecisionCount(0),
      m_pInputAllocator(nullptr),
      m_pOutputAllocator(nullptr)
{
}

CBufferQueue::~CBufferQueue() = default;

HRESULT CBufferQueue::SetSize(LONG count, LONG bufferSize)
{
    if (count < 0 || bufferSize < 0)
        return E_INVALIDARG;
    CAutoLock lock(&m_Lock);
    m_lCapacity = count;
    m_llReserved += static_cast<LONGLONG>(count) * bufferSize;
    return S_OK;
}

void CBufferQueue::Clear()
{
    CAutoLock lock(&m_Lock);
    m_lCapacity = 0;
    m_llReserved = 0;
}

LONG CBufferQueue::GetBufferSize(LONG requested)
{
    return requested;
}

HRESULT CBufferQueue::WaitReady(DWORD)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::SetRate(double)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::SetPositions(REFERENCE_TIME*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::Step(LONG)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::GetRequest(REFERENCE_TIME*, DWORD*, WORD*)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::GetPlayState(void*, REFERENCE_TIME*, REFERENCE_TIME*, double*)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::GetPosition(REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

bool CBufferQueue::CanSeek()
{
    return true;
}

HRESULT CBufferQueue::GetCurrentTime(REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

HRESULT CBufferQueue::GetCommandSample(IV77PoolItem** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    IMemAllocator* allocator = nullptr;
    {
        CAutoLock lock(&m_Lock);
        allocator = m_pInputAllocator;
    }
    if (!allocator)
        return VFW_E_NOT_COMMITTED;
    ComPtr<IMediaSample> sample;
    HRESULT hr = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr) || !sample)
        return FAILED(hr) ? hr : VFW_E_TIMEOUT;  // the pool gave nothing
    return sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(item));
}

bool CBufferQueue::AddEndOfStream()
{
    AddCommand(V77CommandRecord::EndOfStream());
    return false;
}

HRESULT CBufferQueue::AddSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return AddCommand(V77CommandRecord::Segment(start, stop, rate, 0, true));
}

HRESULT CBufferQueue::AddCommand(const V77_COMMAND_RECORD& record)
{
    ComPtr<IV77PoolItem> item;
    HRESULT hr = GetCommandSample(&item);
    if (FAILED(hr))
        return hr;
    hr = V77CommandRecord::Write(item.Get(), record);
    if (FAILED(hr))
        return hr;
    return Add(item.Get());
}

void CBufferQueue::SetAllocators(IMemAllocator* input, IMemAllocator* output)
{
    CAutoLock lock(&m_Lock);
    m_pInputAllocator = input;
    m_pOutputAllocator = output;
}

LONG CBufferQueue::GetCapacity()
{
    CAutoLock lock(&m_Lock);
    return m_lCapacity;
}

LONGLONG CBufferQueue::GetReservedBytes()
{
    CAutoLock lock(&m_Lock);
    return m_llReserved;
}

REFERENCE_TIME CBufferQueue::ClockTime()
{
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME now = 0;
    if (m_pOwner->GetReferenceClock(&clock) == S_OK && clock)
        clock->GetTime(&now);
    return now;
}

void CBufferQueue::BeginClockDecision()
{
    CAutoLock lock(&m_Lock);
    m_ulDecisionCount = m_ulCancelCount;
}

void CBufferQueue::CancelClockWait()
{
    CAutoLock lock(&m_Lock);
    ++m_ulCancelCount;
    if (!m_bClockWait)
        return;
    m_bClockCancelled = true;
    if (m_dwAdviseCookie) {
        ComPtr<IReferenceClock> clock;
        if (m_pOwner->GetReferenceClock(&clock) == S_OK && clock)
            clock->Unadvise(m_dwAdviseCookie);
        m_dwAdviseCookie = 0;
    }
    m_ClockEvent.Set();
}

bool CBufferQueue::WaitForClock(REFERENCE_TIME time)
{
    ComPtr<IReferenceClock> clock;
    if (m_pOwner->GetReferenceClock(&clock) != S_OK || !clock)
        return false;
    {
        CAutoLock lock(&m_Lock);
        // Cancelled after the due time was decided: it is stale.
        if (m_bClockWait || m_ulDecisionCount != m_ulCancelCount)
            return false;
        m_bClockWait = true;
        m_bClockCancelled = false;
        m_ClockEvent.Reset();
    }
    DWORD_PTR cookie = 0;
    HRESULT hr = clock->AdviseTime(0, time, reinterpret_cast<HEVENT>(m_ClockEvent.Handle()), &cookie);
    bool wait = false;
    {
        CAutoLock lock(&m_Lock);
        if (SUCCEEDED(hr)) {
            if (m_bClockCancelled)
                clock->Unadvise(cookie);
            else
                m_dwAdviseCookie = cookie;
            wait = !m_bClockCancelled;
        }
    }
    // Released by the clock, or by CancelClockWait (rate change, seek, abort, deactivation).
    if (wait)
        m_ClockEvent.Wait(INFINITE);
    CAutoLock lock(&m_Lock);
    const bool completed = wait && !m_bClockCancelled;
    m_bClockWait = false;
    m_dwAdviseCookie = 0;
    return completed;
}
