// Where every frame of a recording is: its time, whether it is a key frame,
// its size, and the segment file and position it is read from. Answers the
// three kinds of stretch the buffer asks a source for:
//   seek at P:      from the last key frame at or before P, forward;
//   forward at X:   from the first frame at or after X;
//   backward at X:  the stretch that ends just before X (in time order).
// A request (ForRequest) names a backward stretch by the continuation that
// was reported with the stretch after it: the index remembers where each
// stretch it handed out began, so that the stretch wanted ends there (the
// continuation itself lies at that stretch's end, and would name it again).
// Every stretch holds at most maxFrames frames; its continuation ("next") is
// the time of the frame that follows it, 0 after the last frame.
//
// Segments are added in time order. Frames of a segment that starts before
// the previous one ended (overlap) are dropped up to its first key frame after
// the end of what is indexed, so times strictly increase and every kept run
// starts decodable; frames before a segment's first key frame cannot be
// decoded on their own and are dropped too (a segment with no key frame adds
// nothing). Gaps between segments are kept: the continuation jumps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

struct V77IndexedFrame {
    int64_t time = 0;      // 100 ns since 1601
    uint32_t file = 0;     // caller's segment number
    int32_t position = 0;  // frame number inside the segment file
    uint32_t size = 0;     // bytes
    bool key = false;
};

// One frame as a segment reader reports it, in file order.
struct V77SegmentFrame {
    uint32_t size = 0;
    bool key = false;
};

struct V77Stretch {
    size_t first = 0;   // index of the first frame
    size_t count = 0;
    int64_t next = 0;   // time of the frame after the stretch, 0 at the end
};

class CV77RecordingIndex {
public:
    // What AddSegment kept of a segment.
    struct AddResult {
        size_t kept = 0;
        size_t droppedOverlap = 0;
        size_t droppedNoKey = 0;
    };

    // Frame i of the segment starts at firstTime + i * frameDuration; an
    // empty frame (size 0) repeats the previous picture and is not indexed.
    AddResult AddSegment(uint32_t file, int64_t firstTime, int64_t frameDuration,
                         const std::vector<V77SegmentFrame>& frames);

    V77Stretch Seek(int64_t position, size_t maxFrames) const;
    V77Stretch Forward(int64_t position, size_t maxFrames) const;
    V77Stretch Backward(int64_t position, size_t maxFrames) const;
    // The request kinds of the buffer: 0 seek, 2 forward, 3 backward (at a
    // continuation reported before); remembers the stretch it answers.
    V77Stretch ForRequest(int64_t position, uint32_t type, size_t maxFrames) const;

    size_t FrameCount() const { return m_Frames.size(); }
    bool Empty() const { return m_Frames.empty(); }
    const V77IndexedFrame& Frame(size_t index) const { return m_Frames[index]; }
    // Nominal duration of frame index (up to the next frame of its segment).
    int64_t DurationOf(size_t index) const;
    double AverageFrameSize() const;

private:
    // First frame whose time is after time / at or after time.
    size_t UpperBound(int64_t time) const;
    size_t LowerBound(int64_t time) const;
    V77Stretch Make(size_t first, size_t end) const;

    // Continuation reported -> first frame of the stretch reported with it.
    // Callers may ask from several threads (a server's clients); a moved or
    // replaced index starts with no history.
    struct History {
        History() = default;
        History(History&&) noexcept {}
        History& operator=(History&&) noexcept;
        std::mutex lock;
        std::map<int64_t, size_t> firstByNext;
    };

    std::vector<V77IndexedFrame> m_Frames;
    std::vector<int64_t> m_Durations;  // per frame: its segment's frame duration
    uint64_t m_Bytes = 0;
    mutable History m_History;
};
