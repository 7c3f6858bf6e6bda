// A client TCP connection with bounded waits: connecting and receiving both
// take a timeout, so no caller ever blocks on a dead or silent peer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class CV77TcpConnection {
public:
    CV77TcpConnection();
    ~CV77TcpConnection();
    CV77TcpConnection(const CV77TcpConnection&) = delete;
    CV77TcpConnection& operator=(const CV77TcpConnection&) = delete;

    // "host:port" (a host name or an IPv4 address); E_INVALIDARG when malformed.
    HRESULT Connect(const std::string& hostAndPort, DWORD timeoutMs);
    // Bytes received (> 0), 0 after the timeout, -1 when the peer closed or
    // the connection failed.
    int Receive(void* buffer, size_t size, DWORD timeoutMs);
    void Close();

private:
    bool m_bStarted;
    uintptr_t m_Socket;  // a SOCKET; kept out of this header so it need not come before windows.h
};
