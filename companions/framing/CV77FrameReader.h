// Cuts a byte stream (as it comes from recv, in pieces of any size) into
// frames of one magic: header, then payload. After a bad header it stays
// failed: the connection cannot be resynchronised and must be closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "companions/framing/V77FrameHeader.h"

namespace v77framing {

class CV77FrameReader {
public:
    // Called once per complete frame; payload points at header.length bytes.
    // Returning false stops the reader (Push then returns Bad).
    using FrameHandler = std::function<bool(const FrameHeader& header, const uint8_t* payload)>;

    explicit CV77FrameReader(uint32_t magic) : m_Magic(magic) {}

    // Consumes size bytes: Ok (waiting for more) or Bad (stream corrupt).
    ParseStatus Push(const uint8_t* data, size_t size, const FrameHandler& onFrame);
    bool Failed() const { return m_bFailed; }
    // Bytes of an incomplete frame held back.
    size_t Pending() const { return m_Buffer.size(); }
    void Reset();

private:
    uint32_t m_Magic;
    bool m_bFailed = false;
    bool m_bHaveHeader = false;
    FrameHeader m_Header;
    std::vector<uint8_t> m_Buffer;   // header bytes, then payload bytes, of the frame in progress
};

}  // namespace v77framing
