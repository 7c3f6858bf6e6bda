// The recording index answering the buffer's three kinds of stretch over
// segments with gaps, overlaps, long groups of pictures and missing key
// frames; the store's file names.
#include <gtest/gtest.h>

#include <vector>

#include "companions/components/recording/CV77RecordingIndex.h"
#include "companions/components/recording/V77StoreNaming.h"

namespace {

constexpr int64_t kOrigin = 133485408000000000LL;
constexpr int64_t kFrame = 400000;  // 40 ms

// count frames, a key frame every gop frames (0: none), all 100 bytes.
std::vector<V77SegmentFrame> Frames(int count, int gop)
{
    std::vector<V77SegmentFrame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        frames[static_cast<size_t>(i)].size = 100;
        frames[static_cast<size_t>(i)].key = gop > 0 && i % gop == 0;
    }
    return frames;
}

int64_t T(int frame) { return kOrigin + frame * kFrame; }

// Times of the frames of a stretch.
std::vector<int64_t> Times(const CV77RecordingIndex& index, const V77Stretch& stretch)
{
    std::vector<int64_t> times;
    for (size_t i = 0; i < stretch.count; ++i)
        times.push_back(index.Frame(stretch.first + i).time);
    return times;
}

// Every frame time of the index, in order.
std::vector<int64_t> AllTimes(const CV77RecordingIndex& index) { return Times(index, {0, index.FrameCount(), 0}); }

}  // namespace

TEST(RecordingIndex, ForwardAndBackwardStretchesTileTheRecordingAcrossAGap)
{
    CV77RecordingIndex index;
    index.AddSegment(0, T(0), kFrame, Frames(23, 5));
    index.AddSegment(1, T(40), kFrame, Frames(17, 5));  // a gap of 17 frames
    ASSERT_EQ(40u, index.FrameCount());

    // Forward from the first frame, continuing at each "next": every frame once, in order.
    std::vector<int64_t> forward;
    int64_t position = T(0);
    for (int guard = 0; guard < 20 && position; ++guard) {
        const V77Stretch s = index.Forward(position, 7);
        const std::vector<int64_t> times = Times(index, s);
        forward.insert(forward.end(), times.begin(), times.end());
        position = s.next;
    }
    EXPECT_EQ(AllTimes(index), forward);

    // Backward from after the end, each stretch ending before the previous one's first frame.
    std::vector<int64_t> backward;
    position = T(1000);
    for (int guard = 0; guard < 20; ++guard) {
        const V77Stretch s = index.Backward(position, 7);
        if (s.count == 0)
            break;
        EXPECT_TRUE(index.Frame(s.first).key || s.count == 7) << "a backward stretch starts at a key frame when it can";
        EXPECT_EQ(position == T(1000) ? 0 : position, s.next) << "continuation: the frame after the stretch";
        const std::vector<int64_t> times = Times(index, s);
        backward.insert(backward.begin(), times.begin(), times.end());
        position = index.Frame(s.first).time;
    }
    EXPECT_EQ(AllTimes(index), backward);

    // A stretch runs on across the gap.
    const V77Stretch acrossGap = index.Forward(T(20), 5);
    EXPECT_EQ((std::vector<int64_t>{T(20), T(21), T(22), T(40), T(41)}), Times(index, acrossGap));
    EXPECT_EQ(T(42), acrossGap.next);
    // A position inside the gap goes forward to the first frame after it.
    EXPECT_EQ(T(40), index.Frame(index.Forward(T(30) + 1, 7).first).time);
}

TEST(RecordingIndex, BackwardRequestsAtEachReportedContinuationWalkBackWithoutRepeating)
{
    // Groups of 3: each backward stretch starts at a key frame, short of 10.
    CV77RecordingIndex index;
    index.AddSegment(0, T(0), kFrame, Frames(60, 3));
    // As the buffer asks: a seek, then each stretch before the one it holds,
    // named by the continuation reported with that one.
    V77Stretch s = index.ForRequest(T(45), 0, 10);
    std::vector<int64_t> played = Times(index, s);
    for (int guard = 0; guard < 20; ++guard) {
        s = index.ForRequest(s.next, 3, 10);
        if (s.count == 0)
            break;
        const std::vector<int64_t> times = Times(index, s);
        played.insert(played.begin(), times.begin(), times.end());
    }
    std::vector<int64_t> expected;
    for (int i = 0; i <= 54; ++i)
        expected.push_back(T(i));
    EXPECT_EQ(expected, played);
}

