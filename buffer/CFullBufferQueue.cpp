#include "buffer/CFullBufferQueue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include "buffer/V77CommandRecord.h"
#include "display/CDisplayNotification.h"
#include "framework/CAutoLock.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kNotHeld = CSegmentRing::kNotHeld;

}  // namespace

CFullBufferQueue::CFullBufferQueue(IBufferQueueOwner* owner, LONG segmentLength)
    : CBufferQueue(owner),
      m_lSegmentLength(segmentLength > 0 ? segmentLength : 1),
      m_RequestTaken(TRUE, TRUE),
      m_RequestAvailable(FALSE, FALSE),
      m_DataReady(TRUE, FALSE),
      m_SeekDone(TRUE, FALSE),
      m_Shutdown(TRUE, FALSE),
      m_bAborting(false),
      m_bStopped(true),
      m_bPlaying(false),
      m_dRate(0),
      m_tReference(0),
      m_tPosition(0),
      m_tPlay(0),
      m_tCurrent(CDisplayNotification::WallClockNow()),
      m_tStart(0),
      m_tStop(kMaxTime),
      m_nReceiving(-1),
      m_bWaitingForFrames(false),
      m_bStepWaiting(false),
      m_SegmentChanged(TRUE, FALSE),
      m_ulStepWaits(0),
      m_dwWakes(0)
{
}

CFullBufferQueue::~CFullBufferQueue() = default;

// ---- sizing and state ----

HRESULT CFullBufferQueue::SetSize(LONG count, LONG bufferSize)
{
    if (count < 0)
        return E_INVALIDARG;
    HRESULT hr = CBufferQueue::SetSize(count - count % 3, bufferSize);
    CAutoLock lock(&m_Lock);
    m_Ring.EmptyAll();
    return hr;
}

LONG CFullBufferQueue::GetMinimumCount()
{
    return 3 * m_lSegmentLength;
}

bool CFullBufferQueue::IsHalted()
{
    CAutoLock lock(&m_Lock);
    return m_bAborting || m_bStopped || m_Shutdown.Check();
}

void CFullBufferQueue::SetPositionValid(bool valid)
{
    HANDLE event = m_pOwner->PositionValidEvent();
    if (event)
        valid ? SetEvent(event) : ResetEvent(event);
}

void CFullBufferQueue::Abort()
{
    {
        CAutoLock lock(&m_Lock);
        m_bAborting = true;
        m_Release.Set();
        m_Pending = Request();
        m_RequestTaken.Set();
        m_DataReady.Reset();
        m_SeekDone.Reset();
        for (int i = 0; i < 3; ++i)
            m_Ring.At(i).MarkAborted(i != m_InProgress.segment);
    }
    CancelClockWait();
}

void CFullBufferQueue::StopPlayback()
{
    {
        CAutoLock lock(&m_Lock);
        m_bStopped = true;
        m_bPlaying = false;
        // The stretch in progress is given up: its frames and its RequestDone,
        // which the source sends before its own Stop returns, find no request.
        m_InProgress = Request();
        m_nReceiving = -1;
    }
    // A slave waiting for our position must not wait through the stop.
    SetPositionValid(true);
    Abort();
}

void CFullBufferQueue::Deactivate()
{
    m_Release.Set();
    m_Shutdown.Set();
    m_DataReady.Set();
    m_SeekDone.Set();
    CancelClockWait();
}

void CFullBufferQueue::StartPlayback()
{
    CAutoLock lock(&m_Lock);
    // Pause from Running leaves a seek in flight alone: only a Stop ended one.
    const bool afterStop = m_bStopped;
    m_bStopped = false;
    m_dRate = 0;
    m_tPlay = 0;
    m_tPosition = 0;
    m_tReference = 0;
    if (afterStop && m_bAborting) {
        // Nothing to wait for: Stop gave up the request in progress, so a
        // late report of it changes nothing.
        m_Ring.EmptyAll();
        m_InProgress = Request();
        m_nReceiving = -1;
        m_bAborting = false;
    }
    m_Shutdown.Reset();
    m_Release.Reset();
    SignalRequestState();
}

