#include "tools/V77Host/HostCommand.h"

#include <cstdio>
#include <cstring>
#include "tools/V77Host/AudioCommand.h"
#include "tools/V77Host/DemoCommand.h"
#include "tools/V77Host/FiltersCommand.h"
#include "tools/V77Host/PlayCommand.h"
#include "tools/V77Host/RecordCommand.h"
#include "tools/V77Host/SnapshotCommand.h"
#include "tools/V77Host/SpyCommand.h"
#include "tools/V77Host/ViewCommand.h"

namespace {

const HostCommand kCommands[] = {
    {"demo", "list and create the module's filters, play a live graph into a window, save a JPEG snapshot ([--snapshot PATH])", RunDemoCommand},
    {"filters", "the 23 filters with their pins as the filter mapper sees them", RunFiltersCommand},
    {"view", "show a live source (AVI, SDP, tcp://, local) in a window", RunViewCommand},
    {"snapshot", "write one JPEG of a live source", RunSnapshotCommand},
    {"record", "view a live source and record it into a store in segments", RunRecordCommand},
    {"spy", "capture a window (title, handle or desktop) with the window spy and show it", RunSpyCommand},
    {"audio", "relay PCM from UDP through the audio mute to a TCP peer", RunAudioCommand},
    {"play", "play a recording store in synchronised windows with seek, rate and step", RunPlayCommand},
};

}  // namespace

const HostCommand* FindHostCommand(const char* name)
{
    for (const HostCommand& command : kCommands) {
        if (std::strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

void PrintHostUsage()
{
    std::printf("usage: V77Host <command> [arguments]   (V77Host <command> --help for its options)\n");
    for (const HostCommand& command : kCommands)
        std::printf("  %-10s %s\n", command.name, command.summary);
    std::printf("Exit codes: 0 ok, 1 runtime failure, 2 usage error.\n");
}
