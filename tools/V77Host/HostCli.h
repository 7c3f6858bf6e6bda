// What every host subcommand shares: exit codes, one-line errors on stderr,
// --help, and the common options --duration and --screenshot.
#pragma once

#include <windows.h>
#include <string>
#include <vector>
#include "tools/V77Host/CHostArgs.h"

// Exit codes of every subcommand.
enum : int {
    kHostExitOk = 0,       // the work was done
    kHostExitFailure = 1,  // a platform or module call failed, or the result was wrong
    kHostExitUsage = 2,    // bad arguments: nothing was started
};

struct HostCommandLine {
    CHostArgs args;
    double durationSeconds = 0;
    std::wstring screenshot;  // empty: none
};

struct HostCommandSpec {
    const char* name;
    const char* usage;  // the --help text after "usage: V77Host "
    std::vector<HostOption> options;
    size_t minPositionals;
    size_t maxPositionals;
    double defaultDuration;  // seconds
};

// Parses argv (argv[0] the command's name). Returns -1 to go on; otherwise
// the exit code: 0 after --help, kHostExitUsage after a usage error.
int ParseHostCommand(const HostCommandSpec& spec, int argc, char** argv, HostCommandLine* line);

// "V77Host CMD: message" and a pointer to --help, on stderr; kHostExitUsage.
int HostUsageError(const char* command, const std::string& message);
// "V77Host CMD: what: CODE (0x...): meaning" on stderr; kHostExitFailure.
int HostFailure(const char* command, const std::string& what, HRESULT hr);
// "V77Host CMD: message" on stderr; kHostExitFailure.
int HostFailure(const char* command, const std::string& message);

std::wstring Widen(const std::string& text);
// Creates or truncates path and writes size bytes; false on any failure.
bool WriteWholeFile(const std::wstring& path, const BYTE* data, DWORD size);
// A file argument: a Unix absolute path (/tmp/x) becomes Z:\tmp\x, the
// drive under which Wine shows the Unix root; anything else is kept.
std::wstring HostPath(const std::string& text);