void CFullBufferQueue::Clear()
{
    CBufferQueue::Clear();
    CAutoLock lock(&m_Lock);
    m_Ring.EmptyAll();
    m_Commands.clear();
    m_Pending = Request();
    m_RequestTaken.Set();
    m_InProgress = Request();
    m_nReceiving = -1;
}

void CFullBufferQueue::Flush()
{
    CAutoLock lock(&m_Lock);
    // Each segment's own lock keeps an Add from landing half-way.
    m_Ring.EmptyAll();
    m_bAborting = false;
    if (m_bStopped)
        return;
    m_Release.Reset();
    // The frames after the flush fill the current segment, as for a seek to
    // the current position; the source reports their end with RequestDone
    // (also after a seek of its own), which then goes on as after a seek.
    Request request = m_InProgress;
    if (request.segment < 0) {
        request.position = m_tCurrent;
        request.stop = m_tStop;
    }
    request.type = kSeek;
    request.segment = Index(0);
    request.flags = kSeekNeighbours | kFlush;
    Segment(0).BeginRequest(request.position);
    m_nReceiving = request.segment;
    m_InProgress = request;
}

// ---- adding frames ----

HRESULT CFullBufferQueue::Add(IV77PoolItem* frame)
{
    if (!frame)
        return E_POINTER;
    if (V77CommandRecord::IsCommand(frame)) {
        CAutoLock lock(&m_Lock);
        if (!m_bAborting) {
            m_Commands.emplace_back(frame);
            SignalData();
        }
        return S_OK;
    }
    CBufferSegment::Frame entry;
    entry.item = frame;
    HRESULT hr = frame->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(entry.sample.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    LONGLONG stop = 0;
    if (entry.sample->GetMediaTime(&entry.time, &stop) != S_OK)
        return S_OK;  // a recorded frame without a position cannot be placed: dropped
    CAutoLock lock(&m_Lock);
    if (m_bAborting || m_nReceiving < 0)
        return S_OK;
    const int receiving = m_nReceiving;
    bool added = false;
    if (m_Ring.At(receiving).AddFrame(std::move(entry), &added))
        m_nReceiving = -1;
    if (added && receiving == Index(0))
        WakeFrameWaiter();
    return S_OK;
}

void CFullBufferQueue::SignalData()
{
    ++m_dwWakes;
    m_DataReady.Set();
}

void CFullBufferQueue::WakeFrameWaiter()
{
    // Counted even with nobody waiting: GetNext may have read the segment
    // just before this frame and must not go to sleep on that reading.
    // The events are set only for a waiter: a frame arriving costs no event.
    ++m_dwWakes;
    if (m_bWaitingForFrames) {
        m_bWaitingForFrames = false;
        m_DataReady.Set();
    }
    if (m_bStepWaiting) {
        m_bStepWaiting = false;
        m_SegmentChanged.Set();
    }
}

bool CFullBufferQueue::AddEndOfStream()
{
    return true;
}

HRESULT CFullBufferQueue::AddSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT CFullBufferQueue::QueueRecord(const V77_COMMAND_RECORD& record)
{
    ComPtr<IV77PoolItem> item;
    HRESULT hr = V77CommandRecord::CreateItem(record, &item);
    if (FAILED(hr))
        return hr;
    CAutoLock lock(&m_Lock);
    m_Commands.push_back(item);
    SignalData();
    return S_OK;
}

// ---- rotation and seeking ----

// One request at a time: a current segment found idle (right after a seek,
// or its request gave way to another) is asked for first, and its report asks
// for the one after it.
void CFullBufferQueue::RotateForward()
{
    CAutoLock lock(&m_Lock);
    m_Ring.Advance(1);
    WakeFrameWaiter();  // a step waiting on the old current segment looks at the new one
    CBufferSegment& current = Segment(0);
    current.SetCursor(0);  // its first frame, or the first to arrive
    if (current.GetState() == CBufferSegment::Idle) {
        RequestSegment(Index(0), 0, kContinueAfter, kThenFollowing);
        return;
    }
    if (current.GetState() == CBufferSegment::Complete &&
        (FAILED(current.Result()) || current.Continuation() <= 0))
        Segment(1).MarkFailed(current.Result());
    else
        RequestSegment(Index(1), 0, kContinueAfter, 0);
}

void CFullBufferQueue::RotateBackward()
{
    CAutoLock lock(&m_Lock);
    m_Ring.Advance(-1);
    WakeFrameWaiter();
    CBufferSegment& current = Segment(0);
    const bool complete = current.GetState() == CBufferSegment::Complete;
    // Its last frame; a segment still filling places the cursor when complete.
    current.SetCursor(complete && !current.IsEmpty() ? current.Count() - 1 : CBufferSegment::kUnplaced);
    if (current.GetState() == CBufferSegment::Idle) {
        RequestSegment(Index(0), 0, kContinueBefore, kThenFollowing);
        return;
    }
    if (current.IsFailed() || (complete && current.IsEmpty()))
        Segment(-1).MarkFailed(current.Result());
    else
        RequestSegment(Index(-1), 0, kContinueBefore, 0);
}

HRESULT CFullBufferQueue::Seek(REFERENCE_TIME position, bool flush)
{
    bool held = false;
    ComPtr<IV77PoolItem> record = SeekRecord(position, flush);
    {
        CAutoLock lock(&m_Lock);
        if (std::fabs(m_dRate) >= 0.01)
            SetPositionValid(false);
        m_bPlaying = true;
        const int found = m_Ring.Locate(position);
        if (found != kNotHeld) {
            // Rotation, cursor, wake and the seek's completion in one step:
            // a delivery thread deciding on what it read before must not
            // rotate or move the cursor in between, nor pass the frame sought
            // as behind the old play position before it takes the record
            // (either way the frame sought was never shown).
            if (flush && !record)
                return E_OUTOFMEMORY;
            if (found != 0)
                Rotate(found);
            Segment(0).PlaceCursor(position);
            WakeFrameWaiter();
            CompleteSeekLocked(position, record.Get());
            held = true;
        }
    }
    if (held) {
        CancelClockWait();
        return S_OK;
    }
    // A flushing seek takes the place of a request still waiting (the flush
    // makes it stale); any other waits its turn behind it.
    if (!RequestSegment(Index(0), position, kSeek, flush ? kSeekNeighbours | kFlush : kSeekNeighbours, !flush))
        return E_FAIL;
    // Released when the neighbours are filled, or by Deactivate.
    HANDLE handles[2] = {m_SeekDone.Handle(), m_Shutdown.Handle()};
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 ? S_OK : E_FAIL;
}

ComPtr<IV77PoolItem> CFullBufferQueue::SeekRecord(REFERENCE_TIME position, bool flush)
{
    // After the flush the delivery thread restarts its play state at the
    // position, rate unchanged.
    ComPtr<IV77PoolItem> item;
    if (flush && FAILED(V77CommandRecord::CreateItem(
                     V77CommandRecord::Segment(position, GetStopPosition(), 0, position, false), &item)))
        item.Reset();
    return item;
}

void CFullBufferQueue::CompleteSeek(REFERENCE_TIME position, bool flush)
{
    ComPtr<IV77PoolItem> record = SeekRecord(position, flush);
    if (flush && !record)
        return;
    {
        CAutoLock lock(&m_Lock);
        CompleteSeekLocked(position, record.Get());
    }
    CancelClockWait();
}

void CFullBufferQueue::CompleteSeekLocked(REFERENCE_TIME position, IV77PoolItem* record)
{
    // The position is the current one from now on: the group's slaves,
    // seeking after us, join it (JoinMaster) even before our delivery
    // thread takes the record.
    m_tCurrent = position;
    // Slaves must not pace against the old play state until ours restarts here.
    m_tPosition = 0;
    if (record)
        m_Commands.emplace_back(record);
    else
        m_tPlay = 0;
    SignalData();
}

// ---- host controls ----

double CFullBufferQueue::ClampRate(double rate)
{
    if (std::fabs(rate) >= 0.01)
        return rate;
    if (std::fabs(rate) < 0.001)
        return 0;
    return rate < 0 ? -0.001 : 0.001;
}

HRESULT CFullBufferQueue::SetRate(double rate)
{
    return ChangeRate(rate, true);
}

HRESULT CFullBufferQueue::ChangeRate(double rate, bool wake)
{
    rate = ClampRate(rate);
    bool record = false;
    REFERENCE_TIME current = 0;
    REFERENCE_TIME stop = 0;
    {
        CAutoLock lock(&m_Lock);
        record = std::fabs(rate) >= 0.01 && m_bPlaying && !m_bAborting;
        if (!record) {
            m_dRate = rate;
            if (wake)
                SignalData();  // let the delivery thread look at the new rate
        }
        current = m_tCurrent;
        stop = m_tStop;
    }
    // Second position 0: the frame after the record sets the play position anew.
    if (record)
        QueueRecord(V77CommandRecord::Segment(current, stop, rate, 0, true));
    SetPositionValid(false);
    CancelClockWait();
    return S_OK;
}

HRESULT CFullBufferQueue::SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    bool seek = false;
    bool flush = false;
    {
        CAutoLock lock(&m_Lock);
        m_tStart = start ? *start : 0;
        m_tStop = stop ? *stop : kMaxTime;
        if (current && (*current < m_tStart || *current > m_tStop))
            return E_INVALIDARG;
        seek = current && !m_bStopped;
        flush = m_bPlaying;
    }
    if (seek)
        Seek(*current, flush);
    return S_OK;
}

