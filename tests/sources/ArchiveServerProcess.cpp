// Winsock before the windows.h the header brings in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/sources/ArchiveServerProcess.h"

#include <vector>

namespace {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

struct Winsock {
    Winsock()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() { WSACleanup(); }
};

}  // namespace

uint16_t ArchiveServerProcess::FreePort()
{
    Winsock winsock;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    uint16_t port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    closesocket(s);
    return port;
}

bool ArchiveServerProcess::Accepts(uint16_t port)
{
    Winsock winsock;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in address = Loopback(port);
    const bool connected = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    closesocket(s);
    return connected;
}

bool ArchiveServerProcess::Start(const std::wstring& store, uint16_t port, DWORD frameDelayMs)
{
    Kill();
    m_uPort = port ? port : FreePort();
    std::wstring command = L"\"" + ProgramFolder() + L"V77ArchiveServer.exe\" --store \"" + store + L"\" --port " +
                           std::to_wstring(m_uPort) + L" --frame-delay-ms " + std::to_wstring(frameDelayMs);
    if (!Launch(command))
        return false;
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (Accepts(m_uPort))
            return true;
        if (WaitForSingleObject(m_hProcess, 50) == WAIT_OBJECT_0)
            break;  // it ended: the store or the port was refused
    }
    Kill();
    return false;
}

bool ArchiveServerProcess::Launch(const std::wstring& command)
{
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    m_hProcess = process.hProcess;
    return true;
}

bool ArchiveServerProcess::StartCapture(const std::wstring& store, const std::wstring& name, DWORD frameDelayMs,
                                        uint32_t slots)
{
    Kill();
    m_uPort = 0;
    std::wstring command = L"\"" + ProgramFolder() + L"V77Capture.exe\" --name " + name + L" --store \"" + store +
                           L"\" --frame-delay-ms " + std::to_wstring(frameDelayMs);
    if (slots)
        command += L" --slots " + std::to_wstring(slots);
    if (!Launch(command))
        return false;
    const std::wstring pipe = L"\\\\.\\pipe\\V77Capture." + name + L".Archive";
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (WaitNamedPipeW(pipe.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT)
            return true;  // offered (a timeout: offered, but taken this instant)
        if (WaitForSingleObject(m_hProcess, 50) == WAIT_OBJECT_0)
            break;  // it ended: the store or the name was refused
    }
    Kill();
    return false;
}

void ArchiveServerProcess::Kill()
{
    if (!m_hProcess)
        return;
    TerminateProcess(m_hProcess, 1);
    WaitForSingleObject(m_hProcess, 5000);
    CloseHandle(m_hProcess);
    m_hProcess = nullptr;
}