TEST(RecordingIndex, SeekStartsAtTheKeyFrameAndReachesThePositionEvenPastALongGroup)
{
    CV77RecordingIndex index;
    index.AddSegment(0, T(0), kFrame, Frames(30, 10));
    V77Stretch s = index.Seek(T(17) + 5, 10);  // between frames 17 and 18
    EXPECT_EQ(T(10), index.Frame(s.first).time);
    EXPECT_EQ(10u, s.count);
    EXPECT_EQ(T(20), s.next);

    // Group of 10 frames, stretches of 4: the stretch ends at the target.
    s = index.Seek(T(18), 4);
    EXPECT_EQ(T(15), index.Frame(s.first).time);
    EXPECT_EQ(T(18), index.Frame(s.first + s.count - 1).time);

    // Outside the recording: the first frame, or the last group with no continuation.
    s = index.Seek(T(-100), 10);
    EXPECT_EQ(0u, s.first);
    s = index.Seek(T(500), 10);
    EXPECT_EQ(T(20), index.Frame(s.first).time);
    EXPECT_EQ(0, s.next);
    EXPECT_EQ(0u, index.Forward(T(500), 10).count);
    EXPECT_EQ(0u, index.Backward(T(-5), 10).count);
    EXPECT_EQ(T(0), index.Backward(T(-5), 10).next);
    EXPECT_EQ(0u, CV77RecordingIndex().Seek(T(0), 10).count);
}

TEST(RecordingIndex, OverlapsEmptyFramesAndSegmentsWithoutKeyFramesAreLeftOut)
{
    CV77RecordingIndex index;
    EXPECT_EQ(20u, index.AddSegment(0, T(0), kFrame, Frames(20, 5)).kept);
    // Starts 6 frames before the end of the first: its frames up to the first
    // key frame after T(19) (its frame 10, at T(24)) go.
    const CV77RecordingIndex::AddResult overlap = index.AddSegment(1, T(14), kFrame, Frames(20, 5));
    EXPECT_EQ(10u, overlap.kept);
    EXPECT_EQ(10u, overlap.droppedOverlap);
    const CV77RecordingIndex::AddResult noKey = index.AddSegment(2, T(40), kFrame, Frames(10, 0));
    EXPECT_EQ(0u, noKey.kept);
    EXPECT_EQ(10u, noKey.droppedNoKey);
    std::vector<V77SegmentFrame> holes = Frames(10, 5);
    holes[3].size = 0;
    EXPECT_EQ(9u, index.AddSegment(3, T(60), kFrame, holes).kept);
    EXPECT_EQ(0u, index.AddSegment(4, T(80), 0, Frames(10, 1)).kept) << "no frame rate, no times";

    const std::vector<int64_t> times = AllTimes(index);
    for (size_t i = 1; i < times.size(); ++i)
        ASSERT_LT(times[i - 1], times[i]) << "times strictly increase at " << i;
    EXPECT_EQ(T(24), index.Frame(20).time);
    EXPECT_EQ(1u, index.Frame(20).file);
    EXPECT_EQ(10, index.Frame(20).position);
    EXPECT_EQ(T(60), index.Forward(T(31), 3).next) << "the segment without key frames is a gap";
    EXPECT_DOUBLE_EQ(100.0, index.AverageFrameSize());
}

TEST(StoreNaming, SegmentNamesAreTheFirstFrameTimeInDecimal)
{
    EXPECT_EQ("133485408000000000.avi", SegmentName(kOrigin));
    EXPECT_EQ(kOrigin, ParseSegmentName("133485408000000000.avi").value());
    EXPECT_EQ(kOrigin, ParseSegmentName("133485408000000000.AVI").value());
    for (const char* bad : {"x.avi", ".avi", "0.avi", "133485408000000000.avi.tmp", "133485408000000000",
                            "-5.avi", "99999999999999999999.avi", "1 2.avi"})
        EXPECT_FALSE(ParseSegmentName(bad).has_value()) << bad;
    EXPECT_EQ(42, ParseDecimalTime("42").value());
    EXPECT_FALSE(ParseDecimalTime("").has_value());
}
