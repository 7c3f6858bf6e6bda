#include "companions/components/streamserver/CV77StreamClient.h"

#include <algorithm>
#include <utility>

CV77StreamClient::CV77StreamClient(CV77Socket socket, Bytes description, size_t maxQueued, bool keyed)
    : m_Socket(std::move(socket)), m_Description(std::move(description)), m_MaxQueued(maxQueued),
      m_bKeyed(keyed), m_bNeedKey(keyed)
{
    m_Socket.SetNonBlocking();
    // A small kernel buffer keeps the per-client backlog in our bounded queue,
    // where the drop policy sees it, instead of megabytes hidden in the socket.
    m_Socket.SetBufferSize(SO_SNDBUF, kSendBuffer);
    m_Thread = std::thread([this] { SendLoop(); });
}

CV77StreamClient::~CV77StreamClient()
{
    Stop();
}

void CV77StreamClient::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bStopping = true;
    }
    m_Changed.notify_all();
    if (m_Thread.joinable())
        m_Thread.join();
    m_Socket.Close();
}

size_t CV77StreamClient::Push(const Bytes& frame, bool key)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_bAlive)
        return 1;
    if (m_bNeedKey && !key)
        return 1;
    size_t lost = 0;
    if (m_Queue.size() >= m_MaxQueued) {
        // Too slow: start over at a key frame (or at once, for a stream without them).
        lost = m_Queue.size();
        m_Queue.clear();
        m_bNeedKey = m_bKeyed;
        if (m_bNeedKey && !key)
            return lost + 1;
    }
    m_bNeedKey = false;
    m_Queue.push_back(frame);
    m_Changed.notify_one();
    return lost;
}

bool CV77StreamClient::WriteAll(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        if (m_bStopping)
            return false;
        // Send first, wait only when the socket is full: a poll per frame costs more than the send.
        const int n = send(m_Socket.Get(), reinterpret_cast<const char*>(bytes.data() + done),
                           static_cast<int>(std::min<size_t>(bytes.size() - done, 1 << 20)), 0);
        if (n < 0) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || m_Socket.WaitWritable(50) < 0)
                return false;
            continue;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void CV77StreamClient::SendLoop()
{
    if (!WriteAll(*m_Description)) {
        m_bAlive = false;
        return;
    }
    for (;;) {
        Bytes frame;
        {
            std::unique_lock<std::mutex> lock(m_Lock);
            m_Changed.wait(lock, [this] { return m_bStopping || !m_Queue.empty(); });
            if (m_bStopping)
                return;
            frame = std::move(m_Queue.front());
            m_Queue.pop_front();
        }
        if (!WriteAll(*frame)) {
            m_bAlive = false;
            return;
        }
    }
}
