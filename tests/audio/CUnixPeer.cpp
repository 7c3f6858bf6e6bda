#include "tests/audio/CUnixPeer.h"

#include <cstdio>
#include <fstream>
#include <sstream>

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
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return out;
}

bool FileExists(const std::string& unixPath)
{
    return GetFileAttributesW(WinePath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBinaryFile(const std::string& unixPath)
{
    std::ifstream in(WinePath(unixPath).c_str(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

std::string ReadTextFile(const std::string& unixPath)
{
    return ReadBinaryFile(unixPath);
}

namespace {

int g_Scripts = 0;

// Runs sh with one script file; the script holds the command, so nothing needs
// quoting for Windows. Wine starts a Unix program but reports failure (there is
// no Windows process to hand back), so callers watch for the files it writes.
void StartScript(const std::string& command)
{
    const std::string script =
        AudioWorkDir() + "/run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_Scripts) + ".sh";
    {
        std::ofstream out(WinePath(script).c_str(), std::ios::binary);
        out << command << "\n";
    }
    std::wstring line = L"/bin/sh " + std::wstring(script.begin(), script.end());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(L"Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

}  // namespace

int RunUnix(const std::string& command, DWORD timeoutMs)
{
    const std::string status = AudioWorkDir() + "/status-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(g_Scripts + 1);
    DeleteFileW(WinePath(status).c_str());
    StartScript("(" + command + "); echo $? > " + status);
    if (!WaitUntil([&] { return FileExists(status); }, timeoutMs))
        return -1;
    Sleep(20);
    const std::string text = ReadTextFile(status);
    return text.empty() ? -1 : std::atoi(text.c_str());
}

CUnixPeer::CUnixPeer(const std::string& name)
    : m_Stem(AudioWorkDir() + "/" + name + "-" + std::to_string(GetCurrentProcessId()))
{
    for (const char* suffix : {".pid", ".ready", ".done"})
        DeleteFileW(WinePath(m_Stem + suffix).c_str());
}

CUnixPeer::~CUnixPeer()
{
    Stop();
}

bool CUnixPeer::Start(const std::string& modeAndArgs)
{
    // setsid: the peer must outlive the shell that starts it.
    const std::string command = "setsid python3 " V77_AUDIO_PEER " " + modeAndArgs + " --pidfile " + File(".pid") +
                                " --ready " + File(".ready") + " --done " + File(".done") + " > " + File(".log") +
                                " 2>&1 &";
    StartScript(command);
    m_bStarted = WaitUntil([&] { return FileExists(File(".pid")); }, 10000);
    return m_bStarted;
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

void CUnixPeer::Stop()
{
    if (!m_bStarted)
        return;
    m_bStarted = false;
    const std::string pid = ReadTextFile(File(".pid"));
    if (!pid.empty())
        RunUnix("kill " + pid + " 2>/dev/null; true", 10000);
}
