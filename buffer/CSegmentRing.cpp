#include "buffer/CSegmentRing.h"

#include <algorithm>

void CSegmentRing::EmptyAll()
{
    for (CBufferSegment& segment : m_Segments)
        segment.Empty();
}

int CSegmentRing::Locate(REFERENCE_TIME position)
{
    for (int offset : {0, 1, -1}) {
        const CBufferSegment& segment = Segment(offset);
        if (segment.IsUsable() && segment.FirstTime() <= position && position <= segment.LastTime())
            return offset;
    }
    // Between segments: the one that begins last before the position covers it.
    int covering = kNotHeld;
    REFERENCE_TIME coveringStart = 0;
    REFERENCE_TIME latest = 0;
    for (int offset : {-1, 0, 1}) {
        const CBufferSegment& segment = Segment(offset);
        if (!segment.IsUsable())
            continue;
        latest = std::max(latest, segment.LastTime());
        if (segment.FirstTime() <= position && (covering == kNotHeld || segment.FirstTime() > coveringStart)) {
            covering = offset;
            coveringStart = segment.FirstTime();
        }
    }
    return covering != kNotHeld && position <= latest ? covering : kNotHeld;
}

REFERENCE_TIME CSegmentRing::FirstTime()
{
    bool any = false;
    REFERENCE_TIME first = 0;
    for (const CBufferSegment& segment : m_Segments) {
        if (segment.IsUsable() && (!any || segment.FirstTime() < first)) {
            first = segment.FirstTime();
            any = true;
        }
    }
    return first;
}

REFERENCE_TIME CSegmentRing::LastTime()
{
    bool any = false;
    REFERENCE_TIME last = 0;
    for (const CBufferSegment& segment : m_Segments) {
        if (segment.IsUsable() && (!any || segment.LastTime() > last)) {
            last = segment.LastTime();
            any = true;
        }
    }
    return last;
}

bool CSegmentRing::FindSampleStart(REFERENCE_TIME time, int* segment, LONG* index)
{
    bool haveCandidate = false;
    for (int offset : {-1, 0, 1}) {
        const CBufferSegment& s = Segment(offset);
        if (!s.IsUsable())
            continue;
        if (time > s.LastTime()) {
            *segment = offset;  // the last frame so far before the time
            *index = s.Count() - 1;
            haveCandidate = true;
            continue;
        }
        if (time < s.FirstTime()) {
            if (haveCandidate)
                return true;
            continue;
        }
        *segment = offset;
        *index = s.FindNotAfter(time);
        return true;
    }
    return false;  // before or after every frame held
}

bool CSegmentRing::GetSampleAt(REFERENCE_TIME time, LONG offset, IMediaSample** out)
{
    *out = nullptr;
    int found = 0;
    LONG index = 0;
    if (!FindSampleStart(time, &found, &index))
        return false;
    const CBufferSegment* segment = &Segment(found);
    const LONGLONG target = static_cast<LONGLONG>(index) + offset;
    const LONGLONG inside = std::clamp<LONGLONG>(target, 0, segment->Count() - 1);
    LONGLONG steps = target - inside;
    index = static_cast<LONG>(inside);
    if (steps != 0) {
        // The walk goes on in the neighbouring segment: its edge frame is the first step.
        const int direction = steps > 0 ? 1 : -1;
        const int neighbour = found + direction;
        if (neighbour < -1 || neighbour > 1 || !Segment(neighbour).IsUsable())
            return false;
        segment = &Segment(neighbour);
        const LONGLONG landing = direction > 0 ? 0 : segment->Count() - 1;
        const LONGLONG reached = landing + steps - direction;
        if (reached < 0 || reached >= segment->Count())
            return false;
        index = static_cast<LONG>(reached);
    }
    *out = segment->At(index).sample.Get();
    (*out)->AddRef();
    return true;
}
