// What the live commands (view, record, snapshot) share: the view options
// and the timed run with its progress line and graph events.
#pragma once

#include <functional>
#include <vector>
#include "tools/V77Host/CHostArgs.h"
#include "tools/V77Host/CLiveViewGraph.h"
#include "tools/V77Host/HostCli.h"

// --renderer gdi|ddraw, --buffer N, --brightness B, --contrast C, --deinterlace off|blend|double
std::vector<HostOption> LiveViewOptions();
extern const char kLiveViewOptionsHelp[];

// Fills config from the options; a usage error's exit code, or -1.
int ParseLiveViewConfig(const char* command, CHostArgs& args, LiveViewConfig* config);

// Parses SOURCE and builds the view; the exit code of a failure, or -1.
int BuildLiveView(const char* command, const std::string& sourceText, const LiveViewConfig& config,
                  CHostLiveSource* source, CLiveViewGraph* view);

// Runs the graph for line.durationSeconds, pumping messages, printing the
// progress line and the notable events; tick (may be empty) runs between
// rounds. Saves line.screenshot from the window before stopping. Returns
// the exit code. With keepRunning the graph is left running (for a last
// look at the renderer).
int RunLiveView(const char* command, CLiveViewGraph& view, const HostCommandLine& line,
                const std::function<bool()>& tick, bool keepRunning = false);
