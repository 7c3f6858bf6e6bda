// One client of the stream server: its socket, a bounded queue of frames
// and a thread that writes the stream description and then the frames.
// Push never blocks: when the queue is full the client's queue is emptied
// and, for a stream of key and delta frames, the client waits for the next
// key frame, so a slow client loses whole groups rather than corrupting its
// stream or slowing the graph.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "companions/components/net/CV77Socket.h"

class CV77StreamClient {
public:
    using Bytes = std::shared_ptr<const std::vector<uint8_t>>;
    static constexpr int kSendBuffer = 64 * 1024;

    // description: the header sent first; keyed: frames depend on earlier key frames.
    CV77StreamClient(CV77Socket socket, Bytes description, size_t maxQueued, bool keyed);
    ~CV77StreamClient();
    CV77StreamClient(const CV77StreamClient&) = delete;
    CV77StreamClient& operator=(const CV77StreamClient&) = delete;

    // Queues one encoded frame; the number of frames this cost the client
    // (1 when it was not queued, plus any queued ones given up to catch up).
    size_t Push(const Bytes& frame, bool key);
    // False once the connection failed (the server then drops the client).
    bool Alive() const { return m_bAlive; }
    // Ends the thread and closes the socket.
    void Stop();

private:
    void SendLoop();
    bool WriteAll(const std::vector<uint8_t>& bytes);

    CV77Socket m_Socket;
    Bytes m_Description;
    const size_t m_MaxQueued;
    const bool m_bKeyed;
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    std::deque<Bytes> m_Queue;
    bool m_bNeedKey;                    // m_Lock
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bAlive{true};
    std::thread m_Thread;
};
