#include "tools/V77Host/RecordCommand.h"

#include <cstdio>
#include <string>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/CRecordGraph.h"
#include "tools/V77Host/HostText.h"
#include "tools/V77Host/LiveCommandSupport.h"

namespace {

const std::string kUsage = std::string(
    "record SOURCE STORE [options]\n"
    "Records a live source into a recording store (a folder of AVI segments named by the file time\n"
    "of their start) while showing it: primary output -> buffer filter -> [platform decoder] ->\n"
    "renderer in a window, secondary output -> AVI file renderer. A compressed stream that the\n"
    "platform cannot decode is recorded unchanged and shown by no window (the null renderer).\n"
    "SOURCE as for view.\n"
    "  --duration SECONDS     how long to record (default 10)\n"
    "  --segment SECONDS      length of each segment (default 60)\n"
    "  --screenshot FILE.png  save what the window shows at the end\n") + kLiveViewOptionsHelp +
    "Exit codes: 0 recorded, 1 a call failed or no frame arrived, 2 bad arguments.";

std::vector<HostOption> RecordOptions()
{
    std::vector<HostOption> options = LiveViewOptions();
    options.push_back({"--segment", true});
    return options;
}

}  // namespace

int RunRecordCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"record", kUsage.c_str(), RecordOptions(), 2, 2, 10};
    HostCommandLine line;
    int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    LiveViewConfig config;
    config.undecodedToNull = true;
    if ((code = ParseLiveViewConfig("record", line.args, &config)) >= 0)
        return code;
    double segment = 60;
    if (!line.args.Number("--segment", 0.5, 86400, &segment))
        return HostUsageError("record", line.args.Error());
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("record", "CoInitializeEx", com.Result());
    CHostLiveSource source;
    std::string error;
    if (!source.Parse(line.args.Positionals()[0], &error))
        return HostUsageError("record", error);
    CRecordGraph record;
    HRESULT hr = record.Build(source, config, HostPath(line.args.Positionals()[1]), segment);
    if (FAILED(hr))
        return HostFailure("record", record.FailedStep(), hr);
    std::printf("record: %s into %s, segments of %.1f s%s\n", source.Description().c_str(),
                line.args.Positionals()[1].c_str(), segment,
                record.View().Window() ? "" : " (no decoder for this format: not shown)");
    std::fflush(stdout);
    HRESULT segmentResult = S_OK;
    code = RunLiveView("record", record.View(), line, [&] {
        const int before = record.Segments();
        segmentResult = record.Tick();
        if (SUCCEEDED(segmentResult) && record.Segments() != before)
            std::printf("record: segment %d: %ls\n", record.Segments(), record.CurrentFile().c_str());
        return SUCCEEDED(segmentResult);
    });
    const HRESULT closed = record.Finish();
    if (FAILED(segmentResult))
        return HostFailure("record", record.FailedStep(), segmentResult);
    if (FAILED(closed))
        return HostFailure("record", "close the last segment", closed);
    if (code == kHostExitOk)
        std::printf("record: %d segment(s) written\n", record.Segments());
    return code;
}
