#include "tools/V77Host/DayDemo.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <wrl/client.h>
#include "tools/V77Host/CHostCameraView.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/DemoSteps.h"
#include "tools/common/CCameraReference.h"
#include "tools/common/CPacketCarrier.h"
#include "tools/common/CV77LiveRecordGraph.h"
#include "tools/common/CV77PlaybackGroup.h"
#include "tools/common/V77Loopback.h"
#include "tools/common/CV77UnixProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kGop = 25;  // the camera's key-frame spacing (tests/scenario/make-camera.sh)
constexpr int kSegmentFrames = 2 * kGop;
constexpr int kSegments = 4;  // playback stays clear of the recording's end, which ends the stream
// Segments are named this many frames ahead of the key frame that starts them.
constexpr int kSwitchLead = 6;
constexpr REFERENCE_TIME kFrameTime = 400000;
constexpr DWORD kWaitMs = 15000;

template <typename T>
ComPtr<T> Adopt(T* object)
{
    ComPtr<T> held;
    held.Attach(object);
    return held;
}

class CWinsock {
public:
    CWinsock() { m_bUp = WSAStartup(MAKEWORD(2, 2), &m_Data) == 0; }
    ~CWinsock()
    {
        if (m_bUp)
            WSACleanup();
    }
    bool Up() const { return m_bUp; }

private:
    WSADATA m_Data = {};
    bool m_bUp = false;
};

class CDay {
public:
    explicit CDay(const std::string& work) : m_Work(work), m_Store(work + "/store") {}
    bool Run();

private:
    bool Record();
    bool Probe();
    bool PlayBack();

    bool WaitFor(CHostGraph& graph, const std::function<bool()>& done) const;
    int LastShown(CHostCameraView* view) const;
    // A played-back frame's number: its picture's, confirmed by its recorded time (-1 otherwise).
    int Played(const CHostCameraView::Shown& shown) const;
    int LastPlayed(CHostCameraView* view) const;
    REFERENCE_TIME At(int frame) const { return m_Origin + (frame - m_SegmentFirst[0]) * kFrameTime; }

    std::string m_Work;
    std::string m_Store;
    CCameraReference m_Camera;
    REFERENCE_TIME m_Origin = 0;
    std::vector<int> m_SegmentFirst;
};

bool CDay::WaitFor(CHostGraph& graph, const std::function<bool()>& done) const
{
    graph.PumpWhile(kWaitMs, nullptr, [&] { return !done(); });
    return done();
}

int CDay::LastShown(CHostCameraView* view) const
{
    CHostCameraView::Shown shown;
    return view->Last(&shown) ? shown.frame : -1;
}

int CDay::Played(const CHostCameraView::Shown& shown) const
{
    const REFERENCE_TIME offset = shown.media - m_Origin;
    if (shown.frame < 0 || shown.media < 0 || offset % kFrameTime != 0 ||
        m_SegmentFirst[0] + offset / kFrameTime != shown.frame)
        return -1;
    return shown.frame;
}

int CDay::LastPlayed(CHostCameraView* view) const
{
    CHostCameraView::Shown shown;
    return view->Last(&shown) ? Played(shown) : -1;
}

