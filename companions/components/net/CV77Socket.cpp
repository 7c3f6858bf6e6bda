#include "companions/components/net/CV77Socket.h"

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

HRESULT CV77Socket::BindLoopback(int type, uint16_t port, CV77Socket* out)
{
    CV77Socket s(socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP));
    if (!s.Valid())
        return LastSocketError();
    // A port still in TIME_WAIT after a quick restart of a listener is not a conflict.
    if (type == SOCK_STREAM) {
        BOOL reuse = TRUE;
        setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    const sockaddr_in address = LoopbackAddress(port);
    if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return LastSocketError();
    *out = std::move(s);
    return S_OK;
}

HRESULT CV77Socket::ConnectLoopback(uint16_t port, DWORD timeoutMs, CV77Socket* out)
{
    CV77Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s.Valid())
        return LastSocketError();
    HRESULT hr = s.SetNonBlocking();
    if (FAILED(hr))
        return hr;
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
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
    BOOL noDelay = TRUE;
    setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    *out = std::move(s);
    return S_OK;
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

