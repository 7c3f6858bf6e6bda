// Winsock must come before windows.h, which the header brings in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "companions/components/network/CV77UdpSocket.h"

CV77UdpSocket::CV77UdpSocket() : m_bStarted(false), m_Socket(static_cast<uintptr_t>(INVALID_SOCKET))
{
    WSADATA data;
    m_bStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CV77UdpSocket::~CV77UdpSocket()
{
    Close();
    if (m_bStarted)
        WSACleanup();
}

HRESULT CV77UdpSocket::Bind(const std::string& address, unsigned short port)
{
    Close();
    if (!m_bStarted)
        return E_FAIL;
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    in_addr parsed = {};
    // A unicast address of this host is bound as given; a multicast or
    // unknown one leaves the socket on every interface.
    if (!address.empty() && inet_pton(AF_INET, address.c_str(), &parsed) == 1 &&
        (ntohl(parsed.s_addr) >> 28) != 0xE)
        local.sin_addr = parsed;
    m_Socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_Socket == INVALID_SOCKET)
        return HRESULT_FROM_WIN32(WSAGetLastError());
    // A key frame of a large picture arrives as a burst of datagrams.
    int bufferBytes = 8 << 20;
    setsockopt(m_Socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes), sizeof bufferBytes);
    if (bind(m_Socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const HRESULT hr = HRESULT_FROM_WIN32(WSAGetLastError());
        Close();
        return hr;
    }
    return S_OK;
}

int CV77UdpSocket::Receive(void* buffer, size_t size, DWORD timeoutMs)
{
    if (m_Socket == INVALID_SOCKET)
        return -1;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_Socket, &readable);
    timeval timeout = {static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == 0)
        return 0;
    if (ready < 0)
        return -1;
    const int got = recv(m_Socket, static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (got >= 0)
        return got;
    // An ICMP "port unreachable" from an earlier send, or a datagram larger
    // than the buffer: neither ends the stream.
    const int error = WSAGetLastError();
    return (error == WSAECONNRESET || error == WSAEMSGSIZE) ? 0 : -1;
}

void CV77UdpSocket::Close()
{
    if (m_Socket != INVALID_SOCKET)
        closesocket(m_Socket);
    m_Socket = INVALID_SOCKET;
}
