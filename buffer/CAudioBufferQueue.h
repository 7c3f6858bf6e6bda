// Archive audio beside a time-shift video stream: the time-shift queue with
// a fixed sample size, playing only at normal speed. At rates near 1 it
// repositions itself to the master's position; it stamps each sample with the
// stream time at which it is due and lets the audio renderer schedule it.
#pragma once

#include "buffer/CFullBufferQueue.h"

class CAudioBufferQueue : public CFullBufferQueue {
public:
    // parameter: low 16 bits segment length, high 16 bits sample size in bytes.
    CAudioBufferQueue(IBufferQueueOwner* owner, DWORD parameter);
    ~CAudioBufferQueue() override;

    LONG GetBufferSize(LONG requested) override;
    HRESULT SetRate(double rate) override;
    HRESULT SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT Step(LONG frames) override;
    bool WaitForTime(IMediaSample* sample, REFERENCE_TIME due, REFERENCE_TIME position,
                     REFERENCE_TIME frameTime) override;

    LONG GetSampleSize() const { return m_lSampleSize; }

protected:
    void RequestNeighbours(HRESULT hr) override;

private:
    static bool IsNormalRate(double rate) { return rate >= 0.99 && rate <= 1.01; }

    const LONG m_lSampleSize;
};
