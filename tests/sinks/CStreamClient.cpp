#include "tests/sinks/CStreamClient.h"

bool CStreamClient::Connect(int port)
{
    m_Socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    m_Thread = std::thread([this] { ReadLoop(); });
    return true;
}

void CStreamClient::Stop()
{
    m_bStop = true;
    if (m_Thread.joinable())
        m_Thread.join();
    if (m_Socket != INVALID_SOCKET)
        closesocket(m_Socket);
    m_Socket = INVALID_SOCKET;
}

void CStreamClient::ReadLoop()
{
    std::vector<uint8_t> chunk(64 * 1024);
    while (!m_bStop) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(m_Socket, &set);
        timeval tv = {0, 50 * 1000};
        if (select(0, &set, nullptr, nullptr, &tv) <= 0)
            continue;
        const int n = recv(m_Socket, reinterpret_cast<char*>(chunk.data()), static_cast<int>(chunk.size()), 0);
        if (n <= 0)
            return;
        std::lock_guard<std::mutex> lock(m_Lock);
        const auto status = m_Reader.Push(
            chunk.data(), static_cast<size_t>(n),
            [this](const v77framing::StreamDescription& d) {
                m_Description = d;
                m_bHaveDescription = true;
                return true;
            },
            [this](const v77framing::FrameHeader& h, const uint8_t* p) {
                m_Frames.push_back({std::string(reinterpret_cast<const char*>(p), h.length), h.flags, h.start});
                return true;
            });
        if (status == v77framing::ParseStatus::Bad) {
            m_bFailed = true;
            return;
        }
    }
}

size_t CStreamClient::FrameCount()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Frames.size();
}

std::vector<CStreamClient::Frame> CStreamClient::Frames()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Frames;
}

bool CStreamClient::HaveDescription()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_bHaveDescription;
}

v77framing::StreamDescription CStreamClient::Description()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Description;
}
