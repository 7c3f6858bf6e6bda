#include "tools/V77Host/HostCommand.h"

#include <cstdio>
#include <cstring>
#include "tools/V77Host/DemoCommand.h"

namespace {

const HostCommand kCommands[] = {
    {"demo", "list and create the module's filters, play a live graph into a window, save a JPEG snapshot ([--snapshot PATH])", RunDemoCommand},
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
    std::printf("usage: V77Host <command> [arguments]\n");
    for (const HostCommand& command : kCommands)
        std::printf("  %-10s %s\n", command.name, command.summary);
}
