// A recording-and-playback day end to end, through the registered module
// and components, against ffmpeg peers: an ffmpeg "camera" streams MPEG-4
// Part 2 over RTP on loopback; the network source shows it through a buffer
// filter and records its secondary output with the AVI file renderer into a
// store, a new segment every two key-frame intervals; ffprobe and ffmpeg
// judge the segments; then the store plays back in three synchronised views
// (seek, rates 1, -1 and 4, steps on a slave). Every frame shown is
// identified by its checksum in ffmpeg's packet list of the camera and, in
// playback, by its recorded time as well: both must name the same frame.
// The buffer filters take only uncompressed video and Wine has no MPEG-4
// decoder, so a stand-in (CPacketCarrier) carries each compressed frame
// inside a YUY2 frame where a decoder would sit.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "companions/components/recording/V77StoreNaming.h"
#include "tests/buffer/BoundedCall.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/ComAdopt.h"
#include "tests/kit/CTestRenderer.h"
#include "tests/kit/TestGraph.h"
#include "tests/kit/TestWait.h"
#include "tools/common/CCameraReference.h"
#include "tools/common/CPacketCarrier.h"
#include "tools/common/CV77LiveRecordGraph.h"
#include "tools/common/CV77PlaybackGroup.h"
#include "tools/common/V77Loopback.h"
#include "tools/common/CV77UnixProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kGop = 25;  // the camera's key-frame spacing (make-camera.sh)
constexpr int kSegmentFrames = 2 * kGop;
constexpr int kSegments = 5;  // playback stays clear of the recording's end, which ends the stream
// The host renames the recording this many frames before the key frame
// that starts the next segment; the frames in between are not recorded.
constexpr int kSwitchLead = 6;
constexpr REFERENCE_TIME kFrameTime = 400000;
constexpr DWORD kWaitMs = 15000;
constexpr int kFrameNotInCamera = -1, kTimeAndPictureDisagree = -2;

const std::string kWork = V77_SCENARIO_DIR;

std::wstring Win(const std::string& unixPath)
{
    return CV77UnixProcess::WinePath(unixPath);
}

ComPtr<CTestRenderer> NewView()
{
    TestRendererConfig config;
    config.waitForSampleTime = false;  // live: shown on arrival; playback: the buffer paces
    config.bytesRecorded = 16 * 1024;  // every carried camera frame whole, for its checksum
    return Adopt(CTestRenderer::Create(config));
}

ComPtr<CPacketCarrier> NewDecoder(LONG buffers)
{
    return Adopt(CPacketCarrier::Create(buffers));
}

std::string Text(const std::vector<int>& frames)
{
    std::string text;
    for (int f : frames)
        text += " " + std::to_string(f);
    return text;
}

class RecordingDay : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
        ASSERT_TRUE(SUCCEEDED(m_Com.Result()));
        ASSERT_TRUE(m_Camera.Load(Win(kWork + "/camera.crc"))) << "ffmpeg's packet list of the camera is missing";
        m_Tag = std::to_string(GetCurrentProcessId());
        m_Store = kWork + "/store-" + m_Tag;
    }
    void TearDown() override { WSACleanup(); }

    void LiveViewAndRecording();
    void CheckSegmentsWithFfprobe();
    void PlayBackInThreeViews();

    // The camera frame of the last sample a live view showed (-1: none yet).
    int LastShown(CTestRenderer* view, RenderedSample* sample = nullptr);
    // A played-back frame: its picture's number, which its time must confirm.
    int Played(const RenderedSample& sample) const;
    std::vector<int> PlayedFrames(CTestRenderer* view) const;
    int LastPlayed(CTestRenderer* view) const;
    // Recorded frames from..to (inclusive) in playing order, across segment gaps.
    std::vector<int> RecordedBetween(int from, int to) const;
    HRESULT Bounded(const std::function<HRESULT()>& call);

    CComInit m_Com;
    CCameraReference m_Camera;
    std::string m_Tag;
    std::string m_Store;
    REFERENCE_TIME m_Origin = 0;      // the store time of the first recorded frame
    std::vector<int> m_SegmentFirst;  // the camera frame each segment starts with
    std::vector<int> m_Recorded;      // the store's frames, as ffmpeg reads the segments
};

