// Archive time-shift: three segments of recorded frames around the play
// position, filled on request from the upstream archive source (which asks
// through WaitForRequest and reports with RequestDone). Plays forward or
// backward at a rate, steps frame by frame, and paces every frame against the
// group master's play state on the graph clock, so that all buffers of a
// group show the same recorded instant.
#pragma once

#include <deque>
#include <limits>
#include <wrl/client.h>
#include "buffer/CBufferQueue.h"
#include "buffer/CBufferSegment.h"
#include "buffer/CSegmentRing.h"

class CFullBufferQueue : public CBufferQueue {
public:
    CFullBufferQueue(IBufferQueueOwner* owner, LONG segmentLength);
    ~CFullBufferQueue() override;

    bool GetSampleAt(const REFERENCE_TIME* time, LONG offset, IMediaSample** out) override;
    HRESULT SetSize(LONG count, LONG bufferSize) override;
    void Abort() override;
    void Flush() override;
    void Clear() override;
    void StopPlayback() override;
    void Deactivate() override;
    void StartPlayback() override;
    REFERENCE_TIME GetFirstTime() override;
    REFERENCE_TIME GetLastTime() override;
    LONG GetMinimumCount() override;
    HRESULT WaitReady(DWORD timeoutMs) override;
    HRESULT SetRate(double rate) override;
    HRESULT SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT Step(LONG frames) override;
    HRESULT GetRequest(REFERENCE_TIME* position, DWORD* type, WORD* flush) override;
    HRESULT GetPlayState(void* caller, REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate) override;
    HRESULT GetPosition(REFERENCE_TIME* position) override;
    HRESULT GetCurrentTime(REFERENCE_TIME* time) override;
    HRESULT Add(IV77PoolItem* frame) override;
    HRESULT GetNext(IV77PoolItem** out) override;
    bool AddEndOfStream() override;
    HRESULT AddSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT OnRequestDone(HRESULT hr, LONG frameCount, DWORD reserved, REFERENCE_TIME next) override;
    // 28: paces one frame; false when it is to be handed out now.
    virtual bool WaitForTime(IMediaSample* sample, REFERENCE_TIME due, REFERENCE_TIME position,
                             REFERENCE_TIME frameTime);

    // The stored positions and rate, for diagnostics and tests.
    REFERENCE_TIME GetStartPosition();
    REFERENCE_TIME GetStopPosition();
    double GetRate();

    static constexpr REFERENCE_TIME kMaxTime = std::numeric_limits<REFERENCE_TIME>::max();

protected:
    // Request types and flags.
    enum : DWORD { kSeek = 1, kContinueAfter = 2, kContinueBefore = 3 };
    enum : DWORD {
        kForward = 0x1,
        kBackward = 0x2,
        kFlush = 0x4,
        kSeekNeighbours = 0x10000,    // a seek: fill the segments before and after it next
        kPreviousThenNext = 0x20000,  // the segment before a seek: then the one after it
        kThenFollowing = 0x40000,     // a current segment found idle: then the one after it in its direction
        kSuperseded = 0x80000,        // in progress, its segment asked for again: its report changes nothing
    };

    struct Request {
        REFERENCE_TIME position = 0;
        REFERENCE_TIME stop = kMaxTime;
        DWORD type = 0;
        int segment = -1;  // -1: none
        DWORD flags = 0;
    };

    // The segment at offset -1, 0 or +1 from the current one.
    int Index(int offset) const { return m_Ring.Index(offset); }
    CBufferSegment& Segment(int offset) { return m_Ring.Segment(offset); }

    // Records the one pending request, for segment index. wait: the caller
    // holds no queue lock and is not the source's thread, so it may wait for
    // the source to take a request pending for another segment. Only a seek
    // that does not flush waits (on the host's thread): a rotation runs under
    // the queue lock, which the source needs to take the pending request, and
    // the chain after a report runs on the source's own thread, so either
    // would wait for ever; they give way to the pending request instead (see
    // the .cpp). A flushing seek replaces it, the flush making it stale.
    // False when nothing was recorded.
    bool RequestSegment(int index, REFERENCE_TIME position, DWORD type, DWORD flags, bool wait = false);
    // What follows a request answered with hr: the neighbours after a seek, the
    // segment after the previous one, or the end of the seek.
    void ContinueChain(const Request& request, HRESULT hr);
    // A chain of requests ended: seek-done, unless a seek still waits to be
    // taken or a flush is under way.
    void EndChain();
    // After a successful seek stretch: which neighbours to fill (the audio queue differs).
    virtual void RequestNeighbours(HRESULT hr);
    HRESULT Seek(REFERENCE_TIME position, bool flush);
    void CompleteSeek(REFERENCE_TIME position, bool flush);
    // The record a flushing seek queues (null without flush or on failure).
    Microsoft::WRL::ComPtr<IV77PoolItem> SeekRecord(REFERENCE_TIME position, bool flush);
    // With the queue lock held; record: the seek's record, null without flush.
    void CompleteSeekLocked(REFERENCE_TIME position, IV77PoolItem* record);
    // A command record in a new stand-alone item, handed out before any frame.
    HRESULT QueueRecord(const V77_COMMAND_RECORD& record);
    void RotateForward();
    void RotateBackward();
    void Rotate(int direction) { direction < 0 ? RotateBackward() : RotateForward(); }
    // Aborting, stopped or shut down: nothing is handed out.
    bool IsHalted();
    void SetPositionValid(bool valid);
    // SetRate; wake: let a delivery thread waiting for data look at the new rate.
    HRESULT ChangeRate(double rate, bool wake);
    static double ClampRate(double rate);