bool CDay::Record()
{
    const std::string sdp = m_Work + "/day-camera.sdp";
    const unsigned short port = V77FreeLoopbackPort(SOCK_DGRAM);
    if (port == 0 || CV77UnixProcess::Run(m_Work, "rm -rf " + m_Store + " " + sdp + " && mkdir -p " + m_Store) != 0) {
        std::printf("  no free port or no store folder\n");
        return false;
    }
    CV77UnixProcess camera(m_Work, "day-camera");
    if (!camera.Start("ffmpeg -nostdin -v error -re -i " + m_Work + "/camera.avi -map 0:v:0 -c copy -f rtp" +
                      " -sdp_file " + sdp + " rtp://127.0.0.1:" + std::to_string(port))) {
        std::printf("  the ffmpeg camera did not start\n");
        return false;
    }
    CHostGraph graph;
    if (!CheckStep("graph", graph.Create()))
        return false;
    graph.PumpWhile(kWaitMs, nullptr,
                    [&] { return CV77UnixProcess::Read(sdp).find("a=fmtp") == std::string::npos; });
    ComPtr<CHostCameraView> view = Adopt(CHostCameraView::Create(&m_Camera));
    ComPtr<CPacketCarrier> carrier = Adopt(CPacketCarrier::Create(4));
    CV77LiveRecordGraph live;
    if (!view || !carrier ||
        !CheckStep(live.Step(), live.Build(graph.Builder(), CV77UnixProcess::WinePath(sdp), view->Filter(),
                                           carrier->Filter())) ||
        !CheckStep("run", graph.Run()))
        return false;
    std::string pid = CV77UnixProcess::Read(camera.File(".pid"));
    pid.erase(std::remove(pid.begin(), pid.end(), '\n'), pid.end());
    std::printf("  ffmpeg camera (pid %s): RTP on 127.0.0.1:%u, %ldx%ld MPEG-4 Part 2, a key frame every %d\n",
                pid.c_str(), port, live.Info().Width, live.Info().Height, kGop);
    if (!WaitFor(graph, [&] { return LastShown(view.Get()) >= 0; })) {
        std::printf("  no camera frame was shown\n");
        return false;
    }
    CHostCameraView::Shown first;
    view->Last(&first);
    const int firstKey = ((first.frame + kSwitchLead) / kGop + 1) * kGop;
    m_Origin = first.media + (firstKey - first.frame) * kFrameTime;
    bool ok = true;
    for (int k = 0; k <= kSegments && ok; ++k) {
        const int key = firstKey + k * kSegmentFrames;
        ok = WaitFor(graph, [&] { return LastShown(view.Get()) >= key - kSwitchLead; }) &&
             LastShown(view.Get()) < key;
        if (!ok)
            std::printf("  segment %d: the live view showed frame %d, too late to start it at %d\n", k,
                        LastShown(view.Get()), key);
        else if (k == kSegments)
            ok = CheckStep("close segment", live.CloseSegment());
        else if ((ok = CheckStep("start segment", live.StartSegment(CV77UnixProcess::WinePath(m_Store),
                                                                      m_Origin + (key - firstKey) * kFrameTime))))
            m_SegmentFirst.push_back(key);
    }
    graph.Stop();
    camera.Stop();
    std::printf("  camera stopped by its pid\n");
    const std::vector<CHostCameraView::Shown> shown = view->Frames();
    size_t lost = 0;
    for (size_t i = 1; i < shown.size(); ++i)
        lost += shown[i].frame == shown[i - 1].frame + 1 ? 0 : 1;
    std::printf("  live view: %zu frames, camera frames %d..%d, %zu out of order or lost\n", shown.size(),
                shown.empty() ? -1 : shown.front().frame, shown.empty() ? -1 : shown.back().frame, lost);
    std::printf("  recording: %zu segments from camera frame %d on, a new one every %d frames\n",
                m_SegmentFirst.size(), firstKey, kSegmentFrames);
    // The live queue drops its oldest frames when the view cannot keep up (a loaded machine); the
    // recording, judged frame by frame in Probe, shows whether the camera's stream arrived whole.
    const size_t allowed = shown.size() / 50;
    if (lost > 0)
        std::printf("  live view: %zu gaps (%s; the recording below must still be whole)\n", lost,
                    lost <= allowed ? "within the 2 % a loaded machine may drop" : "more than 2 %: too many");
    return ok && lost <= allowed && !shown.empty() && shown.front().frame >= 0;
}

bool CDay::Probe()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((CV77UnixProcess::WinePath(m_Store) + L"\\*.avi").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            names.push_back(std::string(name.begin(), name.end()));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    bool ok = names.size() == m_SegmentFirst.size();
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string segment = m_Store + "/" + names[k];
        const std::string out = m_Work + "/day-segment-" + std::to_string(k);
        const int rc = CV77UnixProcess::Run(m_Work,
            "ffprobe -v error -select_streams v:0 -show_entries stream=codec_tag_string,nb_frames -of csv=p=0 " +
            segment + " > " + out + ".probe && ffmpeg -nostdin -v error -y -i " + segment +
            " -map 0:v:0 -c copy -f framecrc " + out + ".crc");
        std::string probe = CV77UnixProcess::Read(out + ".probe");
        probe.erase(std::remove(probe.begin(), probe.end(), '\n'), probe.end());
        const std::vector<int> frames = m_Camera.IdentifyList(CV77UnixProcess::WinePath(out + ".crc"));
        bool consecutive = !frames.empty() && k < m_SegmentFirst.size() && frames[0] == m_SegmentFirst[k];
        for (size_t i = 1; i < frames.size(); ++i)
            consecutive = consecutive && frames[i] == frames[i - 1] + 1;
        // ffprobe prints the tag and the frame count: "DX50,<frames>".
        const bool agreed = rc == 0 && probe == "DX50," + std::to_string(frames.size());
        std::printf("  segment %s: ffprobe \"%s\"; camera frames %d..%d%s\n", names[k].c_str(), probe.c_str(),
                    frames.empty() ? -1 : frames.front(), frames.empty() ? -1 : frames.back(),
                    consecutive && agreed ? "" : " (NOT as recorded)");
        ok = ok && consecutive && agreed;
    }
    if (names.size() != m_SegmentFirst.size())
        std::printf("  %zu segments written, %zu started\n", names.size(), m_SegmentFirst.size());
    return ok;
}