int RecordingDay::LastShown(CTestRenderer* view, RenderedSample* sample)
{
    RenderedSample last;
    if (!view->LastSample(&last))
        return -1;
    if (sample)
        *sample = last;
    return m_Camera.Identify(CPacketCarrier::Unwrap(last.bytes));
}

int RecordingDay::Played(const RenderedSample& sample) const
{
    const int pictured = m_Camera.Identify(CPacketCarrier::Unwrap(sample.bytes));
    if (pictured < 0)
        return kFrameNotInCamera;
    const REFERENCE_TIME offset = sample.mediaStart - m_Origin;
    if (!sample.mediaTimeValid || offset % kFrameTime != 0 ||
        m_SegmentFirst[0] + offset / kFrameTime != pictured)
        return kTimeAndPictureDisagree;
    return pictured;
}

std::vector<int> RecordingDay::PlayedFrames(CTestRenderer* view) const
{
    std::vector<int> frames;
    for (const RenderedSample& sample : view->Samples())
        frames.push_back(Played(sample));
    return frames;
}

int RecordingDay::LastPlayed(CTestRenderer* view) const
{
    RenderedSample last;
    return view->LastSample(&last) ? Played(last) : -1;
}

std::vector<int> RecordingDay::RecordedBetween(int from, int to) const
{
    std::vector<int> frames;
    for (int f : m_Recorded) {
        if (f >= std::min(from, to) && f <= std::max(from, to))
            frames.push_back(f);
    }
    if (from > to)
        std::reverse(frames.begin(), frames.end());
    return frames;
}

HRESULT RecordingDay::Bounded(const std::function<HRESULT()>& call)
{
    HRESULT hr = E_UNEXPECTED;
    EXPECT_TRUE(FinishesWithin(5000, [&] { hr = call(); })) << "the call did not return";
    return hr;
}

void RecordingDay::LiveViewAndRecording()
{
    const std::string sdp = kWork + "/camera-" + m_Tag + ".sdp";
    ASSERT_EQ(0, CV77UnixProcess::Run(kWork, "rm -rf " + m_Store + " " + sdp + " && mkdir -p " + m_Store));
    CV77UnixProcess camera(kWork, "camera");
    const std::string port = std::to_string(V77FreeLoopbackPort(SOCK_DGRAM));
    ASSERT_TRUE(camera.Start("ffmpeg -nostdin -v error -re -i " + kWork + "/camera.avi -map 0:v:0 -c copy -f rtp" +
                             " -sdp_file " + sdp + " rtp://127.0.0.1:" + port));
    ASSERT_TRUE(WaitUntil([&] { return CV77UnixProcess::Read(sdp).find("a=fmtp") != std::string::npos; }, kWaitMs))
        << "the camera wrote no SDP: " << CV77UnixProcess::Read(camera.File(".log"));

    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Create());
    ComPtr<CTestRenderer> view = NewView();
    ComPtr<CPacketCarrier> decoder = NewDecoder(4);
    ASSERT_TRUE(view && decoder);
    CV77LiveRecordGraph live;
    ASSERT_EQ(S_OK, live.Build(graph.Graph(), Win(sdp), view->Filter(), decoder->Filter())) << live.Step();
    EXPECT_EQ(320, live.Info().Width);
    EXPECT_EQ(240, live.Info().Height);
    EXPECT_EQ(kFrameTime, live.Info().AvgTimePerFrame);
    ASSERT_TRUE(SUCCEEDED(graph.Run()));

    RenderedSample first;
    int shown = -1;
    ASSERT_TRUE(WaitUntil([&] { return (shown = LastShown(view.Get(), &first)) >= 0; }, kWaitMs))
        << "no camera frame was shown";
    // The first segment starts at a key frame far enough ahead to name it in time.
    const int firstKey = ((shown + kSwitchLead) / kGop + 1) * kGop;
    m_Origin = first.mediaStart + (firstKey - shown) * kFrameTime;
    for (int k = 0; k <= kSegments; ++k) {
        const int key = firstKey + k * kSegmentFrames;
        ASSERT_TRUE(WaitUntil([&] { return LastShown(view.Get()) >= key - kSwitchLead; }, kWaitMs)) << "segment " << k;
        ASSERT_LT(LastShown(view.Get()), key) << "the host was too late to name segment " << k;
        if (k == kSegments) {
            ASSERT_EQ(S_OK, live.CloseSegment());
            break;
        }
        ASSERT_EQ(S_OK, live.StartSegment(Win(m_Store), m_Origin + (key - firstKey) * kFrameTime));
        m_SegmentFirst.push_back(key);
    }
    ASSERT_EQ(S_OK, graph.StopAndWait());
    camera.Stop();

    // The live view lost nothing: consecutive camera frames from a key frame on.
    std::vector<int> ids;
    for (const RenderedSample& sample : view->Samples())
        ids.push_back(m_Camera.Identify(CPacketCarrier::Unwrap(sample.bytes)));
    ASSERT_GE(ids.size(), static_cast<size_t>(kSegments * kSegmentFrames));
    EXPECT_TRUE(m_Camera.IsKey(ids[0])) << ids[0];
    for (size_t i = 1; i < ids.size(); ++i)
        ASSERT_EQ(ids[i - 1] + 1, ids[i]) << "live view at " << i << ":" << Text(ids);
}

