// The audio suites' Python socket peer, started from a Wine test as the
// tools' Linux process (setsid, its pid recorded, stopped by that pid only),
// and the files it answers through: its port (ready) and its result (done),
// in the work folder that Wine sees as the Z: drive.
#pragma once

#include <windows.h>
#include <string>
#include "tools/common/CV77UnixProcess.h"

// The Unix work folder of the audio suites (created on first use).
std::string AudioWorkDir();
// The Windows path of a Unix path (Z: drive).
std::wstring WinePath(const std::string& unixPath);
// Runs a shell command line to its end (bounded); its exit code, or -1.
int RunUnix(const std::string& command, DWORD timeoutMs = 60000);
bool FileExists(const std::string& unixPath);
std::string ReadTextFile(const std::string& unixPath);
std::string ReadBinaryFile(const std::string& unixPath);

class CUnixPeer {
public:
    // name: a unique stem for the peer's pid, ready and done files.
    explicit CUnixPeer(const std::string& name);

    // Starts the audio peer script with these arguments (after the mode).
    bool Start(const std::string& modeAndArgs);
    // The port the peer listens on (from its ready file), 0 after timeoutMs.
    int WaitPort(DWORD timeoutMs = 10000);
    // The peer's done file, "" when it is not there after timeoutMs.
    std::string WaitDone(DWORD timeoutMs);
    // The done file as it is now ("" when absent).
    std::string Done() const;
    void Stop() { m_Process.Stop(); }

    std::string File(const std::string& suffix) const { return m_Process.File(suffix); }

private:
    CV77UnixProcess m_Process;
};
