// One Winsock socket, closed on destruction, and the set-up and bounded
// waits every network component shares (receivers, channel, servers). Every
// component keeps Winsock started while it has sockets through a
// CV77WinsockInit.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <cstdint>
#include <string>

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

    // A new socket bound to address; type SOCK_STREAM or SOCK_DGRAM.
    static HRESULT Bind(int type, const sockaddr_in& address, CV77Socket* out);
    // A new socket bound to 127.0.0.1:port (0: a free port); type SOCK_STREAM or SOCK_DGRAM.
    static HRESULT BindLoopback(int type, uint16_t port, CV77Socket* out);
    // A listening TCP socket on 127.0.0.1:port (0: a free port).
    static HRESULT ListenLoopback(uint16_t port, int backlog, CV77Socket* out);
    // Connects to 127.0.0.1:port, waiting at most timeoutMs.
    static HRESULT ConnectLoopback(uint16_t port, DWORD timeoutMs, CV77Socket* out);
    // Connects to "host:port" (a host name or an IPv4 address), waiting at
    // most timeoutMs; E_INVALIDARG when the string is malformed.
    static HRESULT Connect(const std::string& hostAndPort, DWORD timeoutMs, CV77Socket* out);
    // The connection waiting on a listening socket, with Nagle off; invalid
    // when none (call it once WaitReadable said so).
    CV77Socket Accept() const;

    // The port the socket is bound to, 0 on failure.
    uint16_t LocalPort() const;
    HRESULT SetNonBlocking();
    HRESULT SetNoDelay();
    // option: SO_RCVBUF or SO_SNDBUF.
    HRESULT SetBufferSize(int option, int bytes);
    // 1 when readable (or writable), 0 on time-out, -1 on error.
    int WaitReadable(DWORD timeoutMs) const { return Wait(m_Socket, false, timeoutMs); }
    int WaitWritable(DWORD timeoutMs) const { return Wait(m_Socket, true, timeoutMs); }
    static int Wait(SOCKET s, bool write, DWORD timeoutMs);
    // Bytes received (> 0), 0 after the time-out, -1 when the peer closed or
    // the connection failed.
    int ReceiveStream(void* buffer, size_t size, DWORD timeoutMs);
    // Bytes of the next datagram, 0 after the time-out (or after an ICMP
    // report or a datagram larger than the buffer: neither ends a stream),
    // -1 on an error.
    int ReceiveDatagram(void* buffer, size_t size, DWORD timeoutMs);

private:
    static HRESULT ConnectTo(const sockaddr* address, int length, DWORD timeoutMs, CV77Socket* out);

    SOCKET m_Socket = INVALID_SOCKET;
};

// The last Winsock error as an HRESULT.
HRESULT LastSocketError();
