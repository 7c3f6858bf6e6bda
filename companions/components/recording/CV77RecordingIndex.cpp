#include "companions/components/recording/CV77RecordingIndex.h"

#include <algorithm>

namespace {

constexpr size_t kHistoryLimit = 4096;

}  // namespace

CV77RecordingIndex::AddResult CV77RecordingIndex::AddSegment(uint32_t file, int64_t firstTime, int64_t frameDuration,
                                                             const std::vector<V77SegmentFrame>& frames)
{
    AddResult result;
    if (frameDuration <= 0)
        return result;
    const int64_t lastIndexed = m_Frames.empty() ? INT64_MIN : m_Frames.back().time;
    bool decodable = false;  // a key frame after the end of what is indexed was seen
    bool overlapping = false;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].size == 0)
            continue;
        const int64_t time = firstTime + static_cast<int64_t>(i) * frameDuration;
        if (time <= lastIndexed) {
            overlapping = true;
            ++result.droppedOverlap;
            continue;
        }
        if (!decodable && !frames[i].key) {
            ++(overlapping ? result.droppedOverlap : result.droppedNoKey);
            continue;
        }
        decodable = true;
        V77IndexedFrame frame;
        frame.time = time;
        frame.file = file;
        frame.position = static_cast<int32_t>(i);
        frame.size = frames[i].size;
        frame.key = frames[i].key;
        m_Frames.push_back(frame);
        m_Durations.push_back(frameDuration);
        m_Bytes += frame.size;
        ++result.kept;
    }
    return result;
}

size_t CV77RecordingIndex::UpperBound(int64_t time) const
{
    return static_cast<size_t>(std::upper_bound(m_Frames.begin(), m_Frames.end(), time,
                                                [](int64_t t, const V77IndexedFrame& f) { return t < f.time; }) -
                               m_Frames.begin());
}

size_t CV77RecordingIndex::LowerBound(int64_t time) const
{
    return static_cast<size_t>(std::lower_bound(m_Frames.begin(), m_Frames.end(), time,
                                                [](const V77IndexedFrame& f, int64_t t) { return f.time < t; }) -
                               m_Frames.begin());
}

V77Stretch CV77RecordingIndex::Make(size_t first, size_t end) const
{
    V77Stretch stretch;
    stretch.first = first;
    stretch.count = end > first ? end - first : 0;
    stretch.next = end < m_Frames.size() ? m_Frames[end].time : 0;
    return stretch;
}

V77Stretch CV77RecordingIndex::Seek(int64_t position, size_t maxFrames) const
{
    if (m_Frames.empty() || maxFrames == 0)
        return {};
    // The frame shown at position: the last one not after it (the first frame
    // for a position before the recording).
    const size_t after = UpperBound(position);
    const size_t target = after == 0 ? 0 : after - 1;
    size_t first = target;
    while (first > 0 && !m_Frames[first].key)
        --first;
    // A group of pictures longer than a stretch cannot be entered from its key
    // frame and still reach the target: the stretch then ends at the target.
    if (target - first >= maxFrames)
        first = target + 1 - maxFrames;
    return Make(first, std::min(m_Frames.size(), first + maxFrames));
}

V77Stretch CV77RecordingIndex::Forward(int64_t position, size_t maxFrames) const
{
    const size_t first = LowerBound(position);
    return Make(first, std::min(m_Frames.size(), first + maxFrames));
}

V77Stretch CV77RecordingIndex::Backward(int64_t position, size_t maxFrames) const
{
    const size_t end = LowerBound(position);
    size_t first = end > maxFrames ? end - maxFrames : 0;
    // Played backward, each stretch is decoded on its own: start it at a key
    // frame when the window holds one.
    size_t key = first;
    while (key < end && !m_Frames[key].key)
        ++key;
    if (key < end)
        first = key;
    return Make(first, end);
}

CV77RecordingIndex::History& CV77RecordingIndex::History::operator=(History&&) noexcept
{
    std::lock_guard<std::mutex> guard(lock);
    firstByNext.clear();
    return *this;
}

V77Stretch CV77RecordingIndex::ForRequest(int64_t position, uint32_t type, size_t maxFrames) const
{
    std::lock_guard<std::mutex> guard(m_History.lock);
    V77Stretch stretch;
    if (type == 2) {
        stretch = Forward(position, maxFrames);
    } else if (type == 3) {
        const auto known = m_History.firstByNext.find(position);
        if (known != m_History.firstByNext.end() && known->second < m_Frames.size())
            position = m_Frames[known->second].time;
        stretch = Backward(position, maxFrames);
    } else {
        stretch = Seek(position, maxFrames);
    }
    if (stretch.count > 0) {
        // Only the last few stretches are ever named again: keep it bounded.
        if (m_History.firstByNext.size() >= kHistoryLimit)
            m_History.firstByNext.clear();
        m_History.firstByNext[stretch.next] = stretch.first;
    }
    return stretch;
}

int64_t CV77RecordingIndex::DurationOf(size_t index) const
{
    return index < m_Durations.size() ? m_Durations[index] : 0;
}

double CV77RecordingIndex::AverageFrameSize() const
{
    return m_Frames.empty() ? 0.0 : static_cast<double>(m_Bytes) / static_cast<double>(m_Frames.size());
}
