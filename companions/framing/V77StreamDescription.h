// What the stream server sends first to every client: the stream's 32-byte
// description record and its media type. All fields little-endian:
//
//   offset size  field
//   0      4     magic "V77S"
//   4      4     version, 1
//   8      4     bytes that follow this word (88 + format length)
//   12     32    the stream description record, as the source gave it
//   44     16    major type GUID (in memory order)
//   60     16    subtype GUID
//   76     16    format type GUID
//   92     4     fixed-size samples (0 or 1)
//   96     4     temporal compression (0 or 1)
//   100    4     sample size
//   104    4     format block length (at most kMaxFormatLength)
//   108    n     format block
//
// Frames with the "V77F" header (V77FrameHeader.h) follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "companions/framing/V77FrameHeader.h"

namespace v77framing {

constexpr uint32_t kStreamMagic = MakeMagic('V', '7', '7', 'S');
constexpr uint32_t kStreamVersion = 1;
constexpr size_t kStreamFixedSize = 108;
constexpr uint32_t kMaxFormatLength = 64u << 10;

struct StreamDescription {
    uint8_t sourceInformation[32] = {};
    uint8_t majorType[16] = {};
    uint8_t subtype[16] = {};
    uint8_t formatType[16] = {};
    uint32_t fixedSizeSamples = 0;
    uint32_t temporalCompression = 0;
    uint32_t sampleSize = 0;
    std::vector<uint8_t> format;
};

std::vector<uint8_t> EncodeStreamDescription(const StreamDescription& description);
// NeedMore until the whole record is there; *consumed is its length on Ok.
// Bad for a wrong magic or version, a length that disagrees with the format
// length, a format past kMaxFormatLength, or flags other than 0 and 1.
ParseStatus DecodeStreamDescription(const uint8_t* data, size_t size, StreamDescription* description,
                                    size_t* consumed);

}  // namespace v77framing
