// One Winsock socket, closed on destruction, and the loopback helpers the
// network components share. Every component object keeps Winsock started for
// its lifetime through a CV77WinsockInit member.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

class CV77WinsockInit {
public:
    CV77WinsockInit();
    ~CV77WinsockInit();
    CV77WinsockInit(const CV77WinsockInit&) = delete;
    CV77WinsockInit& operator=(const CV77WinsockInit&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

class CV77Socket {
public:
    CV77Socket() = default;
    explicit CV77Socket(SOCKET s) : m_Socket(s) {}
    ~CV77Socket() { Close(); }
    CV77Socket(CV77Socket&& other) noexcept : m_Socket(other.Detach()) {}
    CV77Socket& operator=(CV77Socket&& other) noexcept;
    CV77Socket(const CV77Socket&) = delete;
    CV77Socket& operator=(const CV77Socket&) = delete;

    SOCKET Get() const { return m_Socket; }
    bool Valid() const { return m_Socket != INVALID_SOCKET; }
    SOCKET Detach();
    void Close();

    // A new socket bound to 127.0.0.1:port (0: a free port); type SOCK_STREAM or SOCK_DGRAM.
    static HRESULT BindLoopback(int type, uint16_t port, CV77Socket* out);
    // Connects to 127.0.0.1:port, waiting at most timeoutMs.
    static HRESULT ConnectLoopback(uint16_t port, DWORD timeoutMs, CV77Socket* out);

    // The port the socket is bound to, 0 on failure.
    uint16_t LocalPort() const;
    HRESULT SetNonBlocking();
    // 1 when readable (or writable), 0 on time-out, -1 on error.
    int WaitReadable(DWORD timeoutMs) const { return Wait(m_Socket, false, timeoutMs); }
    int WaitWritable(DWORD timeoutMs) const { return Wait(m_Socket, true, timeoutMs); }
    static int Wait(SOCKET s, bool write, DWORD timeoutMs);

private:
    SOCKET m_Socket = INVALID_SOCKET;
};

// The last Winsock error as an HRESULT.
HRESULT LastSocketError();
