#include "tools/V77Host/ViewCommand.h"

#include <string>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/LiveCommandSupport.h"

namespace {

const std::string kUsage = std::string(
    "view SOURCE [options]\n"
    "Shows a live source in a window: SOURCE -> buffer filter -> [platform decoder] -> renderer.\n"
    "SOURCE is FILE.avi (AVI file receiver, looped), FILE.sdp (RTP camera), tcp://HOST:PORT\n"
    "(MPEG-4 elementary stream) or local[:NAME] (the local capture process).\n"
    "  --duration SECONDS     how long to show it (default 10)\n"
    "  --screenshot FILE.png  save what the window shows at the end\n") + kLiveViewOptionsHelp +
    "Exit codes: 0 shown, 1 a call failed or no frame arrived, 2 bad arguments.";

}  // namespace

int RunViewCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"view", kUsage.c_str(), LiveViewOptions(), 1, 1, 10};
    HostCommandLine line;
    int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    LiveViewConfig config;
    if ((code = ParseLiveViewConfig("view", line.args, &config)) >= 0)
        return code;
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("view", "CoInitializeEx", com.Result());
    CHostLiveSource source;
    CLiveViewGraph view;
    if ((code = BuildLiveView("view", line.args.Positionals()[0], config, &source, &view)) >= 0)
        return code;
    return RunLiveView("view", view, line, nullptr);
}