bool CFullBufferQueue::WaitForFrames()
{
    // StepOnce raised m_bStepWaiting and reset the event under the lock.
    // A flush or Stop end the wait too (the next look fails while aborting
    // or stopped), and so does shutdown (the step fails).
    HANDLE handles[3] = {m_SegmentChanged.Handle(), m_Release.Handle(), m_Shutdown.Handle()};
    const DWORD result = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
    CAutoLock lock(&m_Lock);
    ++m_ulStepWaits;
    return result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1;
}

CFullBufferQueue::StepOutcome CFullBufferQueue::StepOnce(int direction, bool* landing, REFERENCE_TIME* time)
{
    CAutoLock lock(&m_Lock);
    const StepOutcome outcome = StepOnceLocked(direction, landing, time);
    if (outcome == StepOutcome::Wait) {
        m_bStepWaiting = true;
        m_SegmentChanged.Reset();
    }
    return outcome;
}

CFullBufferQueue::StepOutcome CFullBufferQueue::StepOnceLocked(int direction, bool* landing, REFERENCE_TIME* time)
{
    if (m_bAborting || m_bStopped)
        return StepOutcome::Failed;
    CBufferSegment& segment = Segment(0);
    if (*landing) {
        // A rotation counts as one frame: the first (or last) frame of the new segment.
        if (segment.CursorOnFrame()) {
            *landing = false;
            *time = segment.Current().time;
            return StepOutcome::Moved;
        }
        return segment.IsFinished() ? StepOutcome::Failed : StepOutcome::Wait;
    }
    if (!segment.CursorOnFrame())
        return segment.IsFinished() ? StepOutcome::Failed : StepOutcome::Wait;
    const LONG next = segment.Cursor() + direction;
    if (next >= 0 && next < segment.Count()) {
        segment.SetCursor(next);
        *time = segment.Current().time;
        return StepOutcome::Moved;
    }
    if (direction > 0 && !segment.IsFinished())
        return StepOutcome::Wait;
    // An idle neighbour is only not asked for yet: the rotation asks for it.
    const CBufferSegment& neighbour = Segment(direction);
    if (neighbour.IsFailed() || (neighbour.GetState() == CBufferSegment::Complete && neighbour.IsEmpty()))
        return StepOutcome::Failed;
    Rotate(direction);
    *landing = true;
    return StepOutcome::Rotated;
}

