// The archive server tool run by a test: on 127.0.0.1 at a port free when it
// starts, ended by its process id (TerminateProcess), never by name. Or the
// capture tool in archive mode, serving the store under a name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class ArchiveServerProcess {
public:
    ~ArchiveServerProcess() { Kill(); }

    // Serves the store folder; port 0 chooses a free one. True once it accepts connections.
    bool Start(const std::wstring& store, uint16_t port = 0, DWORD frameDelayMs = 0);
    // V77Capture.exe --name name --store store (slots 0: its default); true
    // once its pipe is offered.
    bool StartCapture(const std::wstring& store, const std::wstring& name, DWORD frameDelayMs = 0,
                      uint32_t slots = 0);
    void Kill();
    DWORD ProcessId() const { return m_hProcess ? GetProcessId(m_hProcess) : 0; }
    bool Running() const { return m_hProcess != nullptr; }
    uint16_t Port() const { return m_uPort; }
    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(m_uPort); }

    static uint16_t FreePort();
    static bool Accepts(uint16_t port);

private:
    bool Launch(const std::wstring& command);

    HANDLE m_hProcess = nullptr;
    uint16_t m_uPort = 0;
};
