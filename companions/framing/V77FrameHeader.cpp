#include "companions/framing/V77FrameHeader.h"

namespace v77framing {

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void PutI64(uint8_t* p, int64_t v)
{
    const uint64_t u = uint64_t(v);
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(u >> (8 * i));
}

uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int64_t GetI64(const uint8_t* p)
{
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    return int64_t(u);
}

void EncodeFrameHeader(const FrameHeader& header, uint8_t out[kFrameHeaderSize])
{
    PutU32(out, header.magic);
    PutU32(out + 4, header.length);
    PutU32(out + 8, header.flags);
    PutU32(out + 12, 0);
    PutI64(out + 16, header.start);
    PutI64(out + 24, header.stop);
}

ParseStatus DecodeFrameHeader(const uint8_t* data, size_t size, uint32_t expectedMagic, FrameHeader* header)
{
    if (size < kFrameHeaderSize)
        return ParseStatus::NeedMore;
    FrameHeader h;
    h.magic = GetU32(data);
    h.length = GetU32(data + 4);
    h.flags = GetU32(data + 8);
    const uint32_t reserved = GetU32(data + 12);
    h.start = GetI64(data + 16);
    h.stop = GetI64(data + 24);
    if (h.magic != expectedMagic || h.length > kMaxFramePayload || (h.flags & ~kFrameKnownFlags) != 0 ||
        reserved != 0)
        return ParseStatus::Bad;
    *header = h;
    return ParseStatus::Ok;
}

}  // namespace v77framing
