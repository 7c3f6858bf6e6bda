// The three segments of the time-shift queue in a ring around the current
// one (the previous and next are current - 1 and current + 1, modulo 3), and
// the lookups over the frames they hold. The ring has no lock of its own: the
// queue holds its lock around every call.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "buffer/CBufferSegment.h"

class CSegmentRing {
public:
    // Locate's answer for a position no segment covers.
    static constexpr int kNotHeld = 2;

    CSegmentRing() : m_nCurrent(0) {}
    CSegmentRing(const CSegmentRing&) = delete;
    CSegmentRing& operator=(const CSegmentRing&) = delete;

    // The ring index of the segment at offset -1, 0 or +1 from the current one.
    int Index(int offset) const { return Beside(m_nCurrent, offset); }
    // The segment at offset -1, 0 or +1 (or +2, the same as -1) from index.
    static int Beside(int index, int offset) { return (index + offset + 3) % 3; }
    CBufferSegment& Segment(int offset) { return m_Segments[Index(offset)]; }
    CBufferSegment& At(int index) { return m_Segments[index]; }
    // The neighbour in direction (+1 or -1) becomes the current segment.
    void Advance(int direction) { m_nCurrent = Index(direction); }
    void EmptyAll();

    // The offset of the segment that holds or covers position (between two
    // segments: the one that begins last before it), kNotHeld outside them all.
    int Locate(REFERENCE_TIME position);
    // The frame nearest time (not after it), moved by offset frames across
    // the segment edges; false when the time or the walk leaves the frames held.
    bool GetSampleAt(REFERENCE_TIME time, LONG offset, IMediaSample** out);
    // The first and last frame times held, 0 when nothing is.
    REFERENCE_TIME FirstTime();
    REFERENCE_TIME LastTime();

private:
    bool FindSampleStart(REFERENCE_TIME time, int* segment, LONG* index);

    CBufferSegment m_Segments[3];
    int m_nCurrent;
};
