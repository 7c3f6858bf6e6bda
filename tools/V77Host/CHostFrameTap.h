// The host's frame counter: an in-place pass-through between the buffer filter
// and a renderer that counts the frames handed on and, from gaps in their
// media times, the frames lost on the way (dropped by a full queue or by the
// receiver). It passes the very sample it gets, so pooled frames stay uncopied.
#pragma once

#include <atomic>
#include "framework/CTransInPlaceFilter.h"

class CHostFrameTap : public CTransInPlaceFilter {
public:
    // One reference (adopt it); null without memory.
    static CHostFrameTap* Create();
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

    // The nominal frame time; 0 (the default) counts no drops.
    void SetFrameTime(REFERENCE_TIME frameTime) { m_FrameTime = frameTime; }
    long Frames() const { return m_Frames.load(); }
    long Dropped() const { return m_Dropped.load(); }
    // The media start of the last frame, 0 before the first.
    REFERENCE_TIME LastMediaTime() const { return m_LastMediaTime.load(); }

    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT Transform(IMediaSample* sample) override;

private:
    CHostFrameTap();

    std::atomic<REFERENCE_TIME> m_FrameTime{0};
    std::atomic<long> m_Frames{0};
    std::atomic<long> m_Dropped{0};
    std::atomic<REFERENCE_TIME> m_LastMediaTime{0};
};
