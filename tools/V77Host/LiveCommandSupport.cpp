#include "tools/V77Host/LiveCommandSupport.h"

#include <cstdio>
#include "tools/V77Host/HostPng.h"
#include "tools/V77Host/HostText.h"
#include "v77/V77Events.h"

std::vector<HostOption> LiveViewOptions()
{
    return {{"--renderer", true}, {"--buffer", true}, {"--brightness", true}, {"--contrast", true},
            {"--deinterlace", true}};
}

const char kLiveViewOptionsHelp[] =
    "  --renderer gdi|ddraw   the GDI renderer (default) or the DirectDraw renderer\n"
    "  --buffer N             frames the buffer filter queues (1-64, raised to the queue's minimum of 9;\n"
    "                         a queue larger than that holds the receiver's whole pool of 8 samples\n"
    "                         and the view stalls after 8 frames)\n"
    "  --brightness B         -128 to 128 (0 keeps the picture)\n"
    "  --contrast C           -1 to 127 (0 keeps the picture, -1 makes it flat)\n"
    "  --deinterlace MODE     off, blend or double (line doubling)\n";

int ParseLiveViewConfig(const char* command, CHostArgs& args, LiveViewConfig* config)
{
    const std::string renderer = args.Value("--renderer", "gdi");
    if (renderer == "ddraw")
        config->renderer = HostRenderer::DirectDraw;
    else if (renderer != "gdi")
        return HostUsageError(command, "--renderer takes gdi or ddraw, not \"" + renderer + "\"");
    if (!args.Integer("--buffer", 1, 64, &config->bufferCount) ||
        !args.Number("--brightness", -128, 128, &config->brightness) ||
        !args.Number("--contrast", -1, 127, &config->contrast))
        return HostUsageError(command, args.Error());
    config->picture = args.Has("--brightness") || args.Has("--contrast");
    if (args.Has("--deinterlace")) {
        const std::string mode = args.Value("--deinterlace");
        config->deinterlace = mode == "off" ? 0 : mode == "blend" ? 1 : mode == "double" ? 2 : -1;
        if (config->deinterlace < 0)
            return HostUsageError(command, "--deinterlace takes off, blend or double, not \"" + mode + "\"");
    }
    return -1;
}

int BuildLiveView(const char* command, const std::string& sourceText, const LiveViewConfig& config,
                  CHostLiveSource* source, CLiveViewGraph* view)
{
    std::string error;
    if (!source->Parse(sourceText, &error))
        return HostUsageError(command, error);
    const HRESULT hr = view->Build(*source, config);
    if (FAILED(hr))
        return HostFailure(command, view->FailedStep(), hr);
    std::printf("%s: %s", command, source->Description().c_str());
    if (!view->Decoder().empty())
        std::printf(", decoded by \"%s\"", view->Decoder().c_str());
    std::printf("\n");
    std::fflush(stdout);
    return -1;
}

int RunLiveView(const char* command, CLiveViewGraph& view, const HostCommandLine& line,
                const std::function<bool()>& tick, bool keepRunning)
{
    HRESULT hr = view.Run();
    if (FAILED(hr))
        return HostFailure(command, view.FailedStep(), hr);
    CHostProgress progress(command);
    HRESULT aborted = S_OK;
    view.Graph().PumpWhile(static_cast<DWORD>(line.durationSeconds * 1000), [&](long code, LONG_PTR p1, LONG_PTR) {
        if (code == EC_ERRORABORT)
            aborted = static_cast<HRESULT>(p1);
        else if (code == EC_V77_STREAM_EVENT_1)
            std::printf("%s: the stream started\n", command);
        else if (code == EC_V77_STREAM_EVENT_2)
            std::printf("%s: the stream ended or broke\n", command);
    }, [&] {
        progress.Update(view.Figures());
        return SUCCEEDED(aborted) && (!tick || tick());
    });
    HRESULT saved = S_OK;
    if (!line.screenshot.empty() && view.Window())
        saved = SaveWindowPng(view.Window(), line.screenshot);
    const HostFigures figures = view.Figures();
    if (!keepRunning || FAILED(aborted))
        view.Stop();
    progress.Finish(figures);
    if (FAILED(aborted))
        return HostFailure(command, "the graph stopped with an error", aborted);
    if (FAILED(saved))
        return HostFailure(command, "saving the screenshot " + Narrow(line.screenshot.c_str()), saved);
    if (!line.screenshot.empty() && view.Window())
        std::printf("%s: screenshot saved to %ls\n", command, line.screenshot.c_str());
    if (figures.frames == 0)
        return HostFailure(command, "no frame reached the renderer");
    return kHostExitOk;
}
