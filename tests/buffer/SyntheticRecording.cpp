#include "tests/buffer/SyntheticRecording.h"

#include <algorithm>

SyntheticRecording::SyntheticRecording(int frameCount, int stretchLength, REFERENCE_TIME frameDuration,
                                       REFERENCE_TIME origin)
    : m_FrameCount(frameCount), m_StretchLength(stretchLength), m_Duration(frameDuration), m_Origin(origin)
{
}

int SyntheticRecording::FrameOf(REFERENCE_TIME time) const
{
    if (time < m_Origin || (time - m_Origin) % m_Duration != 0)
        return -1;
    const LONGLONG frame = (time - m_Origin) / m_Duration;
    return frame < m_FrameCount ? static_cast<int>(frame) : -1;
}

int SyntheticRecording::LastNotAfter(REFERENCE_TIME time) const
{
    if (time < m_Origin)
        return 0;
    return static_cast<int>(std::min<LONGLONG>((time - m_Origin) / m_Duration, m_FrameCount - 1));
}

int SyntheticRecording::FirstNotBefore(REFERENCE_TIME time) const
{
    if (time <= m_Origin)
        return 0;
    const LONGLONG frame = (time - m_Origin + m_Duration - 1) / m_Duration;
    return static_cast<int>(std::min<LONGLONG>(frame, m_FrameCount));
}

SyntheticRecording::Stretch SyntheticRecording::Make(int first, int end) const
{
    Stretch stretch;
    stretch.first = first;
    stretch.count = std::max(0, end - first);
    stretch.next = end < m_FrameCount ? TimeOf(end) : 0;
    m_StretchStartByNext[stretch.next] = first;
    return stretch;
}

SyntheticRecording::Stretch SyntheticRecording::ForRequest(REFERENCE_TIME position, DWORD type) const
{
    if (type == 3) {
        const auto known = m_StretchStartByNext.find(position);
        const int end = known != m_StretchStartByNext.end() ? known->second : FirstNotBefore(position);
        return Make(std::max(0, end - m_StretchLength), end);
    }
    const int first = type == 2 ? FirstNotBefore(position) : LastNotAfter(position);
    return Make(first, std::min(m_FrameCount, first + m_StretchLength));
}
