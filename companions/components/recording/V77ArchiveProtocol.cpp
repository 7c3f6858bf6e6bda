#include "companions/components/recording/V77ArchiveProtocol.h"

#include <cstring>

namespace V77ArchiveProtocol {

namespace {

void Tag(const char* tag, std::vector<uint8_t>* out)
{
    out->insert(out->end(), tag, tag + 4);
}

void Put32(uint32_t value, std::vector<uint8_t>* out)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Put64(int64_t value, std::vector<uint8_t>* out)
{
    const auto bits = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        out->push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int64_t Get64(const uint8_t* p)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | p[i];
    return static_cast<int64_t>(bits);
}

bool Tagged(const uint8_t* data, size_t size, size_t expected, const char* tag)
{
    return data && size == expected && std::memcmp(data, tag, 4) == 0;
}

}  // namespace

void Encode(const Request& request, std::vector<uint8_t>* out)
{
    Tag("V77Q", out);
    Put32(request.kind, out);
    Put64(request.position, out);
    Put32(request.type, out);
    Put32(request.maxFrames, out);
}

void Encode(const Description& description, std::vector<uint8_t>* out)
{
    Tag("V77D", out);
    Put32(description.frameCount, out);
    Put64(description.frameTime, out);
    Put32(description.formatLength, out);
    Put32(description.averageFrameSize, out);
}

void Encode(const StretchHeader& header, std::vector<uint8_t>* out)
{
    Tag("V77S", out);
    Put32(header.count, out);
    Put64(header.next, out);
}

void Encode(const FrameHeader& header, std::vector<uint8_t>* out)
{
    Tag("V77F", out);
    Put32(header.key ? 1u : 0u, out);
    Put64(header.time, out);
    Put64(header.duration, out);
    Put32(header.size, out);
}

bool Decode(const uint8_t* data, size_t size, Request* request)
{
    if (!Tagged(data, size, kRequestSize, "V77Q"))
        return false;
    Request r;
    r.kind = Get32(data + 4);
    r.position = Get64(data + 8);
    r.type = Get32(data + 16);
    r.maxFrames = Get32(data + 20);
    if (r.kind == kStretch) {
        if ((r.type != 0 && r.type != 2 && r.type != 3) || r.maxFrames == 0 || r.maxFrames > kMaxStretchFrames)
            return false;
    } else if (r.kind != kDescribe) {
        return false;
    }
    *request = r;
    return true;
}

bool Decode(const uint8_t* data, size_t size, Description* description)
{
    if (!Tagged(data, size, kDescribeSize, "V77D"))
        return false;
    Description d;
    d.frameCount = Get32(data + 4);
    d.frameTime = Get64(data + 8);
    d.formatLength = Get32(data + 16);
    d.averageFrameSize = Get32(data + 20);
    if (d.frameTime <= 0 || d.formatLength == 0 || d.formatLength > kMaxFormatLength ||
        d.averageFrameSize > kMaxFrameBytes)
        return false;
    *description = d;
    return true;
}

bool Decode(const uint8_t* data, size_t size, uint32_t maxFrames, StretchHeader* header)
{
    if (!Tagged(data, size, kStretchSize, "V77S"))
        return false;
    StretchHeader h;
    h.count = Get32(data + 4);
    h.next = Get64(data + 8);
    if (h.count > maxFrames || h.count > kMaxStretchFrames || h.next < 0)
        return false;
    *header = h;
    return true;
}

bool Decode(const uint8_t* data, size_t size, FrameHeader* header)
{
    if (!Tagged(data, size, kFrameSize, "V77F"))
        return false;
    const uint32_t flags = Get32(data + 4);
    FrameHeader h;
    h.key = (flags & 1u) != 0;
    h.time = Get64(data + 8);
    h.duration = Get64(data + 16);
    h.size = Get32(data + 24);
    if ((flags & ~1u) != 0 || h.time <= 0 || h.duration <= 0 || h.size > kMaxFrameBytes)
        return false;
    *header = h;
    return true;
}

}  // namespace V77ArchiveProtocol
