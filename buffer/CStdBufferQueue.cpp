#include "buffer/CStdBufferQueue.h"

#include <algorithm>
#include <limits>
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

CStdBufferQueue::CStdBufferQueue(IBufferQueueOwner* owner)
    : CBufferQueue(owner),
      m_lPending(0),
      m_bAbort(false),
      m_bWaiting(false),
      m_tLastArrival(0),
      m_tArrivalGap(std::numeric_limits<LONGLONG>::max()),
      m_cArrivals(0)
{
}

CStdBufferQueue::~CStdBufferQueue() = default;

void CStdBufferQueue::Empty()
{
    m_Entries.clear();
    m_lPending = 0;
}

HRESULT CStdBufferQueue::SetSize(LONG count, LONG bufferSize)
{
    HRESULT hr = CBufferQueue::SetSize(count, bufferSize);
    CAutoLock lock(&m_Lock);
    Empty();
    m_bAbort = false;
    return hr;
}

void CStdBufferQueue::Abort()
{
    CAutoLock lock(&m_Lock);
    m_bAbort = true;
    m_DataEvent.Set();
}

void CStdBufferQueue::Flush()
{
    CAutoLock lock(&m_Lock);
    Empty();
    m_bAbort = false;
}

void CStdBufferQueue::Clear()
{
    CBufferQueue::Clear();
    CAutoLock lock(&m_Lock);
    Empty();
}

void CStdBufferQueue::StopPlayback()
{
    Abort();
}

void CStdBufferQueue::Deactivate()
{
}

void CStdBufferQueue::StartPlayback()
{
    CAutoLock lock(&m_Lock);
    if (m_bAbort) {
        Empty();
        m_bAbort = false;
    }
}

REFERENCE_TIME CStdBufferQueue::GetFirstTime()
{
    CAutoLock lock(&m_Lock);
    return m_Entries.empty() ? 0 : m_Entries.front().start;
}

REFERENCE_TIME CStdBufferQueue::GetLastTime()
{
    CAutoLock lock(&m_Lock);
    return m_Entries.empty() ? 0 : m_Entries.back().start;
}

LONG CStdBufferQueue::GetMinimumCount()
{
    return kMinimumCount;
}

HRESULT CStdBufferQueue::Add(IV77PoolItem* frame)
{
    if (!frame)
        return E_POINTER;
    Entry entry;
    REFERENCE_TIME stop = 0;
    entry.start = 0;
    // Frames without sample times keep 0: they still queue in arrival order.
    frame->GetTimes(&entry.start, &stop);
    HRESULT hr = frame->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(entry.sample.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    entry.item = frame;

    bool wake = false;
    Entry dropped;  // released after the lock: its sample may go back to the pool
    {
        CAutoLock lock(&m_Lock);
        m_Entries.push_back(std::move(entry));
        // The pool has capacity + 1 samples: the rest are upstream, in delivery and on screen.
        const size_t size = m_Entries.size();
        if (static_cast<LONGLONG>(size) >= static_cast<LONGLONG>(m_lCapacity) - 1 && size != 0) {
            dropped = std::move(m_Entries.front());
            m_Entries.pop_front();
        }
        m_lPending = std::min<LONG>(m_lPending + 1, static_cast<LONG>(m_Entries.size()));
        wake = m_bWaiting;
        m_bWaiting = false;
        const LONGLONG now = Ticks();
        m_tArrivalGap = now - m_tLastArrival;
        m_tLastArrival = now;
        ++m_cArrivals;
    }
    // Only a waiting delivery thread needs waking: a busy one finds pending > 0.
    if (wake)
        m_DataEvent.Set();
    return S_OK;
}

HRESULT CStdBufferQueue::GetNext(IV77PoolItem** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    bool spun = false;
    for (;;) {
        LONG arrivals = 0;
        bool spin = false;
        {
            CAutoLock lock(&m_Lock);
            if (m_bAbort)
                return E_FAIL;
            if (m_lPending > 0) {
                Entry& entry = m_Entries[m_Entries.size() - m_lPending];
                --m_lPending;
                *out = entry.item.Get();
                (*out)->AddRef();
                return S_OK;
            }
            arrivals = m_cArrivals.load();
            spin = !spun && m_tArrivalGap <= SpinTicks();
            m_bWaiting = !spin;
        }
        if (spin) {
            spun = true;
            SpinForArrival(arrivals);
            continue;
        }
        spun = false;
        // Released by Add or Abort (BeginFlush, Stop). A signal left from an
        // earlier Abort only costs one more look at the queue.
        m_DataEvent.Wait(INFINITE);
    }
}

LONGLONG CStdBufferQueue::Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG CStdBufferQueue::SpinTicks()
{
    static const LONGLONG ticks = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart * kSpinMicroseconds / 1000000;
    }();
    return ticks;
}

void CStdBufferQueue::SpinForArrival(LONG arrivals)
{
    const LONGLONG until = Ticks() + SpinTicks();
    while (m_cArrivals.load() == arrivals && Ticks() < until)
        YieldProcessor();
}

size_t CStdBufferQueue::FindNotAfter(REFERENCE_TIME time) const
{
    // Entries are in arrival order and their times need not rise (a source
    // restarting its clock, a reposition): the newest entry not after time.
    for (size_t i = m_Entries.size(); i-- > 0;) {
        if (m_Entries[i].start <= time)
            return i;
    }
    return 0;
}

bool CStdBufferQueue::GetSampleAt(const REFERENCE_TIME* time, LONG offset, IMediaSample** out)
{
    if (!time || !out)
        return false;
    *out = nullptr;
    CAutoLock lock(&m_Lock);
    if (m_Entries.empty())
        return false;
    const LONGLONG last = static_cast<LONGLONG>(m_Entries.size()) - 1;
    const LONGLONG index = std::clamp<LONGLONG>(static_cast<LONGLONG>(FindNotAfter(*time)) + offset, 0, last);
    *out = m_Entries[static_cast<size_t>(index)].sample.Get();
    (*out)->AddRef();
    return true;
}

HRESULT CStdBufferQueue::OnRequestDone(HRESULT, LONG, DWORD, REFERENCE_TIME)
{
    return S_OK;
}

size_t CStdBufferQueue::GetSize()
{
    CAutoLock lock(&m_Lock);
    return m_Entries.size();
}

LONG CStdBufferQueue::GetPending()
{
    CAutoLock lock(&m_Lock);
    return m_lPending;
}
