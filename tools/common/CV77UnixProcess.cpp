#include "tools/common/CV77UnixProcess.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::atomic<int> g_Scripts{0};

bool WaitForFile(const std::string& path, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!CV77UnixProcess::Exists(path)) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

}  // namespace

CV77UnixProcess::CV77UnixProcess(const std::string& workDir, const std::string& name)
    : m_WorkDir(workDir), m_Stem(workDir + "/" + name + "-" + std::to_string(GetCurrentProcessId()))
{
    DeleteFileW(WinePath(File(".pid")).c_str());
}

CV77UnixProcess::~CV77UnixProcess()
{
    Stop();
}

std::wstring CV77UnixProcess::WinePath(const std::string& unixPath)
{
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

bool CV77UnixProcess::Exists(const std::string& unixPath)
{
    return GetFileAttributesW(WinePath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string CV77UnixProcess::Read(const std::string& unixPath)
{
    std::ifstream in(WinePath(unixPath).c_str(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

long CV77UnixProcess::Launches()
{
    return g_Scripts.load();
}

// The script holds the command, so nothing needs quoting for Windows. Wine
// starts the Unix program but reports failure (there is no Windows process
// to hand back), so callers watch for the files it writes.
void CV77UnixProcess::StartScript(const std::string& workDir, const std::string& command)
{
    const std::string script =
        workDir + "/run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_Scripts) + ".sh";
    // Wine's ofstream does not truncate an existing file on Z:: a stale longer script would keep its tail.
    DeleteFileW(WinePath(script).c_str());
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

int CV77UnixProcess::Run(const std::string& workDir, const std::string& command, DWORD timeoutMs)
{
    const std::string status = workDir + "/status-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(g_Scripts.load() + 1) + "-" + std::to_string(GetTickCount64());
    DeleteFileW(WinePath(status).c_str());
    // Written whole, then renamed: the reader never sees half a number.
    StartScript(workDir, "(" + command + "); echo $? > " + status + ".tmp && mv " + status + ".tmp " + status);
    if (!WaitForFile(status, timeoutMs))
        return -1;
    const std::string text = Read(status);
    DeleteFileW(WinePath(status).c_str());
    return text.empty() ? -1 : std::atoi(text.c_str());
}

bool CV77UnixProcess::Start(const std::string& command, DWORD timeoutMs)
{
    Stop();
    DeleteFileW(WinePath(File(".pid")).c_str());
    // setsid: the program must outlive the shell that starts it.
    StartScript(m_WorkDir, "setsid sh -c 'echo $$ > " + File(".pid.tmp") + "; mv " + File(".pid.tmp") + " " +
                               File(".pid") + "; exec " + command + "' > " + File(".log") + " 2>&1 < /dev/null &");
    m_bStarted = WaitForFile(File(".pid"), timeoutMs);
    return m_bStarted;
}

void CV77UnixProcess::Stop()
{
    if (!m_bStarted)
        return;
    m_bStarted = false;
    const std::string pid = Read(File(".pid"));
    const int number = std::atoi(pid.c_str());
    if (number <= 1)
        return;
    const std::string p = std::to_string(number);
    Run(m_WorkDir, "kill " + p + " 2>/dev/null; for i in 1 2 3 4 5 6 7 8 9 10; do kill -0 " + p +
                       " 2>/dev/null || exit 0; sleep 0.2; done; kill -9 " + p + " 2>/dev/null; true",
        15000);
    // A pid file left behind would name another process some day.
    DeleteFileW(WinePath(File(".pid")).c_str());
}
