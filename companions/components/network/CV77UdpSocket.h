// A UDP socket bound to a local IPv4 address and port, with Winsock started
// for as long as it lives; receives with a timeout so its reader can notice
// a stop request.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class CV77UdpSocket {
public:
    CV77UdpSocket();
    ~CV77UdpSocket();
    CV77UdpSocket(const CV77UdpSocket&) = delete;
    CV77UdpSocket& operator=(const CV77UdpSocket&) = delete;

    // address: a dotted IPv4 address to bind to, or empty for any.
    HRESULT Bind(const std::string& address, unsigned short port);
    // Bytes of the next datagram (0 after the timeout), or -1 on an error.
    int Receive(void* buffer, size_t size, DWORD timeoutMs);
    void Close();

private:
    bool m_bStarted;
    uintptr_t m_Socket;  // a SOCKET; kept out of this header so it need not come before windows.h
};
