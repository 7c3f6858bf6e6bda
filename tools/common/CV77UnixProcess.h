// A Linux program started from a Windows program under Wine (a camera, a
// checker such as ffprobe): Wine runs /bin/sh on a script written into a
// work folder. A background program is started with setsid, its pid kept in
// a file, and stopped by that pid only. Files are exchanged through the work
// folder, which Windows sees under drive Z:.
#pragma once

#include <windows.h>
#include <string>

class CV77UnixProcess {
public:
    // workDir: a Unix folder; name: a stem unique in it.
    CV77UnixProcess(const std::string& workDir, const std::string& name);
    ~CV77UnixProcess();
    CV77UnixProcess(const CV77UnixProcess&) = delete;
    CV77UnixProcess& operator=(const CV77UnixProcess&) = delete;

    // Starts command (a shell command line) in the background; false when its
    // pid did not appear within timeoutMs. Output goes to File(".log").
    bool Start(const std::string& command, DWORD timeoutMs = 10000);
    // Kills the started program by its pid (SIGTERM, then SIGKILL after 2 s).
    void Stop();
    bool Running() const { return m_bStarted; }

    // Runs command to its end: its exit code, or -1 after timeoutMs.
    static int Run(const std::string& workDir, const std::string& command, DWORD timeoutMs = 60000);
    static std::wstring WinePath(const std::string& unixPath);
    static bool Exists(const std::string& unixPath);
    static std::string Read(const std::string& unixPath);
    // Unix programs launched so far by this process (Wine keeps a handle for each).
    static long Launches();

    std::string File(const std::string& suffix) const { return m_Stem + suffix; }

private:
    static void StartScript(const std::string& workDir, const std::string& command);

    std::string m_WorkDir;
    std::string m_Stem;
    bool m_bStarted = false;
};