void RecordingDay::CheckSegmentsWithFfprobe()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((Win(m_Store) + L"\\*.avi").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search) << "no segment was written";
    do {
        const std::wstring name = found.cFileName;
        names.push_back(std::string(name.begin(), name.end()));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    ASSERT_EQ(static_cast<size_t>(kSegments), names.size());

    for (int k = 0; k < kSegments; ++k) {
        SCOPED_TRACE("segment " + names[k]);
        EXPECT_EQ(SegmentName(m_Origin + (m_SegmentFirst[k] - m_SegmentFirst[0]) * kFrameTime), names[k]);
        const std::string segment = m_Store + "/" + names[k];
        const std::string out = kWork + "/" + m_Tag + "-" + std::to_string(k);
        ASSERT_EQ(0, CV77UnixProcess::Run(kWork,
            "ffmpeg -nostdin -v error -y -i " + segment + " -map 0:v:0 -c copy -f framecrc " + out + ".crc && " +
            "ffprobe -v error -select_streams v:0 -show_entries stream=codec_tag_string,nb_frames " +
            "-of default=nw=1 " + segment + " > " + out + ".probe && " +
            "ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " + segment + " > " +
            out + ".flags"));
        const std::vector<int> frames = m_Camera.IdentifyList(Win(out + ".crc"));
        ASSERT_GE(frames.size(), static_cast<size_t>(kSegmentFrames - 2 * kSwitchLead));
        ASSERT_LE(frames.size(), static_cast<size_t>(kSegmentFrames));
        EXPECT_EQ(m_SegmentFirst[k], frames[0]) << "a segment starts with the key frame it is named after";
        for (size_t i = 1; i < frames.size(); ++i)
            ASSERT_EQ(frames[i - 1] + 1, frames[i]) << "recorded frames, packet for packet:" << Text(frames);

        const std::string probe = CV77UnixProcess::Read(out + ".probe");
        EXPECT_NE(std::string::npos, probe.find("codec_tag_string=DX50")) << probe;
        EXPECT_NE(std::string::npos, probe.find("nb_frames=" + std::to_string(frames.size()) + "\n")) << probe;
        const std::string flags = CV77UnixProcess::Read(out + ".flags");
        size_t line = 0;
        for (size_t at = 0; at < flags.size() && line < frames.size(); ++line) {
            const size_t end = flags.find('\n', at);
            const bool key = flags.substr(at, end - at).find('K') != std::string::npos;
            EXPECT_EQ(m_Camera.IsKey(frames[line]), key) << "key flag of frame " << frames[line];
            at = end == std::string::npos ? flags.size() : end + 1;
        }
        EXPECT_EQ(frames.size(), line) << "ffprobe's packets";
        m_Recorded.insert(m_Recorded.end(), frames.begin(), frames.end());
    }
}

