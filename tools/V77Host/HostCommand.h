// The host's subcommands: "V77Host <command> [args]". Each command lives in
// its own source file and is listed once in HostCommand.cpp.
#pragma once

struct HostCommand {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv);  // argv[0] is the command's name
};

// Null for an unknown name.
const HostCommand* FindHostCommand(const char* name);
void PrintHostUsage();
