#include "companions/components/archive/CV77ArchiveConnection.h"

#include <algorithm>
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
    return CV77Socket::Connect(hostAndPort, timeoutMs, &m_Socket);
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
