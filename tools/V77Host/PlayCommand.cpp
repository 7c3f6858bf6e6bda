#include "tools/V77Host/PlayCommand.h"

#include <cstdio>
#include <string>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/CHostPlayScript.h"
#include "tools/V77Host/CHostProgress.h"
#include "tools/V77Host/CPlaybackGroup.h"
#include "tools/V77Host/HostCli.h"
#include "tools/V77Host/HostPng.h"
#include "tools/V77Host/HostText.h"
#include "v77/V77Events.h"

namespace {

const char kUsage[] =
    "play STORE [options]\n"
    "Plays a recording store back in synchronised windows: per view the store source -> buffer\n"
    "filter (time-shift queue; the first view's is the group's master) -> GDI renderer.\n"
    "  --views N              windows in the group, 1-9 (default 1)\n"
    "  --seek SECONDS         start this far into the store (default 0)\n"
    "  --rate R               play rate, -16 to 16 (default 1; negative plays backward)\n"
    "  --step N               once frames show, hold and step N frames (negative: backward)\n"
    "  --script FILE|-        commands, one a line: wait S, seek S, rate R, step N, pause, play,\n"
    "                         screenshot FILE.png, quit; '-' reads them (and the keys p . , + - q,\n"
    "                         each with Enter) from stdin while playing\n"
    "  --duration SECONDS     how long to play (default 10; a script's quit ends sooner)\n"
    "  --screenshot FILE.png  save the first window at the end (FILE-2.png ... for the others)\n"
    "Exit codes: 0 played, 1 a call failed or a view showed no frame, 2 bad arguments.";

constexpr double kRateLimit = 16;

std::wstring NumberedPath(const std::wstring& path, size_t view)
{
    if (view == 0)
        return path;
    const size_t dot = path.rfind(L'.');
    const std::wstring suffix = L"-" + std::to_wstring(view + 1);
    return dot == std::wstring::npos ? path + suffix : path.substr(0, dot) + suffix + path.substr(dot);
}

HRESULT SaveScreenshots(CPlaybackGroup& group, const std::wstring& path)
{
    for (size_t v = 0; v < group.Views(); ++v) {
        const HRESULT hr = SaveWindowPng(group.Window(v), NumberedPath(path, v));
        if (FAILED(hr))
            return hr;
        std::printf("play: screenshot of view %zu saved to %ls\n", v + 1, NumberedPath(path, v).c_str());
    }
    return S_OK;
}

class CPlayer {
public:
    CPlayer(CPlaybackGroup& group, REFERENCE_TIME origin, double rate) : m_Group(group), m_Origin(origin), m_Rate(rate) {}

    // Carries one command out; false with *hr on failure or at quit.
    bool Execute(const HostPlayCommand& command, HRESULT* hr)
    {
        std::printf("play: %s%s%s\n", KindText(command.kind), command.text.empty() ? "" : " ", command.text.c_str());
        std::fflush(stdout);
        switch (command.kind) {
        case HostPlayCommand::Seek:
            *hr = m_Group.Seek(m_Origin + static_cast<REFERENCE_TIME>(command.value * 1e7));
            break;
        case HostPlayCommand::Rate:
            *hr = SetRate(command.value);
            break;
        case HostPlayCommand::Faster:
            *hr = SetRate(m_Rate * 2);
            break;
        case HostPlayCommand::Slower:
            *hr = SetRate(m_Rate / 2);
            break;
        case HostPlayCommand::Step:
            m_bPaused = true;
            *hr = m_Group.Step(static_cast<long>(command.value));
            break;
        case HostPlayCommand::Pause:
            m_bPaused = true;
            *hr = m_Group.SetRate(0);
            break;
        case HostPlayCommand::Play:
            m_bPaused = false;
            *hr = m_Group.SetRate(m_Rate);
            break;
        case HostPlayCommand::TogglePause:
            m_bPaused = !m_bPaused;
            *hr = m_Group.SetRate(m_bPaused ? 0 : m_Rate);
            break;
        case HostPlayCommand::Screenshot:
            *hr = SaveScreenshots(m_Group, HostPath(command.text));
            break;
        case HostPlayCommand::Quit:
        case HostPlayCommand::Wait:
            *hr = S_OK;
            return command.kind != HostPlayCommand::Quit;
        }
        return SUCCEEDED(*hr);
    }

