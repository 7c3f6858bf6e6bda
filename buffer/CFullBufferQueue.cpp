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

constexpr DWORD kMasterRetryMs = 10;     // the master has no play position (or rate) yet
constexpr DWORD kFrameWaitSliceMs = 10;  // Step re-checks its segment this often
// A master that does not show video answers "no position yet" after this long,
// so that a slave's delivery thread returns to its own stop checks.
constexpr DWORD kPositionValidSliceMs = 50;
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
      m_RequestRelease(TRUE, FALSE),
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
      m_lNextRequestId(1),
      m_bWaitingForFrames(false),
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
        m_RequestRelease.Set();
        m_Pending.clear();
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
    m_RequestRelease.Set();
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
    m_RequestRelease.Reset();
    SignalRequestState();
}

void CFullBufferQueue::Clear()
{
    CBufferQueue::Clear();
    CAutoLock lock(&m_Lock);
    m_Ring.EmptyAll();
    m_Commands.clear();
    m_Pending.clear();
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
    m_RequestRelease.Reset();
    // The frames after the flush fill the current segment, as for a seek to
    // the current position; the source reports their end with RequestDone
    // (also after a seek of its own), which then goes on as after a seek.
    Request request = m_InProgress;
    if (request.segment < 0) {
        request.position = m_tCurrent;
        request.stop = m_tStop;
        request.id = m_lNextRequestId++;
    }
    request.type = kSeek;
    request.segment = Index(0);
    request.flags = kSeekNeighbours | kFlush;
    Segment(0).BeginRequest(request.position, request.id);
    m_nReceiving = request.segment;
    m_InProgress = request;
}

// ---- requests ----

void CFullBufferQueue::SignalRequestState()
{
    if (m_Pending.empty()) {
        m_RequestTaken.Set();
        m_RequestAvailable.Reset();
    } else if (m_InProgress.segment < 0) {
        m_RequestAvailable.Set();
    }
}

bool CFullBufferQueue::RequestSegment(int index, REFERENCE_TIME position, DWORD type, DWORD flags)
{
    CAutoLock lock(&m_Lock);
    if (m_bAborting)
        return false;
    // A newer request for the same segment replaces one still waiting; frames
    // still arriving for a superseded request in progress are dropped.
    m_Pending.erase(std::remove_if(m_Pending.begin(), m_Pending.end(),
                                   [index](const Request& r) { return r.segment == index; }),
                    m_Pending.end());
    if (m_nReceiving == index)
        m_nReceiving = -1;
    Request request;
    request.position = position;
    request.stop = m_tStop;
    request.type = type;
    request.segment = index;
    request.flags = flags;
    request.id = m_lNextRequestId++;
    m_Ring.At(index).BeginRequest(position, request.id);
    m_Pending.push_back(request);
    m_RequestTaken.Reset();
    if (flags & kFlush)
        m_bAborting = true;  // frames in flight are stale until the source's flush arrives
    if (m_InProgress.segment < 0)
        m_RequestAvailable.Set();
    return true;
}

bool CFullBufferQueue::ResolveRequest(Request* request)
{
    CBufferSegment& target = m_Ring.At(request->segment);
    if (request->type == kContinueAfter) {
        const CBufferSegment& before = m_Ring.At((request->segment + 2) % 3);
        if (before.CannotContinue() || FAILED(before.Result()) || before.Continuation() <= 0) {
            target.MarkFailed(before.CannotContinue() ? E_NOTIMPL : before.Result());
            return false;
        }
        request->position = before.Continuation();
        request->flags |= kForward;
    } else if (request->type == kContinueBefore) {
        const CBufferSegment& after = m_Ring.At((request->segment + 1) % 3);
        if (after.CannotContinue() || FAILED(after.Result()) || after.IsEmpty()) {
            target.MarkFailed(after.CannotContinue() ? E_NOTIMPL : after.Result());
            return false;
        }
        // The source names the stretch by the continuation it reported for
        // the segment after, and reads the one before that segment.
        request->position = after.Continuation();
        request->flags |= kBackward;
        request->stop = kMaxTime;
        // Entered from above: its cursor starts on its last frame (the
        // continuation named is the end of the segment after, 0 at the end
        // of the recording, and would put it on the first).
        target.SetRequestPosition(kMaxTime);
        return true;
    }
    target.SetRequestPosition(request->position);
    return true;
}