bool CDay::PlayBack()
{
    CHostGraph graph;
    if (!CheckStep("graph", graph.Create()))
        return false;
    std::vector<ComPtr<CHostCameraView>> views;
    std::vector<ComPtr<CPacketCarrier>> carriers;
    std::vector<IBaseFilter*> viewFilters, carrierFilters;
    for (int i = 0; i < 3; ++i) {
        views.push_back(Adopt(CHostCameraView::Create(&m_Camera)));
        carriers.push_back(Adopt(CPacketCarrier::Create(40)));
        if (!views.back() || !carriers.back())
            return false;
        viewFilters.push_back(views.back()->Filter());
        carrierFilters.push_back(carriers.back()->Filter());
    }
    CV77PlaybackGroup group;
    // The views finish their transition only with a first frame, after the first seek.
    if (!CheckStep("playback group", group.Build(graph.Builder(), CV77UnixProcess::WinePath(m_Store), viewFilters,
                                                 carrierFilters)) ||
        !CheckStep("run", graph.Run()) || !CheckStep("start", group.Start(m_Origin)))
        return false;
    CHostCameraView* master = views[0].Get();
    bool ok = true;
    // Every frame each view showed since the last phase, named; any not named fails the day.
    const auto report = [&](const char* phase) {
        for (size_t v = 0; v < views.size(); ++v) {
            const std::vector<CHostCameraView::Shown> shown = views[v]->Frames();
            size_t unnamed = 0;
            for (const auto& s : shown)
                unnamed += Played(s) < 0 ? 1 : 0;
            std::printf("  %-14s view %zu: %3zu frames, %d..%d%s\n", phase, v, shown.size(),
                        shown.empty() ? -1 : shown.front().frame, shown.empty() ? -1 : shown.back().frame,
                        unnamed ? " (some not named by picture and time)" : "");
            ok = ok && !shown.empty() && unnamed == 0;
            views[v]->Clear();
        }
    };

    const int seek = m_SegmentFirst[1] + 10;
    if (!CheckStep("seek", group.Seek(At(seek))) || !CheckStep("rate 1", group.SetRate(1.0)))
        return false;
    ok = WaitFor(graph, [&] { return master->Frames().size() >= 12; }) && master->Frames().front().frame == seek;
    report("seek, rate 1:");
    const int ahead = m_SegmentFirst[2] + 10;
    if (!CheckStep("rate 4", group.SetRate(4.0)))
        return false;
    ok = WaitFor(graph, [&] { return LastPlayed(master) >= ahead; }) && ok;
    report("rate 4:");
    if (!CheckStep("hold", group.SetRate(0.001)))
        return false;
    graph.PumpFor(200, nullptr);
    for (LONG step : {1, 1, -1}) {
        const int before = LastPlayed(master);
        int shown[3] = {};
        const bool moved = SUCCEEDED(group.Step(step, 2)) && WaitFor(graph, [&] {
            for (int v = 0; v < 3; ++v)
                shown[v] = LastPlayed(views[v].Get());
            return shown[0] != before && shown[0] == shown[1] && shown[1] == shown[2];
        });
        std::printf("  step %+ld on view 2: views show frames %d %d %d%s\n", step, shown[0], shown[1], shown[2],
                    moved ? "" : " (NOT together)");
        ok = ok && moved;
    }
    graph.Stop();
    return ok;
}

bool CDay::Run()
{
    if (!m_Camera.Load(CV77UnixProcess::WinePath(m_Work + "/camera.crc"))) {
        std::printf("  no packet list of the camera in %s\n", m_Work.c_str());
        return false;
    }
    const ULONGLONG start = GetTickCount64();
    const bool ok = Record() && Probe() && PlayBack();
    std::printf("  the day took %.1f s: %s\n", (GetTickCount64() - start) / 1000.0, ok ? "ok" : "FAILED");
    return ok;
}

}  // namespace

bool RunDayDemo(const std::wstring& work)
{
    if (work.empty()) {
        std::printf("  no camera folder given (--day)\n");
        return false;
    }
    CWinsock winsock;
    if (!winsock.Up())
        return false;
    CDay day(std::string(work.begin(), work.end()));
    return day.Run();
}
