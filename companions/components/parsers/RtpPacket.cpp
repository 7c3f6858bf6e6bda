#include "companions/components/parsers/RtpPacket.h"

namespace {

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

bool ParseRtpPacket(const uint8_t* data, size_t size, RtpPacket* packet)
{
    if (!data || size < 12 || (data[0] >> 6) != 2)
        return false;
    const bool padding = (data[0] & 0x20) != 0;
    const bool extension = (data[0] & 0x10) != 0;
    const size_t csrcCount = data[0] & 0x0F;
    size_t offset = 12 + 4 * csrcCount;
    if (offset > size)
        return false;
    if (extension) {
        if (offset + 4 > size)
            return false;
        const size_t words = (size_t(data[offset + 2]) << 8) | data[offset + 3];
        offset += 4 + 4 * words;
        if (offset > size)
            return false;
    }
    size_t end = size;
    if (padding) {
        const size_t pad = data[size - 1];
        if (pad == 0 || pad > end - offset)
            return false;
        end -= pad;
    }
    RtpPacket out;
    out.marker = (data[1] & 0x80) != 0;
    out.payloadType = data[1] & 0x7F;
    out.sequence = static_cast<uint16_t>((data[2] << 8) | data[3]);
    out.timestamp = Be32(data + 4);
    out.ssrc = Be32(data + 8);
    out.payload = data + offset;
    out.payloadSize = end - offset;
    *packet = out;
    return true;
}