void CFullBufferQueue::BeginProgress(const Request& request)
{
    // A stretch whose end never came is complete with what it got: from now
    // on arriving frames belong to the new request.
    if (m_nReceiving >= 0 && m_nReceiving != request.segment) {
        m_Ring.At(m_nReceiving).Finish();
        WakeFrameWaiter();
    }
    m_InProgress = request;
    m_nReceiving = request.segment;
}

HRESULT CFullBufferQueue::GetRequest(REFERENCE_TIME* position, DWORD* type, WORD* flush)
{
    if (!position || !type || !flush)
        return E_POINTER;
    // Whatever the answer, the caller never reads what it left there.
    *position = 0;
    *type = 0;
    *flush = 0;
    {
        CAutoLock lock(&m_Lock);
        if (m_bStopped) {
            m_RequestTaken.Set();
            return E_FAIL;
        }
    }
    // Released by a request, or with a failure by a flush, Stop or Inactive.
    HANDLE handles[3] = {m_Shutdown.Handle(), m_RequestRelease.Handle(), m_RequestAvailable.Handle()};
    if (WaitForMultipleObjects(3, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 2)
        return E_FAIL;
    CAutoLock lock(&m_Lock);
    if (m_bStopped) {
        m_RequestTaken.Set();
        return E_FAIL;
    }
    if (m_Pending.empty()) {
        m_RequestTaken.Set();
        return S_FALSE;
    }
    Request request = m_Pending.front();
    m_Pending.pop_front();
    if (!ResolveRequest(&request)) {
        // Nothing to read there: the segment is marked failed and the chain of
        // requests after a seek goes on as if it had been answered.
        WakeFrameWaiter();
        if (!m_bAborting)
            ContinueChain(request, S_OK);
        SignalRequestState();
        return S_FALSE;
    }
    BeginProgress(request);
    if (m_Pending.empty())
        m_RequestTaken.Set();
    *position = request.position;
    *type = (request.flags & kForward) ? 2 : (request.flags & kBackward) ? 3 : 0;
    *flush = (request.flags & kFlush) ? 0xFFFF : 0;
    return S_OK;
}

HRESULT CFullBufferQueue::OnRequestDone(HRESULT hr, LONG frameCount, DWORD, REFERENCE_TIME next)
{
    Request request;
    bool aborting = false;
    {
        CAutoLock lock(&m_Lock);
        request = m_InProgress;
        if (request.segment >= 0) {
            CBufferSegment& segment = m_Ring.At(request.segment);
            // A segment re-requested meanwhile belongs to its new request.
            if (segment.RequestId() == request.id && segment.EndRequest(hr, frameCount, next) &&
                m_nReceiving == request.segment)
                m_nReceiving = -1;
        }
        WakeFrameWaiter();
        aborting = m_bAborting;
    }
    if (request.segment >= 0 && !aborting) {
        if (request.type == kSeek)
            CompleteSeek(request.position, (request.flags & kFlush) != 0);
        ContinueChain(request, hr);
    }
    CAutoLock lock(&m_Lock);
    m_InProgress = Request();
    SignalRequestState();
    return S_OK;
}

void CFullBufferQueue::ContinueChain(const Request& request, HRESULT hr)
{
    if (request.flags & kSeekNeighbours)
        RequestNeighbours(hr);
    else if (request.flags & kPreviousThenNext)
        RequestSegment(Index(1), 0, kContinueAfter, 0);
    else
        m_SeekDone.Set();
}

void CFullBufferQueue::RequestNeighbours(HRESULT hr)
{
    if (FAILED(hr)) {
        CAutoLock lock(&m_Lock);
        Segment(-1).MarkFailed(hr);
        Segment(1).MarkFailed(hr);
        m_SeekDone.Set();
        return;
    }
    RequestSegment(Index(-1), 0, kContinueBefore, kPreviousThenNext);
}

HRESULT CFullBufferQueue::WaitReady(DWORD timeoutMs)
{
    const ULONGLONG start = GetTickCount64();
    HANDLE handles[2] = {m_RequestTaken.Handle(), m_Shutdown.Handle()};
    for (;;) {
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG spent = GetTickCount64() - start;
            wait = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
        }
        // The caller may own windows: keep its messages flowing while it waits.
        const DWORD result = MsgWaitForMultipleObjects(2, handles, FALSE, wait, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0)
            return S_OK;
        if (result == WAIT_OBJECT_0 + 1)
            return E_FAIL;
        if (result != WAIT_OBJECT_0 + 2)
            return RPC_S_CALLPENDING;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
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
    if (m_Ring.At(receiving).AddFrame(std::move(entry), &added)) {
        m_LastCompleted = m_InProgress;
        m_nReceiving = -1;
    }
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
    ++m_dwWakes;
    if (m_bWaitingForFrames) {
        m_bWaitingForFrames = false;
        m_DataReady.Set();
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

void CFullBufferQueue::RotateForward()
{
    CAutoLock lock(&m_Lock);
    m_Ring.Advance(1);
    CBufferSegment& current = Segment(0);
    current.SetCursor(0);  // its first frame, or the first to arrive
    if (current.GetState() == CBufferSegment::Idle)
        RequestSegment(Index(0), 0, kContinueAfter, 0);
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
    CBufferSegment& current = Segment(0);
    const bool complete = current.GetState() == CBufferSegment::Complete;
    // Its last frame; a segment still filling places the cursor when complete.
    current.SetCursor(complete && !current.IsEmpty() ? current.Count() - 1 : CBufferSegment::kUnplaced);
    if (current.GetState() == CBufferSegment::Idle)
        RequestSegment(Index(0), 0, kContinueBefore, 0);
    if (current.IsFailed() || (complete && current.IsEmpty()))
        Segment(-1).MarkFailed(current.Result());
    else
        RequestSegment(Index(-1), 0, kContinueBefore, 0);
}

HRESULT CFullBufferQueue::Seek(REFERENCE_TIME position, bool flush)
{
    int found = kNotHeld;
    {
        CAutoLock lock(&m_Lock);
        if (std::fabs(m_dRate) >= 0.01)
            SetPositionValid(false);
        m_bPlaying = true;
        found = m_Ring.Locate(position);
    }
    if (found == kNotHeld) {
        m_SeekDone.Reset();
        if (!RequestSegment(Index(0), position, kSeek, flush ? kSeekNeighbours | kFlush : kSeekNeighbours))
            return E_FAIL;
        // Released when the neighbours are filled, or by Deactivate.
        HANDLE handles[2] = {m_SeekDone.Handle(), m_Shutdown.Handle()};
        return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 ? S_OK : E_FAIL;
    }
    if (found != 0)
        Rotate(found);
    {
        CAutoLock lock(&m_Lock);
        Segment(0).PlaceCursor(position);
        // A delivery thread deciding on a frame it read before must read
        // again: its relative cursor moves would start from the new place.
        ++m_dwWakes;
    }
    CompleteSeek(position, flush);
    return S_OK;
}

void CFullBufferQueue::CompleteSeek(REFERENCE_TIME position, bool flush)
{
    if (flush) {
        // After the flush the delivery thread restarts its play state here,
        // rate unchanged. The position is the current one from now on: the
        // group's slaves, seeking after us, join it (JoinMaster) even before
        // our delivery thread takes the record.
        ComPtr<IV77PoolItem> item;
        if (SUCCEEDED(V77CommandRecord::CreateItem(
                V77CommandRecord::Segment(position, GetStopPosition(), 0, position, false), &item))) {
            CAutoLock lock(&m_Lock);
            m_tCurrent = position;
            m_Commands.push_back(item);
            SignalData();
        }
    } else {
        CAutoLock lock(&m_Lock);
        m_tCurrent = position;
        m_tPlay = 0;
        m_tPosition = 0;
        SignalData();
    }
    CancelClockWait();
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

void CFullBufferQueue::WaitForFrames()
{
    // Frames arriving one by one set no event of their own: the segment is
    // looked at again after a slice. Its completion, shutdown, a flush or
    // Stop end the slice at once (the step then ends or fails).
    HANDLE handles[3] = {m_Shutdown.Handle(), m_RequestRelease.Handle(), nullptr};
    {
        CAutoLock lock(&m_Lock);
        handles[2] = Segment(0).CompleteEvent();
    }
    WaitForMultipleObjects(3, handles, FALSE, kFrameWaitSliceMs);
}

CFullBufferQueue::StepOutcome CFullBufferQueue::StepOnce(int direction, bool* landing, REFERENCE_TIME* time)
{
    CAutoLock lock(&m_Lock);
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
            WaitForFrames();
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
    if (!m_pOwner->DisplaysVideo() && caller != m_pOwner->Identity()) {
        HANDLE event = m_pOwner->PositionValidEvent();
        HANDLE handles[2] = {event, m_Shutdown.Handle()};
        if (event && WaitForMultipleObjects(2, handles, FALSE, kPositionValidSliceMs) == WAIT_TIMEOUT) {
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

// ---- delivery ----

bool CFullBufferQueue::WaitForData()
{
    // Both data-ready and seek-done, unless the queue shuts down.
    HANDLE seek[2] = {m_Shutdown.Handle(), m_SeekDone.Handle()};
    HANDLE data[2] = {m_Shutdown.Handle(), m_DataReady.Handle()};
    for (;;) {
        if (WaitForMultipleObjects(2, seek, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return false;
        if (WaitForMultipleObjects(2, data, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return false;
        if (m_SeekDone.Check())
            return true;
    }
}

HRESULT CFullBufferQueue::TakeCommand(REFERENCE_TIME now, IV77PoolItem** out)
{
    ComPtr<IV77PoolItem> item = m_Commands.front();
    m_Commands.pop_front();
    V77_COMMAND_RECORD record = {};
    if (V77CommandRecord::Read(item.Get(), &record) == S_OK) {
        if (record.Type == V77_COMMAND_END_OF_STREAM) {
            if (m_Commands.empty())
                m_DataReady.Reset();
        } else if (record.Type == V77_COMMAND_SEGMENT_START) {
            if (record.RateValid == 1)
                m_dRate = record.Rate;
            m_tPlay = record.Second;
            if (record.Second > 0)
                m_tCurrent = record.Second;
            m_tPosition = record.Second;
            m_tReference = now;
            if (record.Second > 0)
                SetPositionValid(true);
        }
    }
    *out = item.Detach();
    return S_OK;
}

void CFullBufferQueue::SetPlayPosition(REFERENCE_TIME position)
{
    m_tPlay = position;
    if (position > 0)
        m_tCurrent = position;
}

void CFullBufferQueue::TrackPlayPosition(const CBufferSegment::Frame& frame, REFERENCE_TIME now)
{
    if (m_tPlay <= 0) {
        // Playback (re)starts: anchor the play state at this clock time.
        const REFERENCE_TIME start = m_tCurrent > 0 ? m_tCurrent : (frame ? frame.time : 0);
        if (start > 0) {
            SetPlayPosition(start);
            m_tReference = now;
            m_tPosition = start;
            SetPositionValid(true);
        }
    }
    const REFERENCE_TIME step = m_pOwner->TimeStep();
    if (frame && (step == 0 || std::llabs(frame.time - m_tPlay) <= 2 * step))
        SetPlayPosition(frame.time);
}

bool CFullBufferQueue::MasterBehind(const MasterState& master)
{
    // A group's rate change reaches each member as a record that its own
    // delivery thread takes: a slave may take its own before the master has.
    // Pacing against the master's old rate 0 would park the slave on
    // data-ready, which nothing sets again once the master plays.
    CAutoLock lock(&m_Lock);
    return !m_pOwner->IsOwnMaster() && std::fabs(m_dRate) >= 0.01 && std::fabs(master.rate) < 0.01;
}

void CFullBufferQueue::WaitForMaster()
{
    // A master has no event a slave can wait on through its interface: its
    // state is asked again shortly. Shutdown, a flush or Stop end the pause
    // at once (GetNext then fails).
    HANDLE handles[2] = {m_Shutdown.Handle(), m_RequestRelease.Handle()};
    WaitForMultipleObjects(2, handles, FALSE, kMasterRetryMs);
}

void CFullBufferQueue::JoinMaster(double rate)
{
    // A slave restarts on its own (it takes the group's seek or rate record
    // on its own thread) and may fall behind its master under load; frames
    // already due are then shown one by one, late, and a slave that cannot
    // show them faster than they fall due never catches up. More than a frame
    // behind the master's position, it moves there: the frames in between
    // are passed over without being shown.
    const REFERENCE_TIME step = m_pOwner->TimeStep();
    REFERENCE_TIME master = 0;
    if (step <= 0 || std::fabs(rate) < 0.01 || m_pOwner->GetMasterPosition(&master) != S_OK || master <= 0)
        return;
    CAutoLock lock(&m_Lock);
    if (m_tPlay <= 0)
        return;
    const REFERENCE_TIME behind = rate > 0 ? master - m_tPlay : m_tPlay - master;
    if (behind >= step)
        SetPlayPosition(master);
}

bool CFullBufferQueue::Exhausted(const CBufferSegment& segment)
{
    // Stepped back before the first frame, or past the last with nothing more to come.
    return segment.Cursor() == -1 || segment.IsFinished();
}

bool CFullBufferQueue::CanContinue(const CBufferSegment& segment, int direction)
{
    if (segment.CannotContinue() || FAILED(segment.Result()) || segment.GetState() == CBufferSegment::Aborted)
        return false;
    return direction < 0 || segment.Continuation() > 0;
}

REFERENCE_TIME CFullBufferQueue::DueTime(const MasterState& master) const
{
    return static_cast<REFERENCE_TIME>(static_cast<double>(m_tPlay - master.position) / master.rate) +
           master.reference;
}

CFullBufferQueue::Action CFullBufferQueue::Decide(const CBufferSegment::Frame& frame, const MasterState& master,
                                                  DWORD wakes, bool* rotated, Pacing* pacing)
{
    CAutoLock lock(&m_Lock);
    if (m_bAborting || m_bStopped)
        return Action::Fail;
    // A wake-up since the frame was read (a record, a rate change, a seek,
    // a new frame) set data-ready: resetting it below would lose it.
    if (wakes != m_dwWakes)
        return Action::Retry;
    const double rate = master.rate;
    CBufferSegment& segment = Segment(0);
    if (!frame && segment.Count() > 0) {
        // The direction changed at a segment edge: back onto its edge frame.
        if (rate > 0 && segment.Cursor() == -1) {
            segment.SetCursor(0);
            return Action::Retry;
        }
        if (rate < 0 && segment.Cursor() >= segment.Count()) {
            segment.SetCursor(segment.Count() - 1);
            return Action::Retry;
        }
    }
    if (!frame) {
        if (Exhausted(segment)) {
            const int direction = rate < 0 ? -1 : 1;
            if (!*rotated && CanContinue(segment, direction)) {
                *rotated = true;
                Rotate(direction);
                return Action::Retry;
            }
            return Action::EndOfPlayback;
        }
        // Frames of the current segment are still on their way: Add wakes us.
        // Not a gap in the recording: moving the position on in time steps
        // meanwhile would leave the frames behind it when they come, and at
        // high rates with a slow source nothing would be shown again.
        m_DataReady.Reset();
        m_bWaitingForFrames = true;
        return Action::Retry;
    }
    if (std::fabs(rate) < 0.01) {
        m_DataReady.Reset();
        if (std::fabs(rate) < 0.001 || !frame)
            return Action::Retry;
        // Frame hold: show the frame under the cursor once.
        SetPlayPosition(frame.time);
        *pacing = {frame.sample.Get(), 0, frame.time, frame.time, 0};
        return Action::Pace;
    }
    return rate > 0 ? DecideForward(frame, master, pacing) : DecideBackward(frame, master, pacing);
}

CFullBufferQueue::Action CFullBufferQueue::DecideForward(const CBufferSegment::Frame& frame,
                                                         const MasterState& master, Pacing* pacing)
{
    CBufferSegment& segment = Segment(0);
    if (m_tPlay >= m_tStop) {
        m_DataReady.Reset();
        pacing->event = m_pOwner->IsOwnMaster() ? static_cast<long>(EC_V77_STOP_POSITION) : 0L;
        return Action::Retry;
    }
    if (frame && frame.time < m_tPlay) {
        segment.SetCursor(segment.Cursor() + 1);  // behind the play position: skipped
        return Action::Retry;
    }
    if (frame && frame.time == m_tPlay) {
        segment.SetCursor(segment.Cursor() + 1);
        *pacing = {frame.sample.Get(), DueTime(master), m_tPlay, frame.time, 0};
        return Action::Pace;
    }
    // A gap in the recording: the position moves on in time steps.
    SetPlayPosition(m_tPlay + m_pOwner->TimeStep());
    *pacing = {nullptr, DueTime(master), m_tPlay, frame ? frame.time : 0, 0};
    return Action::Pace;
}

CFullBufferQueue::Action CFullBufferQueue::DecideBackward(const CBufferSegment::Frame& frame,
                                                          const MasterState& master, Pacing* pacing)
{
    CBufferSegment& segment = Segment(0);
    if (m_tPlay <= m_tStart) {
        m_DataReady.Reset();
        pacing->event = m_pOwner->IsOwnMaster() ? static_cast<long>(EC_V77_STOP_POSITION) : 0L;
        return Action::Retry;
    }
    if (frame && frame.time > m_tPlay) {
        segment.SetCursor(segment.Cursor() - 1);
        return Action::Retry;
    }
    if (frame && frame.time == m_tPlay) {
        segment.SetCursor(segment.Cursor() - 1);
        *pacing = {frame.sample.Get(), DueTime(master), m_tPlay, frame.time, 0};
        return Action::Pace;
    }
    SetPlayPosition(m_tPlay - m_pOwner->TimeStep());
    *pacing = {nullptr, DueTime(master), m_tPlay, frame ? frame.time : 0, 0};
    return Action::Pace;
}

void CFullBufferQueue::EndOfPlayback()
{
    HRESULT result = S_OK;
    {
        CAutoLock lock(&m_Lock);
        result = Segment(0).Result();
        if (!m_pOwner->IsOwnMaster()) {
            if (m_Commands.empty())
                m_DataReady.Reset();  // the master ends the group's playback
            return;
        }
    }
    m_pOwner->RaiseQueueEvent(EC_V77_SEGMENT_END, static_cast<LONG_PTR>(result), 0);
    if (FAILED(QueueRecord(V77CommandRecord::EndOfStream()))) {
        CAutoLock lock(&m_Lock);
        m_DataReady.Reset();
    }
}

HRESULT CFullBufferQueue::GetNext(IV77PoolItem** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    bool rotated = false;
    for (;;) {
        if (!WaitForData())
            return E_FAIL;
        // From here a rate change, seek, abort or deactivation cancels the
        // wait for the due time decided below, even before the wait begins.
        BeginClockDecision();
        const REFERENCE_TIME now = ClockTime();
        CBufferSegment::Frame frame;
        DWORD wakes = 0;
        {
            CAutoLock lock(&m_Lock);
            wakes = m_dwWakes;
            if (m_bAborting || m_bStopped || m_Shutdown.Check())
                return E_FAIL;
            if (!m_Commands.empty())
                return TakeCommand(now, out);
            frame = Segment(0).Current();
            if (frame)
                rotated = false;  // only a rotation onto nothing playable ends playback
            TrackPlayPosition(frame, now);
        }
        MasterState master;
        if (m_pOwner->GetMasterPlayState(&master.reference, &master.position, &master.rate) != S_OK ||
            MasterBehind(master)) {
            WaitForMaster();
            continue;
        }
        if (!m_pOwner->IsOwnMaster())
            JoinMaster(master.rate);
        Pacing pacing;
        const Action action = Decide(frame, master, wakes, &rotated, &pacing);
        if (pacing.event)
            m_pOwner->RaiseQueueEvent(pacing.event, 0, 0);
        if (action == Action::Fail)
            return E_FAIL;
        if (action == Action::EndOfPlayback)
            EndOfPlayback();
        if (action != Action::Pace)
            continue;
        if (!WaitForTime(pacing.sample, pacing.due, pacing.position, pacing.frameTime)) {
            if (IsHalted())
                return E_FAIL;
            *out = frame.item.Detach();
            return S_OK;
        }
    }
}

bool CFullBufferQueue::WaitForTime(IMediaSample* sample, REFERENCE_TIME due, REFERENCE_TIME position,
                                   REFERENCE_TIME frameTime)
{
    if (due > 0)
        WaitForClock(due);
    if (position == frameTime && sample) {
        sample->SetTime(nullptr, nullptr);  // the renderer shows it at once
        return false;
    }
    m_pOwner->RaiseQueueEvent(EC_V77_PACING, static_cast<LONG_PTR>(position), 0);
    return true;
}