    CSegmentRing m_Ring;
    const LONG m_lSegmentLength;
    CAMEvent m_RequestTaken;        // manual, set: no request waits to be taken
    CAMEvent m_RequestAvailable;    // auto
    CAMEvent m_DataReady;           // manual
    CAMEvent m_SeekDone;            // manual
    CAMEvent m_Shutdown;            // manual
    bool m_bAborting;
    bool m_bStopped;
    bool m_bPlaying;
    double m_dRate;
    // Play state: the position m_tPosition was taken at reference clock time
    // m_tReference; m_tPlay is the play position stepping through the frames
    // (0: to be set at the next frame); m_tCurrent the last valid position.
    REFERENCE_TIME m_tReference;
    REFERENCE_TIME m_tPosition;
    REFERENCE_TIME m_tPlay;
    REFERENCE_TIME m_tCurrent;
    REFERENCE_TIME m_tStart;
    REFERENCE_TIME m_tStop;
    Request m_Pending;              // waits to be taken by the source (segment -1: none)
    Request m_InProgress;           // taken, not reported yet (segment -1: none)
    int m_nReceiving;               // segment that takes arriving frames, -1: none
    // Waiters on the current segment (a frame joins it, its report comes, the
    // ring rotates): GetNext parks on data-ready, Step on m_SegmentChanged.
    // Each flag is raised under the queue lock with its event reset, so a
    // change after the look that made the waiter wait is never lost.
    bool m_bWaitingForFrames;
    bool m_bStepWaiting;
    CAMEvent m_SegmentChanged;      // manual
    ULONG m_ulStepWaits;            // Step's waits for frames, for tests
    // Counts data-ready signals. GetNext reads a frame under the lock, asks
    // the master without it, then decides under it again: a signal in between
    // (a step, a record, a rate, a frame) would be lost if the decision reset
    // data-ready, so the decision is made again on a newer reading instead.
    DWORD m_dwWakes;
    std::deque<Microsoft::WRL::ComPtr<IV77PoolItem>> m_Commands;

private:
    enum class Action { Retry, Pace, Fail, EndOfPlayback };
    struct MasterState {
        REFERENCE_TIME reference = 0;
        REFERENCE_TIME position = 0;
        double rate = 0;
    };
    struct Pacing {
        IMediaSample* sample = nullptr;
        REFERENCE_TIME due = 0;
        REFERENCE_TIME position = 0;
        REFERENCE_TIME frameTime = 0;
        long event = 0;             // raised before retrying (0: none)
    };
    enum class StepOutcome { Moved, Rotated, Wait, Failed };

    bool WaitForData();
    // A slave told to play whose master still holds at rate 0.
    bool MasterBehind(const MasterState& master);
    void WaitForMaster();
    // A slave a frame or more behind its master moves to the master's position.
    void JoinMaster(double rate);
    HRESULT TakeCommand(REFERENCE_TIME now, IV77PoolItem** out);
    void TrackPlayPosition(const CBufferSegment::Frame& frame, REFERENCE_TIME now);
    void SetPlayPosition(REFERENCE_TIME position);
    // wakes: the data-ready count when frame was read.
    Action Decide(const CBufferSegment::Frame& frame, const MasterState& master, DWORD wakes, bool* rotated,
                  Pacing* pacing);
    Action DecideForward(const CBufferSegment::Frame& frame, const MasterState& master, Pacing* pacing);
    Action DecideBackward(const CBufferSegment::Frame& frame, const MasterState& master, Pacing* pacing);
    REFERENCE_TIME DueTime(const MasterState& master) const;
    void EndOfPlayback();
    static bool Exhausted(const CBufferSegment& segment);
    static bool CanContinue(const CBufferSegment& segment, int direction);
    // Empties segment index; frames and a report still on their way for it are dropped.
    void Release(int index);
    // Waits until no request for another segment than index waits to be taken.
    bool WaitForTurn(int index);
    bool ResolveRequest(Request* request);
    void BeginProgress(const Request& request);
    void SignalRequestState();
    // Something about the current segment changed: wakes GetNext or Step waiting on it.
    void WakeFrameWaiter();
    // Sets data-ready and counts it; the queue lock is held.
    void SignalData();
    // One frame of a step; Wait registers Step as waiting on the current segment.
    StepOutcome StepOnce(int direction, bool* landing, REFERENCE_TIME* time);
    StepOutcome StepOnceLocked(int direction, bool* landing, REFERENCE_TIME* time);
    // Until the current segment changes (WakeFrameWaiter), a flush or Stop;
    // false on shutdown.
    bool WaitForFrames();
};
