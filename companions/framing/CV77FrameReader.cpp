#include "companions/framing/CV77FrameReader.h"

#include <algorithm>

namespace v77framing {

void CV77FrameReader::Reset()
{
    m_bFailed = false;
    m_bHaveHeader = false;
    m_Buffer.clear();
}

ParseStatus CV77FrameReader::Push(const uint8_t* data, size_t size, const FrameHandler& onFrame)
{
    while (!m_bFailed && size > 0) {
        const size_t want = m_bHaveHeader ? m_Header.length : kFrameHeaderSize;
        const size_t take = std::min(size, want - m_Buffer.size());
        m_Buffer.insert(m_Buffer.end(), data, data + take);
        data += take;
        size -= take;
        if (m_Buffer.size() < want)
            break;
        if (!m_bHaveHeader) {
            if (DecodeFrameHeader(m_Buffer.data(), m_Buffer.size(), m_Magic, &m_Header) != ParseStatus::Ok) {
                m_bFailed = true;
                break;
            }
            m_bHaveHeader = true;
            m_Buffer.clear();
            m_Buffer.reserve(m_Header.length);
            if (m_Header.length != 0)
                continue;
        }
        // A complete frame (an empty payload completes with its header).
        const bool keepGoing = onFrame(m_Header, m_Buffer.data());
        m_bHaveHeader = false;
        m_Buffer.clear();
        if (!keepGoing)
            m_bFailed = true;
    }
    return m_bFailed ? ParseStatus::Bad : ParseStatus::Ok;
}

}  // namespace v77framing
