// The archive server tool run by a test: on 127.0.0.1 at a port free when it
// starts, ended by its process id (TerminateProcess), never by name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class ArchiveServerProcess {
public:
    ~ArchiveServerProcess() { Kill(); }

    // Serves the store folder; port 0 chooses a free one. True once it accepts connections.
    bool Start(const std::wstring& store, uint16_t port = 0, DWORD frameDelayMs = 0);
    void Kill();
    bool Running() const { return m_hProcess != nullptr; }
    uint16_t Port() const { return m_uPort; }
    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(m_uPort); }

    static uint16_t FreePort();
    static bool Accepts(uint16_t port);

private:
    HANDLE m_hProcess = nullptr;
    uint16_t m_uPort = 0;
};
