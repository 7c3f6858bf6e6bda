// Shared structures of the module and its outside components.
#pragma once

#include <windows.h>
#include <strmif.h>

#pragma pack(push, 8)

// The 32-byte stream description that receivers fill and the media-type
// helpers turn into a media type. Audio streams reuse the video fields:
// Parameter carries the sample rate and Width the channel count.
struct SOURCE_INFORMATION {
    LONGLONG AvgTimePerFrame;   // 0: 100-ns units
    DWORD Parameter;            // 8
    LONG Width;                 // 12
    LONG Height;                // 16
    DWORD Compression;          // 20: FOURCC, 0 for uncompressed RGB
    WORD BitCount;              // 24
    WORD Reserved1;             // 26
    DWORD Reserved2;            // 28
};

#pragma pack(pop)

static_assert(sizeof(SOURCE_INFORMATION) == 32, "SOURCE_INFORMATION is a 32-byte record");
static_assert(offsetof(SOURCE_INFORMATION, Parameter) == 8, "layout");
static_assert(offsetof(SOURCE_INFORMATION, Width) == 12, "layout");
static_assert(offsetof(SOURCE_INFORMATION, Height) == 16, "layout");
static_assert(offsetof(SOURCE_INFORMATION, Compression) == 20, "layout");
static_assert(offsetof(SOURCE_INFORMATION, BitCount) == 24, "layout");

// Control block carried in a pooled sample in place of frame data.
enum V77_COMMAND_TYPE : DWORD {
    V77_COMMAND_END_OF_STREAM = 0,
    V77_COMMAND_SEGMENT_START = 1,
};

#pragma pack(push, 1)
struct V77_COMMAND_RECORD {
    DWORD Type;                 // 0: V77_COMMAND_TYPE
    DWORD Zero1;                // 4
    REFERENCE_TIME Start;       // 8
    REFERENCE_TIME Stop;        // 16
    double Rate;                // 24
    REFERENCE_TIME Second;      // 32: second position, 0 when not used
    BYTE RateValid;             // 40: Rate applies only when 1
    BYTE Zero2[7];              // 41
};
#pragma pack(pop)

static_assert(sizeof(V77_COMMAND_RECORD) == 48, "the command record is 48 bytes");
static_assert(offsetof(V77_COMMAND_RECORD, Start) == 8, "layout");
static_assert(offsetof(V77_COMMAND_RECORD, Stop) == 16, "layout");
static_assert(offsetof(V77_COMMAND_RECORD, Rate) == 24, "layout");
static_assert(offsetof(V77_COMMAND_RECORD, Second) == 32, "layout");
static_assert(offsetof(V77_COMMAND_RECORD, RateValid) == 40, "layout");
