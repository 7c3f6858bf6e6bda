#include "tools/V77ArchiveServer/CV77ArchiveServer.h"

#include <vfwmsgs.h>

#include "companions/V77Media/V77Media.h"

#include <cstdio>
#include <thread>

namespace P = V77ArchiveProtocol;

CV77ArchiveServer::CV77ArchiveServer()
    : m_Store([](const std::string& line) { std::fprintf(stderr, "V77ArchiveServer: %s", line.c_str()); })
{
}

HRESULT CV77ArchiveServer::Open(const std::wstring& storeFolder)
{
    const HRESULT hr = m_Store.OpenFolder(storeFolder, &m_Index);
    if (FAILED(hr))
        return hr;
    return m_Index.Empty() ? VFW_E_INVALID_FILE_FORMAT : S_OK;
}

HRESULT CV77ArchiveServer::Listen(uint16_t port)
{
    if (FAILED(m_Winsock.Result()))
        return m_Winsock.Result();
    HRESULT hr = CV77Socket::BindLoopback(SOCK_STREAM, port, &m_Listener);
    if (SUCCEEDED(hr) && listen(m_Listener.Get(), SOMAXCONN) != 0)
        hr = LastSocketError();
    return hr;
}

void CV77ArchiveServer::Serve()
{
    for (;;) {
        const SOCKET client = accept(m_Listener.Get(), nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            Sleep(10);
            continue;
        }
        BOOL noDelay = TRUE;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        std::thread([this, client] { ServeClient(client); }).detach();
    }
}

void CV77ArchiveServer::ServeClient(SOCKET client)
{
    CV77Socket owned(client);
    for (;;) {
        uint8_t bytes[P::kRequestSize];
        P::Request request;
        if (!ReceiveAll(client, bytes, sizeof bytes))
            return;
        if (!P::Decode(bytes, sizeof bytes, &request)) {
            std::fprintf(stderr, "V77ArchiveServer: a client sent a malformed request; disconnected\n");
            return;
        }
        const bool answered = request.kind == P::kDescribe ? Describe(client) : SendStretch(client, request);
        if (!answered)
            return;
    }
}

bool CV77ArchiveServer::Describe(SOCKET client)
{
    // The header and decoder configuration the store source offers, so a
    // receiver describes the stream as the store source does.
    const CMediaType& mt = m_Store.MediaType();
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(mt);
    std::vector<BYTE> format;
    if (header) {
        const BYTE* begin = reinterpret_cast<const BYTE*>(header);
        const BYTE* end = mt.Format() + mt.FormatLength();
        format.assign(begin, end);
    }
    P::Description description;
    description.frameCount = static_cast<uint32_t>(m_Index.FrameCount());
    description.frameTime = m_Store.Information().AvgTimePerFrame;
    description.formatLength = static_cast<uint32_t>(format.size());
    description.averageFrameSize = static_cast<uint32_t>(m_Index.AverageFrameSize() + 0.5);
    std::vector<uint8_t> out;
    P::Encode(description, &out);
    out.insert(out.end(), format.begin(), format.end());
    return SendAll(client, out.data(), out.size());
}

bool CV77ArchiveServer::SendStretch(SOCKET client, const P::Request& request)
{
    const V77Stretch stretch = m_Index.ForRequest(request.position, request.type, request.maxFrames);
    std::vector<uint8_t> out;
    P::StretchHeader header;
    header.count = static_cast<uint32_t>(stretch.count);
    header.next = stretch.next;
    P::Encode(header, &out);
    if (!SendAll(client, out.data(), out.size()))
        return false;
    std::vector<BYTE> data;
    for (size_t i = 0; i < stretch.count; ++i) {
        if (m_dwFrameDelayMs)
            Sleep(m_dwFrameDelayMs);
        const size_t index = stretch.first + i;
        const V77IndexedFrame& frame = m_Index.Frame(index);
        data.resize(frame.size);
        LONG written = 0;
        HRESULT hr;
        {
            std::lock_guard<std::mutex> lock(m_ReadLock);
            hr = m_Store.Read(frame, data.data(), static_cast<LONG>(data.size()), &written);
        }
        if (FAILED(hr)) {
            // The client learns of it as a connection lost mid-stretch.
            std::fprintf(stderr, "V77ArchiveServer: cannot read the frame at %lld (0x%08lX)\n",
                         static_cast<long long>(frame.time), static_cast<unsigned long>(hr));
            return false;
        }
        P::FrameHeader frameHeader;
        frameHeader.key = frame.key;
        frameHeader.time = frame.time;
        frameHeader.duration = m_Index.DurationOf(index);
        frameHeader.size = static_cast<uint32_t>(written);
        out.clear();
        P::Encode(frameHeader, &out);
        out.insert(out.end(), data.begin(), data.begin() + written);
        if (!SendAll(client, out.data(), out.size()))
            return false;
    }
    return true;
}

bool CV77ArchiveServer::SendAll(SOCKET client, const void* data, size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const int sent = send(client, at, static_cast<int>(size), 0);
        if (sent <= 0)
            return false;
        at += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool CV77ArchiveServer::ReceiveAll(SOCKET client, void* data, size_t size)
{
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const int got = recv(client, at, static_cast<int>(size), 0);
        if (got <= 0)
            return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}
