#include "buffer/CBufferSegment.h"

#include <algorithm>
#include "framework/CAutoLock.h"

CBufferSegment::CBufferSegment()
    : m_nCursor(kUnplaced),
      m_lAnnounced(0),
      m_tRequest(0),
      m_tContinuation(0),
      m_hrFill(S_OK),
      m_bCannotContinue(false),
      m_State(Idle),
      m_Idle(TRUE, TRUE),
      m_Filling(TRUE, FALSE),
      m_Complete(TRUE, FALSE)
{
}

void CBufferSegment::Empty()
{
    CAutoLock lock(&m_Lock);
    m_Frames.clear();
    m_nCursor = kUnplaced;
    m_lAnnounced = 0;
    m_tContinuation = 0;
    m_hrFill = S_OK;
    m_bCannotContinue = false;
    m_State = Idle;
    m_Filling.Reset();
    m_Complete.Reset();
    m_Idle.Set();
}

void CBufferSegment::BeginRequest(REFERENCE_TIME position)
{
    Empty();
    CAutoLock lock(&m_Lock);
    m_tRequest = position;
    m_State = Requested;
    m_Idle.Reset();
}

void CBufferSegment::Finish()
{
    CAutoLock lock(&m_Lock);
    if (!IsReceivable())
        return;
    m_Filling.Set();
    MarkComplete();
    m_Idle.Set();
}

void CBufferSegment::MarkComplete()
{
    m_State = Complete;
    m_Complete.Set();
    // Only a cursor never placed: one that walked off an edge while the
    // frames were arriving stays there (putting it back would show a frame twice).
    if (m_nCursor == kUnplaced)
        PlaceCursor(m_tRequest);
}

bool CBufferSegment::EndRequest(HRESULT hr, LONG frameCount, REFERENCE_TIME next)
{
    CAutoLock lock(&m_Lock);
    m_hrFill = hr;
    m_bCannotContinue = hr == E_NOTIMPL;
    m_lAnnounced = frameCount;
    m_tContinuation = next;
    bool complete = false;
    if (m_State == Requested) {
        m_State = Filling;
        m_Filling.Set();
        if (Count() >= frameCount) {
            MarkComplete();
            complete = true;
        }
    }
    m_Idle.Set();
    return complete;
}

void CBufferSegment::MarkFailed(HRESULT hr)
{
    CAutoLock lock(&m_Lock);
    m_Frames.clear();
    m_nCursor = kUnplaced;
    m_hrFill = hr;
    m_bCannotContinue = hr == E_NOTIMPL;
    m_tContinuation = 0;
    m_State = Complete;
    m_Filling.Set();
    m_Complete.Set();
    m_Idle.Set();
}

void CBufferSegment::MarkAborted(bool idle)
{
    CAutoLock lock(&m_Lock);
    m_State = Aborted;
    m_Filling.Set();
    m_Complete.Set();
    if (idle)
        m_Idle.Set();
}

bool CBufferSegment::AddFrame(Frame frame, bool* added)
{
    CAutoLock lock(&m_Lock);
    *added = false;
    if (!IsReceivable())
        return false;
    m_Frames.push_back(std::move(frame));
    *added = true;
    if (m_State == Filling && Count() >= m_lAnnounced && SUCCEEDED(m_hrFill)) {
        MarkComplete();
        return true;
    }
    return false;
}

bool CBufferSegment::IsUsable() const
{
    return (m_State == Filling || m_State == Complete) && SUCCEEDED(m_hrFill) && !m_Frames.empty();
}

LONG CBufferSegment::FindNotAfter(REFERENCE_TIME time) const
{
    auto after = std::upper_bound(m_Frames.begin(), m_Frames.end(), time,
                                  [](REFERENCE_TIME t, const Frame& f) { return t < f.time; });
    return after == m_Frames.begin() ? 0 : static_cast<LONG>(after - m_Frames.begin()) - 1;
}

bool CBufferSegment::PlaceCursor(REFERENCE_TIME time)
{
    CAutoLock lock(&m_Lock);
    if ((m_State != Filling && m_State != Complete) || FAILED(m_hrFill) || m_Frames.empty())
        return false;
    m_nCursor = FindNotAfter(time);
    return true;
}

CBufferSegment::Frame CBufferSegment::Current() const
{
    return CursorOnFrame() ? m_Frames[static_cast<size_t>(m_nCursor)] : Frame();
}