HRESULT CFullBufferQueue::Step(LONG frames)
{
    WaitReady(INFINITE);
    // The delivery thread wakes once the cursor has moved, not before.
    ChangeRate(frames > 0 ? 0.001 : frames < 0 ? -0.001 : 0, false);
    const int direction = frames < 0 ? -1 : 1;
    LONG remaining = frames < 0 ? -frames : frames;
    bool landing = false;
    HRESULT hr = S_OK;
    while (remaining > 0) {
        REFERENCE_TIME time = 0;
        const StepOutcome outcome = StepOnce(direction, &landing, &time);
        if (outcome == StepOutcome::Failed) {
            hr = E_FAIL;
            break;
        }
        if (outcome == StepOutcome::Wait) {
            if (!WaitForFrames()) {
                hr = E_FAIL;
                break;
            }
            continue;
        }
        if (outcome != StepOutcome::Moved)
            continue;
        --remaining;
        if (time < GetStartPosition() || time > GetStopPosition()) {
            m_pOwner->RaiseQueueEvent(EC_V77_STOP_POSITION, 0, 0);
            break;
        }
    }
    {
        CAutoLock lock(&m_Lock);
        SignalData();
    }
    return hr;
}

HRESULT CFullBufferQueue::GetPlayState(void* caller, REFERENCE_TIME* reference, REFERENCE_TIME* position,
                                       double* rate)
{
    if (!reference || !position || !rate)
        return E_POINTER;
    HANDLE event = m_pOwner->PositionValidEvent();
    if (event && !m_pOwner->DisplaysVideo() && caller != m_pOwner->Identity() &&
        WaitForSingleObject(event, 0) == WAIT_TIMEOUT) {
        // Without a time-out: our Stop (which sets the event) or Inactive, or
        // the caller's own BeginFlush, Stop or Inactive end the wait; the
        // caller then finds nothing to play and goes to its own checks.
        HANDLE handles[3] = {event, m_Shutdown.Handle(), m_pOwner->CallerRelease(caller)};
        if (WaitForMultipleObjects(handles[2] ? 3 : 2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
            *reference = 0;
            *position = 0;
            *rate = 0;
            return S_FALSE;
        }
    }
    CAutoLock lock(&m_Lock);
    *reference = m_tReference;
    *position = m_tPosition;
    *rate = m_dRate;
    return m_tPosition == 0 ? S_FALSE : m_tPosition < 0 ? E_FAIL : S_OK;
}

HRESULT CFullBufferQueue::GetPosition(REFERENCE_TIME* position)
{
    if (!position)
        return E_POINTER;
    CAutoLock lock(&m_Lock);
    *position = m_tCurrent;
    return S_OK;
}

HRESULT CFullBufferQueue::GetCurrentTime(REFERENCE_TIME* time)
{
    if (!time)
        return E_POINTER;
    CAutoLock lock(&m_Lock);
    const CBufferSegment::Frame frame = Segment(0).Current();
    if (!frame)
        return E_FAIL;
    *time = frame.time;
    return S_OK;
}

REFERENCE_TIME CFullBufferQueue::GetStartPosition()
{
    CAutoLock lock(&m_Lock);
    return m_tStart;
}

REFERENCE_TIME CFullBufferQueue::GetStopPosition()
{
    CAutoLock lock(&m_Lock);
    return m_tStop;
}

double CFullBufferQueue::GetRate()
{
    CAutoLock lock(&m_Lock);
    return m_dRate;
}

// ---- what the buffer holds ----

REFERENCE_TIME CFullBufferQueue::GetFirstTime()
{
    CAutoLock lock(&m_Lock);
    return m_Ring.FirstTime();
}

REFERENCE_TIME CFullBufferQueue::GetLastTime()
{
    CAutoLock lock(&m_Lock);
    return m_Ring.LastTime();
}

bool CFullBufferQueue::GetSampleAt(const REFERENCE_TIME* time, LONG offset, IMediaSample** out)
{
    if (!time || !out)
        return false;
    CAutoLock lock(&m_Lock);
    return m_Ring.GetSampleAt(*time, offset, out);
}