void RecordingDay::PlayBackInThreeViews()
{
    TestGraph graph;
    ASSERT_EQ(S_OK, graph.Create());
    std::vector<ComPtr<CTestRenderer>> views;
    std::vector<ComPtr<CPacketCarrier>> decoders;
    std::vector<IBaseFilter*> viewFilters, decoderFilters;
    for (int i = 0; i < 3; ++i) {
        views.push_back(NewView());
        decoders.push_back(NewDecoder(40));
        ASSERT_TRUE(views.back() && decoders.back());
        viewFilters.push_back(views.back()->Filter());
        decoderFilters.push_back(decoders.back()->Filter());
    }
    CV77PlaybackGroup group;
    ASSERT_EQ(S_OK, group.Build(graph.Graph(), Win(m_Store), viewFilters, decoderFilters));
    EXPECT_EQ(kFrameTime, group.Info().AvgTimePerFrame);
    // The renderers finish their transition only with a first frame, after the first seek.
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    ASSERT_EQ(S_OK, group.Start(m_Origin));
    CTestRenderer* master = views[0].Get();
    const auto identified = [&](const char* phase) {
        for (size_t v = 0; v < views.size(); ++v) {
            const std::vector<int> shown = PlayedFrames(views[v].Get());
            for (int f : shown)
                ASSERT_GE(f, 0) << phase << ": view " << v << " showed a frame not identified:" << Text(shown);
        }
    };
    const auto clear = [&](const char* phase) {
        identified(phase);
        for (auto& v : views)
            v->ClearSamples();
    };
    const auto at = [&](int frame) { return m_Origin + (frame - m_SegmentFirst[0]) * kFrameTime; };
    const auto inStep = [&](const char* phase) {
        for (int probe = 0; probe < 4; ++probe) {
            Sleep(60);
            const int shown = LastPlayed(master);
            ASSERT_GE(shown, 0) << phase;
            for (size_t v = 1; v < views.size(); ++v) {
                const int other = LastPlayed(views[v].Get());
                ASSERT_GE(other, 0) << phase << ": view " << v;
                // Across a segment gap the next recorded frame is several numbers on.
                const std::vector<int> between = RecordedBetween(shown, other);
                // Within a frame or two of the master (Wine's clock wakes late under load).
                EXPECT_LE(between.size(), 3u) << phase << ": view " << v << " shows " << other << ", master " << shown;
            }
        }
    };

    // Rate 1 from a seek into the second segment: every recorded frame in turn.
    const int seek = m_SegmentFirst[1] + 10;
    ASSERT_EQ(S_OK, Bounded([&] { return group.Seek(at(seek)); }));
    ASSERT_EQ(S_OK, group.SetRate(1.0));
    ASSERT_TRUE(master->WaitForSamples(12, kWaitMs));
    std::vector<int> frames = PlayedFrames(master);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(seek, frames[0]) << "playback starts at the seek position";
    EXPECT_EQ(RecordedBetween(frames.front(), frames.back()), frames) << "rate 1:" << Text(frames);
    inStep("rate 1");

    // Backwards at rate 1 inside the second segment, for a few frames: with
    // a transform between archive source and buffer, reverse play has been
    // seen to repeat three frames for ever after 13 to 18 frames (reported,
    // not yet understood; the archive suites play backwards without one).
    ASSERT_NO_FATAL_FAILURE(clear("rate 1"));
    ASSERT_EQ(S_OK, group.SetRate(-1.0));
    const int back = m_SegmentFirst[1] + 14;
    ASSERT_TRUE(WaitUntil([&] { const int f = LastPlayed(master); return f >= 0 && f <= back; }, kWaitMs))
        << "rate -1 showed" << Text(PlayedFrames(master));
    frames = PlayedFrames(master);
    // Frames in flight at the rate change may still come forward.
    const auto turn = std::adjacent_find(frames.begin(), frames.end(), [](int a, int b) { return b < a; });
    ASSERT_NE(frames.end(), turn) << "reverse play never began:" << Text(frames);
    const std::vector<int> backward(turn, frames.end());
    EXPECT_EQ(RecordedBetween(backward.front(), backward.back()), backward) << "rate -1:" << Text(frames);
    inStep("rate -1");

    // Rate 4 across two segment edges (and the frames not recorded there).
    ASSERT_NO_FATAL_FAILURE(clear("rate -1"));
    ASSERT_EQ(S_OK, group.SetRate(4.0));
    const int ahead = m_SegmentFirst[3] + 5;
    ASSERT_TRUE(WaitUntil([&] { return LastPlayed(master) >= ahead; }, kWaitMs)) << Text(PlayedFrames(master));
    frames = PlayedFrames(master);
    // Frames in flight at the turn may come twice; from the last turn on, every recorded frame once.
    size_t from = 0;
    for (size_t i = 1; i < frames.size(); ++i)
        from = frames[i] <= frames[i - 1] ? i : from;
    const std::vector<int> fast(frames.begin() + static_cast<std::ptrdiff_t>(from), frames.end());
    EXPECT_LE(fast.front(), m_SegmentFirst[2]) << "rate 4:" << Text(frames);
    EXPECT_EQ(RecordedBetween(fast.front(), fast.back()), fast) << "rate 4:" << Text(frames);
    inStep("rate 4");

    // The frame at each view's play position, for a step that did not show.
    const auto queued = [&] {
        std::vector<int> at;
        for (size_t v = 0; v < views.size(); ++v) {
            ComPtr<IV77DsBufferMaster> member;
            REFERENCE_TIME position = 0;
            IV77DsBuffer* buffer = group.Buffer(v);
            const bool known = SUCCEEDED(buffer->QueryInterface(__uuidof(IV77DsBufferMaster),
                                                                reinterpret_cast<void**>(member.GetAddressOf()))) &&
                               SUCCEEDED(member->GetPosition(&position));
            at.push_back(known ? static_cast<int>((position - m_Origin) / kFrameTime) + m_SegmentFirst[0] : -1);
        }
        return at;
    };
    // Held, then stepped on a slave: every view shows the same frame.
    ASSERT_EQ(S_OK, group.SetRate(0.001));
    // The hold settles on one frame in every view before a step (under load
    // the last frames of rate 4 and the held frame come late).
    Sleep(200);
    int held[3] = {};
    const bool settled = WaitUntil([&] {
        for (int v = 0; v < 3; ++v)
            held[v] = LastPlayed(views[v].Get());
        return held[0] >= 0 && held[0] == held[1] && held[1] == held[2];
    }, kWaitMs);
    ASSERT_TRUE(settled) << "held views show " << held[0] << " " << held[1] << " " << held[2]
                         << "; play positions at" << Text(queued());
    // Each step on a slave moves the whole group to the next (or previous) recorded frame.
    std::vector<int> stepped{LastPlayed(master)};
    for (LONG step : {1, 1, 1, -1}) {
        const int before = LastPlayed(master);
        ASSERT_EQ(S_OK, Bounded([&] { return group.Step(step, 1); }));
        int shown[3] = {};
        const bool moved = WaitUntil([&] {
            for (int v = 0; v < 3; ++v)
                shown[v] = LastPlayed(views[v].Get());
            return shown[0] != before && shown[0] == shown[1] && shown[1] == shown[2];
        }, kWaitMs);
        stepped.push_back(shown[0]);
        ASSERT_TRUE(moved) << "step " << step << " from " << before << ": views show " << shown[0] << " " << shown[1]
                           << " " << shown[2] << "; play positions at" << Text(queued());
    }
    for (size_t i = 2; i < stepped.size(); ++i)
        EXPECT_EQ(2u, RecordedBetween(stepped[i - 1], stepped[i]).size()) << "steps:" << Text(stepped);
    identified("rate 4 and steps");
    ASSERT_EQ(S_OK, graph.StopAndWait());
}

TEST_F(RecordingDay, ViewRecordAndPlayBackACameraWithEveryFrameIdentified)
{
    const ULONGLONG start = NowMs();
    ASSERT_NO_FATAL_FAILURE(LiveViewAndRecording());
    ASSERT_NO_FATAL_FAILURE(CheckSegmentsWithFfprobe());
    ASSERT_NO_FATAL_FAILURE(PlayBackInThreeViews());
    std::printf("recording day: %d segments, %zu frames recorded, %.1f s\n", kSegments, m_Recorded.size(),
                (NowMs() - start) / 1000.0);
}

}  // namespace
