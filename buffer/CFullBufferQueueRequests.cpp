// The request channel of the time-shift queue to the upstream archive
// source: segments asked for (RequestSegment), taken by the source's thread
// (GetRequest, through WaitForRequest), reported done (OnRequestDone), and
// the chain of requests that fills the neighbours of a seek. One request
// waits to be taken and one is in progress, no more: the source reads each
// against the segments as they are when it takes it, and a report asks for
// what follows it.
#include "buffer/CFullBufferQueue.h"

#include "framework/CAutoLock.h"

void CFullBufferQueue::SignalRequestState()
{
    if (m_Pending.segment < 0) {
        m_RequestTaken.Set();
        m_RequestAvailable.Reset();
    } else if (m_InProgress.segment < 0) {
        m_RequestAvailable.Set();
    }
}

bool CFullBufferQueue::WaitForTurn(int index)
{
    // Request-taken is set whenever nothing waits; Abort, Stop and Inactive
    // end the wait (the seek then fails like one made while aborting).
    HANDLE handles[3] = {m_RequestTaken.Handle(), m_Shutdown.Handle(), m_Release.Handle()};
    for (;;) {
        {
            CAutoLock lock(&m_Lock);
            if (m_bAborting || m_bStopped)
                return false;
            if (m_Pending.segment < 0 || m_Pending.segment == index)
                return true;
        }
        if (WaitForMultipleObjects(3, handles, FALSE, INFINITE) != WAIT_OBJECT_0)
            return false;
    }
}

void CFullBufferQueue::Release(int index)
{
    if (m_InProgress.segment == index)
        m_InProgress.flags |= kSuperseded;  // frames and report still on their way are dropped
    if (m_nReceiving == index)
        m_nReceiving = -1;
    m_Ring.At(index).Empty();
}

bool CFullBufferQueue::RequestSegment(int index, REFERENCE_TIME position, DWORD type, DWORD flags, bool wait)
{
    // A request waiting for another segment is read by the source against
    // the segments as they are now, before this one empties its segment.
    if (wait && !WaitForTurn(index))
        return false;
    CAutoLock lock(&m_Lock);
    if (m_bAborting)
        return false;
    if (m_Pending.segment >= 0 && m_Pending.segment != index && type != kSeek) {
        // Callers that cannot wait (under the queue lock, or the source's own
        // thread in its report) never queue behind it either. A seek waiting
        // refills every segment around it; the current segment's request is
        // what play waits for, and its report asks for the one after it.
        // Either way this segment's old frames go back to the pool now: the
        // source may need them for the stretch it is reading.
        if (m_Pending.type == kSeek || m_Pending.segment == Index(0)) {
            if (m_Pending.type != kSeek)
                m_Pending.flags |= kThenFollowing;
            Release(index);
            return false;
        }
    }
    // Given way: that segment stays idle and is asked for again when play
    // reaches it.
    if (m_Pending.segment >= 0 && m_Pending.segment != index)
        m_Ring.At(m_Pending.segment).Empty();
    Release(index);
    Request request;
    request.position = position;
    request.stop = m_tStop;
    request.type = type;
    request.segment = index;
    request.flags = flags;
    m_Ring.At(index).BeginRequest(position);
    m_Pending = request;
    m_RequestTaken.Reset();
    if (type == kSeek)
        m_SeekDone.Reset();  // here, not before a wait: a report meanwhile would set it again
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
        const CBufferSegment& before = m_Ring.At(CSegmentRing::Beside(request->segment, -1));
        if (before.CannotContinue() || FAILED(before.Result()) || before.Continuation() <= 0) {
            target.MarkFailed(before.CannotContinue() ? E_NOTIMPL : before.Result());
            return false;
        }
        request->position = before.Continuation();
        request->flags |= kForward;
    } else if (request->type == kContinueBefore) {
        const CBufferSegment& after = m_Ring.At(CSegmentRing::Beside(request->segment, 1));
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
    // A stretch still receiving when the source begins the next one fell
    // short of the count it announced (or its report never came): it is
    // complete with what it got. Left receiving, it would take the next
    // stretch's frames as its own, and the segment asked for would never
    // fill: play and steps into it would wait for ever.
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
    HANDLE handles[3] = {m_Shutdown.Handle(), m_Release.Handle(), m_RequestAvailable.Handle()};
    if (WaitForMultipleObjects(3, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 2)
        return E_FAIL;
    CAutoLock lock(&m_Lock);
    if (m_bStopped) {
        m_RequestTaken.Set();
        return E_FAIL;
    }
    if (m_Pending.segment < 0) {
        m_RequestTaken.Set();
        return S_FALSE;
    }
    Request request = m_Pending;
    m_Pending = Request();
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
        // A segment asked for again meanwhile belongs to its new request.
        if (request.flags & kSuperseded)
            request = Request();
        if (request.segment >= 0 && m_Ring.At(request.segment).EndRequest(hr, frameCount, next) &&
            m_nReceiving == request.segment)
            m_nReceiving = -1;
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
    if (request.flags & kSeekNeighbours) {
        RequestNeighbours(hr);
        return;
    }
    bool more = false;
    if (request.flags & kPreviousThenNext)  // two ahead of its own: the one after the seek's
        more = RequestSegment(CSegmentRing::Beside(request.segment, 2), 0, kContinueAfter, 0);
    else if ((request.flags & kThenFollowing) && request.type == kContinueAfter)
        more = RequestSegment(CSegmentRing::Beside(request.segment, 1), 0, kContinueAfter, 0);
    else if ((request.flags & kThenFollowing) && request.type == kContinueBefore)
        more = RequestSegment(CSegmentRing::Beside(request.segment, -1), 0, kContinueBefore, 0);
    if (!more)
        EndChain();
}

void CFullBufferQueue::EndChain()
{
    // A request taken before a seek was asked for is not the seek's end.
    CAutoLock lock(&m_Lock);
    if (!m_bAborting && m_Pending.type != kSeek)
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
    if (!RequestSegment(Index(-1), 0, kContinueBefore, kPreviousThenNext))
        EndChain();
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
