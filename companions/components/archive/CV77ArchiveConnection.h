// The archive receiver's connection to an archive server: every wait on the
// peer is cut into short slices, so a caller learns within one slice that it
// must give up (its cancel test) and within the stall limit that the peer
// has gone silent.
#pragma once

#include "companions/components/net/CV77Socket.h"

#include <cstddef>
#include <functional>
#include <string>

class CV77ArchiveConnection {
public:
    static constexpr DWORD kSliceMs = 50;
    using CancelFunction = std::function<bool()>;

    // "host:port" (a host name or an IPv4 address); E_INVALIDARG when malformed.
    HRESULT Connect(const std::string& hostAndPort, DWORD timeoutMs);
    bool Connected() const { return m_Socket.Valid(); }
    void Close() { m_Socket.Close(); }

    // S_OK once every byte went or came; S_FALSE when cancel said so;
    // WSAETIMEDOUT after stallMs without progress; WSAECONNRESET when the
    // peer closed or the connection failed. The connection is kept only on S_OK.
    HRESULT Send(const void* data, size_t size, DWORD stallMs, const CancelFunction& cancel);
    HRESULT Receive(void* data, size_t size, DWORD stallMs, const CancelFunction& cancel);
    // Receives size bytes and drops them.
    HRESULT Skip(size_t size, DWORD stallMs, const CancelFunction& cancel);

private:
    // Waits for the socket to become ready: S_OK, or the results above.
    HRESULT WaitReady(bool write, ULONGLONG* lastProgress, DWORD stallMs, const CancelFunction& cancel);

    CV77WinsockInit m_Winsock;
    CV77Socket m_Socket;
};
