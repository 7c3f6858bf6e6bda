// Console host of the module's filters under real DirectShow graphs.
#include <cstdio>
#include "tools/V77Host/HostCommand.h"

int main(int argc, char** argv)
{
    const HostCommand* command = argc > 1 ? FindHostCommand(argv[1]) : nullptr;
    if (!command) {
        if (argc > 1)
            std::fprintf(stderr, "V77Host: unknown command \"%s\"\n", argv[1]);
        PrintHostUsage();
        return 2;
    }
    return command->run(argc - 1, argv + 1);
}
