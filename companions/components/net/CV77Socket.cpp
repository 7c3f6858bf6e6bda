#include "companions/components/net/CV77Socket.h"

#include <cstdlib>
#include <utility>

CV77WinsockInit::CV77WinsockInit()
{
    WSADATA data;
    const int err = WSAStartup(MAKEWORD(2, 2), &data);
    m_hr = err == 0 ? S_OK : HRESULT_FROM_WIN32(err);
}

CV77WinsockInit::~CV77WinsockInit()
{
    if (SUCCEEDED(m_hr))
        WSACleanup();
}

HRESULT LastSocketError()
{
    const int err = WSAGetLastError();
    return err == 0 ? E_FAIL : HRESULT_FROM_WIN32(err);
}

CV77Socket& CV77Socket::operator=(CV77Socket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_Socket = other.Detach();
    }
    return *this;
}

SOCKET CV77Socket::Detach()
{
    const SOCKET s = m_Socket;
    m_Socket = INVALID_SOCKET;
    return s;
}

void CV77Socket::Close()
{
    if (m_Socket != INVALID_SOCKET) {
        closesocket(m_Socket);
        m_Socket = INVALID_SOCKET;
    }
}

namespace {

sockaddr_in LoopbackAddress(uint16_t port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int CV77Socket::Wait(SOCKET s, bool write, DWORD timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set except;
    FD_ZERO(&except);
    FD_SET(s, &except);
    timeval tv = {static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    const int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &except, &tv);
    if (n < 0)
        return -1;
    if (n == 0)
        return 0;
    return FD_ISSET(s, &except) ? -1 : 1;
}

HRESULT CV77Socket::Bind(int type, const sockaddr_in& address, CV77Socket* out)
{
    CV77Socket s(socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP));
    if (!s.Valid())
        return LastSocketError();
    // A port still in TIME_WAIT after a quick restart of a listener is not a conflict.
    if (type == SOCK_STREAM) {
        BOOL reuse = TRUE;
        setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return LastSocketError();
    *out = std::move(s);
    return S_OK;
}

HRESULT CV77Socket::BindLoopback(int type, uint16_t port, CV77Socket* out)
{
    return Bind(type, LoopbackAddress(port), out);
}

HRESULT CV77Socket::ListenLoopback(uint16_t port, int backlog, CV77Socket* out)
{
    CV77Socket s;
    const HRESULT hr = BindLoopback(SOCK_STREAM, port, &s);
    if (FAILED(hr))
        return hr;
    if (listen(s.Get(), backlog) != 0)
        return LastSocketError();
    *out = std::move(s);
    return S_OK;
}

CV77Socket CV77Socket::Accept() const
{
    CV77Socket peer(accept(m_Socket, nullptr, nullptr));
    if (peer.Valid())
        peer.SetNoDelay();
    return peer;
}

HRESULT CV77Socket::ConnectTo(const sockaddr* address, int length, DWORD timeoutMs, CV77Socket* out)
{
    CV77Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s.Valid())
        return LastSocketError();
    HRESULT hr = s.SetNonBlocking();
    if (FAILED(hr))
        return hr;
    if (connect(s.Get(), address, length) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return LastSocketError();
        const int ready = s.WaitWritable(timeoutMs);
        if (ready == 0)
            return HRESULT_FROM_WIN32(WSAETIMEDOUT);
        int err = 0;
        int len = sizeof err;
        getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
        if (ready < 0 || err != 0)
            return HRESULT_FROM_WIN32(err != 0 ? err : WSAECONNREFUSED);
    }
    s.SetNoDelay();
    *out = std::move(s);
    return S_OK;
}

HRESULT CV77Socket::ConnectLoopback(uint16_t port, DWORD timeoutMs, CV77Socket* out)
{
    const sockaddr_in address = LoopbackAddress(port);
    return ConnectTo(reinterpret_cast<const sockaddr*>(&address), sizeof address, timeoutMs, out);
}

HRESULT CV77Socket::Connect(const std::string& hostAndPort, DWORD timeoutMs, CV77Socket* out)
{
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
    const HRESULT hr = ConnectTo(found->ai_addr, static_cast<int>(found->ai_addrlen), timeoutMs, out);
    freeaddrinfo(found);
    return hr;
}

int CV77Socket::ReceiveStream(void* buffer, size_t size, DWORD timeoutMs)
{
    const int ready = WaitReadable(timeoutMs);
    if (ready <= 0)
        return ready;
    const int got = recv(m_Socket, static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (got > 0)
        return got;
    if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    return -1;
}

int CV77Socket::ReceiveDatagram(void* buffer, size_t size, DWORD timeoutMs)
{
    const int ready = WaitReadable(timeoutMs);
    if (ready <= 0)
        return ready;
    const int got = recv(m_Socket, static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (got >= 0)
        return got;
    const int error = WSAGetLastError();
    return (error == WSAECONNRESET || error == WSAEMSGSIZE || error == WSAEWOULDBLOCK) ? 0 : -1;
}

uint16_t CV77Socket::LocalPort() const
{
    sockaddr_in address = {};
    int len = sizeof address;
    if (getsockname(m_Socket, reinterpret_cast<sockaddr*>(&address), &len) != 0)
        return 0;
    return ntohs(address.sin_port);
}

HRESULT CV77Socket::SetNonBlocking()
{
    u_long on = 1;
    return ioctlsocket(m_Socket, FIONBIO, &on) == 0 ? S_OK : LastSocketError();
}

HRESULT CV77Socket::SetNoDelay()
{
    BOOL on = TRUE;
    return setsockopt(m_Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on) == 0
               ? S_OK
               : LastSocketError();
}

HRESULT CV77Socket::SetBufferSize(int option, int bytes)
{
    return setsockopt(m_Socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0
               ? S_OK
               : LastSocketError();
}

