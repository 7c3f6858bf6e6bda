#include "companions/components/archive/CV77ArchiveConnection.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

HRESULT Closed()
{
    return HRESULT_FROM_WIN32(WSAECONNRESET);
}

}  // namespace

HRESULT CV77ArchiveConnection::Connect(const std::string& hostAndPort, DWORD timeoutMs)
{
    m_Socket.Close();
    if (FAILED(m_Winsock.Result()))
        return m_Winsock.Result();
    const size_t colon = hostAndPort.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == hostAndPort.size() || hostAndPort.size() - colon > 6 ||
        hostAndPort.find_first_not_of("0123456789", colon + 1) != std::string::npos)
        return E_INVALIDARG;
    const std::string host = hostAndPort.substr(0, colon);
    const std::string port = hostAndPort.substr(colon + 1);
    const long number = std::strtol(port.c_str(), nullptr, 10);
    if (number <= 0 || number > 65535)
        return E_INVALIDARG;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return HRESULT_FROM_WIN32(WSAHOST_NOT_FOUND);
    CV77Socket s(socket(found->ai_family, found->ai_socktype, found->ai_protocol));
    HRESULT hr = s.Valid() ? s.SetNonBlocking() : LastSocketError();
    if (SUCCEEDED(hr) && connect(s.Get(), found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            hr = LastSocketError();
        } else {
            const int ready = s.WaitWritable(timeoutMs);
            int err = 0;
            int len = sizeof err;
            getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
            if (ready == 0)
                hr = HRESULT_FROM_WIN32(WSAETIMEDOUT);
            else if (ready < 0 || err != 0)
                hr = HRESULT_FROM_WIN32(err != 0 ? err : WSAECONNREFUSED);
        }
    }
    freeaddrinfo(found);
    if (FAILED(hr))
        return hr;
    BOOL noDelay = TRUE;
    setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    m_Socket = std::move(s);
    return S_OK;
}

HRESULT CV77ArchiveConnection::WaitReady(bool write, ULONGLONG* lastProgress, DWORD stallMs,
                                         const CancelFunction& cancel)
{
    for (;;) {
        if (cancel && cancel())
            return S_FALSE;
        const int ready = CV77Socket::Wait(m_Socket.Get(), write, kSliceMs);
        if (ready > 0)
            return S_OK;
        if (ready < 0)
            return Closed();
        if (GetTickCount64() - *lastProgress >= stallMs)
            return HRESULT_FROM_WIN32(WSAETIMEDOUT);
    }
}

HRESULT CV77ArchiveConnection::Send(const void* data, size_t size, DWORD stallMs, const CancelFunction& cancel)
{
    const char* at = static_cast<const char*>(data);
    ULONGLONG lastProgress = GetTickCount64();
    while (size > 0) {
        if (!m_Socket.Valid())
            return Closed();
        const int sent = send(m_Socket.Get(), at, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (sent > 0) {
            at += sent;
            size -= static_cast<size_t>(sent);
            lastProgress = GetTickCount64();
            continue;
        }
        HRESULT hr = sent < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? WaitReady(true, &lastProgress, stallMs, cancel)
                                                                     : Closed();
        if (hr != S_OK) {
            m_Socket.Close();
            return hr;
        }
    }
    return S_OK;
}

HRESULT CV77ArchiveConnection::Receive(void* data, size_t size, DWORD stallMs, const CancelFunction& cancel)
{
    char* at = static_cast<char*>(data);
    ULONGLONG lastProgress = GetTickCount64();
    while (size > 0) {
        if (!m_Socket.Valid())
            return Closed();
        const int got = recv(m_Socket.Get(), at, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (got > 0) {
            at += got;
            size -= static_cast<size_t>(got);
            lastProgress = GetTickCount64();
            continue;
        }
        HRESULT hr = got < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? WaitReady(false, &lastProgress, stallMs, cancel)
                                                                    : Closed();
        if (hr != S_OK) {
            m_Socket.Close();
            return hr;
        }
    }
    return S_OK;
}

HRESULT CV77ArchiveConnection::Skip(size_t size, DWORD stallMs, const CancelFunction& cancel)
{
    std::vector<char> scratch(std::min<size_t>(size, 64 * 1024));
    while (size > 0) {
        const size_t chunk = std::min(size, scratch.size());
        const HRESULT hr = Receive(scratch.data(), chunk, stallMs, cancel);
        if (hr != S_OK)
            return hr;
        size -= chunk;
    }
    return S_OK;
}
