#include "companions/framing/CV77StreamReader.h"

#include <algorithm>

namespace v77framing {

ParseStatus CV77StreamReader::Push(const uint8_t* data, size_t size, const DescriptionHandler& onDescription,
                                   const CV77FrameReader::FrameHandler& onFrame)
{
    if (m_bFailed)
        return ParseStatus::Bad;
    if (!m_bHaveDescription) {
        // Take bytes only up to the longest possible description, so frame bytes
        // behind it are not copied twice.
        const size_t room = kStreamFixedSize + kMaxFormatLength - m_Head.size();
        const size_t take = std::min(size, room);
        const size_t before = m_Head.size();
        m_Head.insert(m_Head.end(), data, data + take);
        StreamDescription description;
        size_t consumed = 0;
        const ParseStatus status = DecodeStreamDescription(m_Head.data(), m_Head.size(), &description, &consumed);
        if (status == ParseStatus::Bad || (status == ParseStatus::NeedMore && take < size)) {
            m_bFailed = true;
            return ParseStatus::Bad;
        }
        if (status == ParseStatus::NeedMore)
            return ParseStatus::Ok;
        m_bHaveDescription = true;
        m_Head.clear();
        if (!onDescription(description)) {
            m_bFailed = true;
            return ParseStatus::Bad;
        }
        const size_t used = consumed - before;   // bytes of this call that belonged to the description
        data += used;
        size -= used;
    }
    if (m_Frames.Push(data, size, onFrame) == ParseStatus::Bad)
        m_bFailed = true;
    return m_bFailed ? ParseStatus::Bad : ParseStatus::Ok;
}

}  // namespace v77framing
