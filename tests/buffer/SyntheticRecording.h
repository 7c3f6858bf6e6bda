// A recording as an archive source would read it: frames at known absolute
// times (file-time scale), served stretch by stretch the way the buffer's
// requests ask for them:
//   seek (0) at P:  from the last frame not after P, forward;
//   forward (2) at X: from the first frame at or after X;
//   backward (3) at X: X is the continuation this source reported with the
//     stretch after the one wanted; the stretch wanted ends where that one
//     began (delivered in time order). An X it never reported: the stretch
//     that ends just before X.
// Each stretch has at most stretchLength frames; "next" is the time of the
// frame after the stretch, 0 at the end of the recording. The source
// remembers which stretch it reported each continuation with.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <map>

class SyntheticRecording {
public:
    struct Stretch {
        int first = 0;
        int count = 0;
        REFERENCE_TIME next = 0;
    };

    // 2024-01-01 00:00 UTC on the file-time scale.
    static constexpr REFERENCE_TIME kOrigin = 133485408000000000LL;

    SyntheticRecording(int frameCount, int stretchLength, REFERENCE_TIME frameDuration = 400000,
                       REFERENCE_TIME origin = kOrigin);

    REFERENCE_TIME TimeOf(int frame) const { return m_Origin + frame * m_Duration; }
    REFERENCE_TIME Duration() const { return m_Duration; }
    int FrameCount() const { return m_FrameCount; }
    // The frame whose start is time exactly, -1 when none.
    int FrameOf(REFERENCE_TIME time) const;
    Stretch ForRequest(REFERENCE_TIME position, DWORD type) const;

private:
    int LastNotAfter(REFERENCE_TIME time) const;
    int FirstNotBefore(REFERENCE_TIME time) const;
    Stretch Make(int first, int end) const;

    // Continuation reported -> first frame of the stretch reported with it.
    mutable std::map<REFERENCE_TIME, int> m_StretchStartByNext;

    int m_FrameCount;
    int m_StretchLength;
    REFERENCE_TIME m_Duration;
    REFERENCE_TIME m_Origin;
};
