// Winsock must come before windows.h, which the header brings in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "companions/components/tcp/CV77TcpConnection.h"

#include <cstdlib>

CV77TcpConnection::CV77TcpConnection() : m_bStarted(false), m_Socket(static_cast<uintptr_t>(INVALID_SOCKET))
{
    WSADATA data;
    m_bStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CV77TcpConnection::~CV77TcpConnection()
{
    Close();
    if (m_bStarted)
        WSACleanup();
}

HRESULT CV77TcpConnection::Connect(const std::string& hostAndPort, DWORD timeoutMs)
{
    Close();
    if (!m_bStarted)
        return E_FAIL;
    const size_t colon = hostAndPort.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == hostAndPort.size() ||
        hostAndPort.find_first_not_of("0123456789", colon + 1) != std::string::npos || hostAndPort.size() - colon > 6)
        return E_INVALIDARG;
    const std::string host = hostAndPort.substr(0, colon);
    const std::string port = hostAndPort.substr(colon + 1);
    const long portNumber = std::strtol(port.c_str(), nullptr, 10);
    if (portNumber <= 0 || portNumber > 65535)
        return E_INVALIDARG;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return HRESULT_FROM_WIN32(WSAHOST_NOT_FOUND);
    m_Socket = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (m_Socket == INVALID_SOCKET) {
        freeaddrinfo(found);
        return HRESULT_FROM_WIN32(WSAGetLastError());
    }
    u_long nonBlocking = 1;
    ioctlsocket(m_Socket, FIONBIO, &nonBlocking);
    int result = connect(m_Socket, found->ai_addr, static_cast<int>(found->ai_addrlen));
    freeaddrinfo(found);
    if (result != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        const HRESULT hr = HRESULT_FROM_WIN32(WSAGetLastError());
        Close();
        return hr;
    }
    if (result != 0) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(m_Socket, &writable);
        FD_SET(m_Socket, &failed);
        timeval timeout = {static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
        result = select(0, nullptr, &writable, &failed, &timeout);
        int error = 0;
        int length = sizeof error;
        getsockopt(m_Socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        if (result <= 0 || FD_ISSET(m_Socket, &failed) || error != 0) {
            Close();
            return result == 0 ? HRESULT_FROM_WIN32(WSAETIMEDOUT)
                               : HRESULT_FROM_WIN32(error ? static_cast<DWORD>(error) : WSAECONNREFUSED);
        }
    }
    return S_OK;
}

int CV77TcpConnection::Receive(void* buffer, size_t size, DWORD timeoutMs)
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
    if (got > 0)
        return got;
    if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    return -1;
}

void CV77TcpConnection::Close()
{
    if (m_Socket != INVALID_SOCKET)
        closesocket(m_Socket);
    m_Socket = INVALID_SOCKET;
}