    HRESULT SetRate(double rate)
    {
        if (rate > kRateLimit || rate < -kRateLimit || rate == 0)
            return E_INVALIDARG;
        m_Rate = rate;
        m_bPaused = false;
        return m_Group.SetRate(rate);
    }

private:
    static const char* KindText(HostPlayCommand::Kind kind)
    {
        static const char* const kText[] = {"wait", "seek", "rate", "step", "pause", "play", "pause/play",
                                            "faster", "slower", "screenshot", "quit"};
        return kText[kind];
    }

    CPlaybackGroup& m_Group;
    REFERENCE_TIME m_Origin;
    double m_Rate;
    bool m_bPaused = false;
};

}  // namespace

int RunPlayCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"play", kUsage, {{"--views", true}, {"--seek", true}, {"--rate", true}, {"--step", true},
                                             {"--script", true}}, 1, 1, 10};
    HostCommandLine line;
    int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    long views = 1, step = 0;
    double seek = 0, rate = 1;
    CHostArgs& args = line.args;
    if (!args.Integer("--views", 1, 9, &views) || !args.Number("--seek", 0, 1e7, &seek) ||
        !args.Number("--rate", -kRateLimit, kRateLimit, &rate) || !args.Integer("--step", -100000, 100000, &step))
        return HostUsageError("play", args.Error());
    if (rate == 0)
        return HostUsageError("play", "--rate 0 plays nothing: use --step or a script's pause");
    CHostPlayScript script;
    std::string error;
    const std::string scriptName = args.Value("--script");
    if (!scriptName.empty() && scriptName != "-" && !script.LoadFile(HostPath(scriptName), &error))
        return HostUsageError("play", "--script " + scriptName + ": " + error);
    const std::wstring store = HostPath(args.Positionals()[0]);
    const REFERENCE_TIME origin = CPlaybackGroup::StoreStart(store);
    if (origin == 0)
        return HostFailure("play", "no recording segment (TIME.avi) in " + args.Positionals()[0]);
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("play", "CoInitializeEx", com.Result());
    CPlaybackGroup group;
    HRESULT hr = group.Build(store, static_cast<int>(views));
    if (SUCCEEDED(hr))
        hr = group.Start(origin + static_cast<REFERENCE_TIME>(seek * 1e7), rate);
    if (FAILED(hr))
        return HostFailure("play", group.FailedStep(), hr);
    std::printf("play: %s, %ldx%ld, %ld view(s) from +%.2f s at rate %g\n", args.Positionals()[0].c_str(),
                group.Info().Width, group.Info().Height, views, seek, rate);
    std::fflush(stdout);
    CPlayer player(group, origin, rate);
    if (scriptName == "-")
        script.FollowStdin();
    bool stepPending = step != 0;
    HRESULT failed = S_OK;
    CHostProgress progress("play");
    group.Graph().PumpWhile(static_cast<DWORD>(line.durationSeconds * 1000), [&](long code, LONG_PTR p1, LONG_PTR) {
        if (code == EC_ERRORABORT)
            failed = static_cast<HRESULT>(p1);
        else if (code == EC_V77_STOP_POSITION)
            std::printf("play: the start or the end of the recording was reached\n");
    }, [&] {
        progress.Update(group.Figures());
        if (stepPending && group.Frames(0) > 0) {
            stepPending = false;
            player.Execute({HostPlayCommand::Step, static_cast<double>(step), std::to_string(step)}, &failed);
        }
        HostPlayCommand command = {};
        bool going = SUCCEEDED(failed);
        while (going && script.Next(&command))
            going = player.Execute(command, &failed);
        return going;
    });
    if (SUCCEEDED(failed) && !line.screenshot.empty())
        failed = SaveScreenshots(group, line.screenshot);
    const HostFigures figures = group.Figures();
    group.Stop();
    progress.Finish(figures);
    bool shown = true;
    for (size_t v = 0; v < group.Views(); ++v) {
        const REFERENCE_TIME last = group.LastTime(v);
        std::printf("play: view %zu: %ld frames, last at +%.3f s\n", v + 1, group.Frames(v),
                    last ? (last - origin) / 1e7 : 0.0);
        shown = shown && group.Frames(v) > 0;
    }
    if (FAILED(failed))
        return HostFailure("play", group.FailedStep(), failed);
    return shown ? kHostExitOk : HostFailure("play", "a view showed no frame");
}
