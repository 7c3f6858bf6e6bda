#include "buffer/CAudioBufferQueue.h"

#include "buffer/V77CommandRecord.h"
#include "framework/CAutoLock.h"

CAudioBufferQueue::CAudioBufferQueue(IBufferQueueOwner* owner, DWORD parameter)
    : CFullBufferQueue(owner, static_cast<LONG>(parameter & 0xFFFF)), m_lSampleSize(static_cast<LONG>(parameter >> 16))
{
}

CAudioBufferQueue::~CAudioBufferQueue() = default;

LONG CAudioBufferQueue::GetBufferSize(LONG requested)
{
    return m_lSampleSize > 0 ? m_lSampleSize : requested;
}

HRESULT CAudioBufferQueue::SetRate(double rate)
{
    CancelClockWait();
    bool playing = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    {
        CAutoLock lock(&m_Lock);
        m_dRate = rate;
        playing = m_bPlaying && !m_bAborting;
        start = m_tStart;
        stop = m_tStop;
    }
    if (!IsNormalRate(rate))
        return S_OK;  // audio is silent at any other rate
    // Join the video where the master shows it now.
    REFERENCE_TIME master = 0;
    if (m_pOwner->GetMasterPosition(&master) == S_OK && master > 0)
        SetPositions(&master, &start, &stop);
    if (playing) {
        REFERENCE_TIME current = 0;
        {
            CAutoLock lock(&m_Lock);
            current = m_tCurrent;
            stop = m_tStop;
        }
        QueueRecord(V77CommandRecord::Segment(current, stop, rate, 0, true));
    }
    return S_OK;
}

HRESULT CAudioBufferQueue::SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    bool seek = false;
    bool flush = false;
    {
        CAutoLock lock(&m_Lock);
        m_tStart = start ? *start : 0;
        m_tStop = stop ? *stop : kMaxTime;
        if (current && (*current < m_tStart || *current > m_tStop))
            return E_INVALIDARG;
        seek = current && !m_bStopped && IsNormalRate(m_dRate);
        flush = m_bPlaying;
    }
    if (seek)
        Seek(*current, flush);
    return S_OK;
}

HRESULT CAudioBufferQueue::Step(LONG)
{
    return SetRate(0.0);
}

bool CAudioBufferQueue::WaitForTime(IMediaSample* sample, REFERENCE_TIME due, REFERENCE_TIME position,
                                    REFERENCE_TIME frameTime)
{
    if (position != frameTime || !sample) {
        if (due > 0)
            WaitForClock(due);
        return true;
    }
    if (due <= 0) {
        sample->SetTime(nullptr, nullptr);
        return false;
    }
    if (ClockTime() > due)
        return true;  // too late to be heard: dropped
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaStop) != S_OK)
        mediaStop = frameTime;
    const REFERENCE_TIME streamStart = m_pOwner->StreamStartTime();
    REFERENCE_TIME start = due - streamStart;
    REFERENCE_TIME end = mediaStop + (due - position) - streamStart;
    sample->SetTime(&start, &end);
    return false;
}

void CAudioBufferQueue::RequestNeighbours(HRESULT hr)
{
    if (FAILED(hr)) {
        CAutoLock lock(&m_Lock);
        Segment(1).MarkFailed(hr);
        m_SeekDone.Set();
        return;
    }
    if (!RequestSegment(Index(1), 0, kContinueAfter, 0))
        EndChain();
}
