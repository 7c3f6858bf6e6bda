#include "tests/audio/CUnixPeer.h"

#include <cstdlib>

#include "tests/kit/TestWait.h"

std::string AudioWorkDir()
{
    static const std::string dir = [] {
        const std::string d = V77_AUDIO_WORK_DIR;
        CreateDirectoryW(WinePath(d).c_str(), nullptr);
        return d;
    }();
    return dir;
}

std::wstring WinePath(const std::string& unixPath)
{
    return CV77UnixProcess::WinePath(unixPath);
}

bool FileExists(const std::string& unixPath)
{
    return CV77UnixProcess::Exists(unixPath);
}

std::string ReadBinaryFile(const std::string& unixPath)
{
    return CV77UnixProcess::Read(unixPath);
}

std::string ReadTextFile(const std::string& unixPath)
{
    return CV77UnixProcess::Read(unixPath);
}

int RunUnix(const std::string& command, DWORD timeoutMs)
{
    return CV77UnixProcess::Run(AudioWorkDir(), command, timeoutMs);
}

CUnixPeer::CUnixPeer(const std::string& name) : m_Process(AudioWorkDir(), name)
{
    for (const char* suffix : {".ready", ".done"})
        DeleteFileW(WinePath(File(suffix)).c_str());
}

bool CUnixPeer::Start(const std::string& modeAndArgs)
{
    // Started once the peer itself wrote its pid: python3 may be a launcher
    // that takes a second or two to become the peer.
    DeleteFileW(WinePath(File(".peer-pid")).c_str());
    return m_Process.Start("python3 " V77_AUDIO_PEER " " + modeAndArgs + " --pidfile " + File(".peer-pid") +
                           " --ready " + File(".ready") + " --done " + File(".done")) &&
           WaitUntil([&] { return FileExists(File(".peer-pid")); }, 10000);
}

int CUnixPeer::WaitPort(DWORD timeoutMs)
{
    if (!WaitUntil([&] { return FileExists(File(".ready")); }, timeoutMs))
        return 0;
    return std::atoi(ReadTextFile(File(".ready")).c_str());
}

std::string CUnixPeer::WaitDone(DWORD timeoutMs)
{
    WaitUntil([&] { return FileExists(File(".done")); }, timeoutMs);
    return Done();
}

std::string CUnixPeer::Done() const
{
    return FileExists(File(".done")) ? ReadTextFile(File(".done")) : std::string();
}
