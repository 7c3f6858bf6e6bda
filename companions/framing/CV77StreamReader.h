// A stream server client's parser: the stream description first, then
// "V77F" frames, from bytes in pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "companions/framing/CV77FrameReader.h"
#include "companions/framing/V77StreamDescription.h"

namespace v77framing {

class CV77StreamReader {
public:
    using DescriptionHandler = std::function<bool(const StreamDescription& description)>;

    CV77StreamReader() : m_Frames(kStreamFrameMagic) {}

    // Ok while the stream is well formed so far; Bad once it is not (or a handler said stop).
    ParseStatus Push(const uint8_t* data, size_t size, const DescriptionHandler& onDescription,
                     const CV77FrameReader::FrameHandler& onFrame);
    bool HaveDescription() const { return m_bHaveDescription; }

private:
    bool m_bHaveDescription = false;
    bool m_bFailed = false;
    std::vector<uint8_t> m_Head;   // description bytes until it is complete
    CV77FrameReader m_Frames;
};

}  // namespace v77framing
