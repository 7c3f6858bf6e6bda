// One stretch of recorded frames of the time-shift queue, filled on request
// from the upstream archive source, with a read cursor. Frames arrive in
// increasing media time; every lookup relies on that order.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <deque>
#include <wrl/client.h>
#include "framework/CAMEvent.h"
#include "framework/CCritSec.h"
#include "v77/IV77SamplePool.h"

class CBufferSegment {
public:
    enum State { Idle = 0, Requested = 1, Filling = 2, Complete = 3, Aborted = 4 };

    // A cursor that is on no frame yet; placed when the segment completes.
    static constexpr LONG kUnplaced = -2;

    struct Frame {
        Microsoft::WRL::ComPtr<IV77PoolItem> item;
        Microsoft::WRL::ComPtr<IMediaSample> sample;
        REFERENCE_TIME time = 0;
        explicit operator bool() const { return item != nullptr; }
    };

    CBufferSegment();
    CBufferSegment(const CBufferSegment&) = delete;
    CBufferSegment& operator=(const CBufferSegment&) = delete;

    // Releases every frame and returns to Idle with the events reset (idle set).
    void Empty();
    // Empty, then Requested for the stretch starting at position.
    void BeginRequest(REFERENCE_TIME position);
    // A stretch that got fewer frames than announced (or no report) when the
    // source moved on to the next: complete with what arrived.
    void Finish();
    // The source reported the stretch: result, frames announced, continuation.
    // True when the segment is complete now.
    bool EndRequest(HRESULT hr, LONG frameCount, REFERENCE_TIME next);
    // Complete and empty with result hr: playback cannot go through it.
    void MarkFailed(HRESULT hr);
    // Aborted: every waiter on filling or complete wakes; idle too unless the
    // source is still filling the segment (it reports the end later).
    void MarkAborted(bool idle);
    // Appends a frame while Requested or Filling; true when that completes the segment.
    bool AddFrame(Frame frame, bool* added);
    // Puts the cursor on the last frame not after time (the first when all are after).
    bool PlaceCursor(REFERENCE_TIME time);

    // Readers (call with the queue lock held).
    State GetState() const { return m_State; }
    bool IsReceivable() const { return m_State == Requested || m_State == Filling; }
    // Filling or complete with a successful result and frames: they may be shown.
    bool IsUsable() const;
    // No more frames will come: complete, aborted, or failed.
    bool IsFinished() const { return m_State == Complete || m_State == Aborted || FAILED(m_hrFill); }
    bool IsFailed() const { return m_State == Aborted || FAILED(m_hrFill); }
    LONG Count() const { return static_cast<LONG>(m_Frames.size()); }
    bool IsEmpty() const { return m_Frames.empty(); }
    REFERENCE_TIME FirstTime() const { return m_Frames.front().time; }
    REFERENCE_TIME LastTime() const { return m_Frames.back().time; }
    const Frame& At(LONG index) const { return m_Frames[static_cast<size_t>(index)]; }
    LONG FindNotAfter(REFERENCE_TIME time) const;

    LONG Cursor() const { return m_nCursor; }
    void SetCursor(LONG cursor) { m_nCursor = cursor; }
    bool CursorOnFrame() const { return m_nCursor >= 0 && m_nCursor < Count(); }
    // The frame under the cursor, or an empty frame.
    Frame Current() const;

    REFERENCE_TIME RequestPosition() const { return m_tRequest; }
    void SetRequestPosition(REFERENCE_TIME position) { m_tRequest = position; }
    REFERENCE_TIME Continuation() const { return m_tContinuation; }
    HRESULT Result() const { return m_hrFill; }
    bool CannotContinue() const { return m_bCannotContinue; }
    LONG Announced() const { return m_lAnnounced; }

    HANDLE IdleEvent() const { return m_Idle.Handle(); }
    HANDLE CompleteEvent() const { return m_Complete.Handle(); }

private:
    void MarkComplete();

    CCritSec m_Lock;            // taken after the queue lock
    std::deque<Frame> m_Frames;
    LONG m_nCursor;
    LONG m_lAnnounced;
    REFERENCE_TIME m_tRequest;
    REFERENCE_TIME m_tContinuation;
    HRESULT m_hrFill;
    bool m_bCannotContinue;
    State m_State;
    CAMEvent m_Idle;            // manual, initially set
    CAMEvent m_Filling;         // manual
    CAMEvent m_Complete;        // manual
};
