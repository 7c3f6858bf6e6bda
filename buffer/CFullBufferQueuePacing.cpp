// Delivery of the time-shift queue: the delivery thread's GetNext, which
// keeps the play position, steps through the frames in the direction of the
// rate and paces each against the group master's play state on the clock.
#include "buffer/CFullBufferQueue.h"

#include <cmath>
#include <cstdlib>
#include "buffer/V77CommandRecord.h"
#include "framework/CAutoLock.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kMasterRetryMs = 10;  // the master has no play position (or rate) yet

}  // namespace

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
    // The master has no position yet, or still holds while we are told to
    // play: a short sleep, then ask again. A master that shows video has no
    // event a slave could wait on for that (one that does not show video
    // makes GetPlayState wait for its position itself). Shutdown, a flush or
    // Stop end the sleep at once (GetNext then fails or waits for data).
    HANDLE handles[2] = {m_Shutdown.Handle(), m_Release.Handle()};
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
