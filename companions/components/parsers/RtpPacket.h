// RTP fixed header (RFC 3550 section 5.1): version, padding, extension and
// CSRC list are checked and stepped over; what remains is the payload.
#pragma once

#include <cstddef>
#include <cstdint>

struct RtpPacket {
    uint8_t payloadType = 0;
    bool marker = false;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    const uint8_t* payload = nullptr;
    size_t payloadSize = 0;
};

// False for anything that is not a well-formed version 2 packet.
bool ParseRtpPacket(const uint8_t* data, size_t size, RtpPacket* packet);
