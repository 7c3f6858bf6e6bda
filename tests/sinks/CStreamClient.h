// The test tool that plays a stream server client: connects to the server's
// port, parses what it gets with the portable stream reader, and keeps the
// stream description and every frame (payload, flags). It runs on its own
// thread until Stop or until the server closes the connection.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "companions/framing/CV77StreamReader.h"

class CStreamClient {
public:
    struct Frame {
        std::string payload;
        uint32_t flags = 0;
        int64_t start = 0;
    };

    CStreamClient() = default;
    ~CStreamClient() { Stop(); }

    bool Connect(int port);
    void Stop();

    size_t FrameCount();
    std::vector<Frame> Frames();
    bool HaveDescription();
    v77framing::StreamDescription Description();
    bool Failed() const { return m_bFailed; }

private:
    void ReadLoop();

    SOCKET m_Socket = INVALID_SOCKET;
    std::thread m_Thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bFailed{false};
    std::mutex m_Lock;
    v77framing::CV77StreamReader m_Reader;
    bool m_bHaveDescription = false;
    v77framing::StreamDescription m_Description;
    std::vector<Frame> m_Frames;
};
