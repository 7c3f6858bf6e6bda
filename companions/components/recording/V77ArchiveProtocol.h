// The archive server's request/response protocol: fixed little-endian
// headers, each starting with a four-character tag, encoded and checked here
// so that neither side trusts a byte it has not validated.
//
//   request  "V77Q" kind:u32 position:i64 type:u32 maxFrames:u32       (24 bytes)
//            kind 1 describe, 2 stretch (type 0 seek, 2 forward, 3 backward)
//   describe "V77D" frameCount:u32 frameTime:i64 formatLength:u32
//            averageFrameSize:u32, then formatLength bytes of the AVI
//            video format (a BITMAPINFOHEADER and its extra bytes)     (24 bytes)
//   stretch  "V77S" count:u32 next:i64, then count frames              (16 bytes)
//   frame    "V77F" flags:u32 time:i64 duration:i64 size:u32, then size
//            bytes; flags bit 0: key frame                             (28 bytes)
// One connection carries any number of requests, each answered in full
// before the next is read. A server that cannot answer closes the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace V77ArchiveProtocol {

constexpr size_t kRequestSize = 24;
constexpr size_t kDescribeSize = 24;
constexpr size_t kStretchSize = 16;
constexpr size_t kFrameSize = 28;
// Limits a reader applies before it allocates or reads on.
constexpr uint32_t kMaxFormatLength = 64 * 1024;
constexpr uint32_t kMaxStretchFrames = 1000;
constexpr uint32_t kMaxFrameBytes = 64 * 1024 * 1024;

enum RequestKind : uint32_t { kDescribe = 1, kStretch = 2 };

struct Request {
    uint32_t kind = kDescribe;
    int64_t position = 0;
    uint32_t type = 0;
    uint32_t maxFrames = 0;
};

struct Description {
    uint32_t frameCount = 0;
    int64_t frameTime = 0;
    uint32_t formatLength = 0;
    uint32_t averageFrameSize = 0;
};

struct StretchHeader {
    uint32_t count = 0;
    int64_t next = 0;
};

struct FrameHeader {
    bool key = false;
    int64_t time = 0;
    int64_t duration = 0;
    uint32_t size = 0;
};

void Encode(const Request& request, std::vector<uint8_t>* out);
void Encode(const Description& description, std::vector<uint8_t>* out);
void Encode(const StretchHeader& header, std::vector<uint8_t>* out);
void Encode(const FrameHeader& header, std::vector<uint8_t>* out);

// Each takes exactly the header's size in bytes and answers false for a
// wrong tag, an unknown kind or type, or a value beyond the limits.
bool Decode(const uint8_t* data, size_t size, Request* request);
bool Decode(const uint8_t* data, size_t size, Description* description);
// maxFrames: what was asked; a longer answer is refused.
bool Decode(const uint8_t* data, size_t size, uint32_t maxFrames, StretchHeader* header);
bool Decode(const uint8_t* data, size_t size, FrameHeader* header);

}  // namespace V77ArchiveProtocol
