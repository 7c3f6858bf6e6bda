// The 32-byte header in front of every frame the TCP channel and the stream
// server send. All fields little-endian:
//
//   offset size  field
//   0      4     magic: "V77A" (PCM frame of the TCP channel) or "V77F" (stream server frame)
//   4      4     payload length in bytes (at most kMaxFramePayload)
//   8      4     flags: kFrameTimeValid, kFrameStopValid, kFrameSyncPoint, kFrameDiscontinuity;
//                any other bit makes the frame invalid
//   12     4     reserved, 0
//   16     8     start time (100 ns), meaningful with kFrameTimeValid
//   24     8     stop time (100 ns), meaningful with kFrameStopValid
//
// The payload follows at once. Portable code: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v77framing {

constexpr size_t kFrameHeaderSize = 32;
constexpr uint32_t kMaxFramePayload = 4u << 20;   // 4 MiB: larger lengths are corrupt input

constexpr uint32_t kFrameTimeValid = 1u << 0;
constexpr uint32_t kFrameStopValid = 1u << 1;
constexpr uint32_t kFrameSyncPoint = 1u << 2;      // a key frame
constexpr uint32_t kFrameDiscontinuity = 1u << 3;
constexpr uint32_t kFrameKnownFlags = kFrameTimeValid | kFrameStopValid | kFrameSyncPoint | kFrameDiscontinuity;

// The four magic bytes read as a little-endian word.
constexpr uint32_t MakeMagic(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kPcmFrameMagic = MakeMagic('V', '7', '7', 'A');
constexpr uint32_t kStreamFrameMagic = MakeMagic('V', '7', '7', 'F');

struct FrameHeader {
    uint32_t magic = 0;
    uint32_t length = 0;
    uint32_t flags = 0;
    int64_t start = 0;
    int64_t stop = 0;
};

enum class ParseStatus { Ok, NeedMore, Bad };

void EncodeFrameHeader(const FrameHeader& header, uint8_t out[kFrameHeaderSize]);
// Bad for a wrong magic, a length past kMaxFramePayload, unknown flags or a
// non-zero reserved word; NeedMore when fewer than 32 bytes are there.
ParseStatus DecodeFrameHeader(const uint8_t* data, size_t size, uint32_t expectedMagic, FrameHeader* header);

// Little-endian helpers shared by the framings.
void PutU32(uint8_t* p, uint32_t v);
void PutI64(uint8_t* p, int64_t v);
uint32_t GetU32(const uint8_t* p);
int64_t GetI64(const uint8_t* p);

}  // namespace v77framing
