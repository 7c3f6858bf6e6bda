// MPEG-4 Part 2 (ISO/IEC 14496-2) start codes and the two headers the
// receivers read: the video object layer (picture size, time base) and the
// start of a video object plane (coding type, time).
#pragma once

#include <cstddef>
#include <cstdint>

namespace v77mpeg4 {

constexpr uint8_t kVisualObjectSequenceStart = 0xB0;
constexpr uint8_t kVisualObjectSequenceEnd = 0xB1;
constexpr uint8_t kUserData = 0xB2;
constexpr uint8_t kGroupOfVop = 0xB3;
constexpr uint8_t kVisualObject = 0xB5;
constexpr uint8_t kVop = 0xB6;

inline bool IsVideoObjectCode(uint8_t code) { return code <= 0x1F; }
inline bool IsVolCode(uint8_t code) { return code >= 0x20 && code <= 0x2F; }

enum VopType : int { kVopI = 0, kVopP = 1, kVopB = 2, kVopS = 3 };

struct VolInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t timeIncrementResolution = 0;  // ticks per second
    uint32_t fixedVopTimeIncrement = 0;    // 0 when the rate is not fixed
    unsigned timeIncrementBits = 0;        // width of vop_time_increment
};

// Offset of the first 00 00 01 prefix at or after from, or size when none.
size_t FindStartCode(const uint8_t* data, size_t size, size_t from);

// Parses a VOL header starting at its 00 00 01 2x start code. Only rectangular
// layers carry a size; others are refused.
bool ParseVol(const uint8_t* data, size_t size, VolInfo* vol);

// Finds the first VOL header inside data (a frame or decoder configuration).
bool FindVol(const uint8_t* data, size_t size, VolInfo* vol);

struct VopInfo {
    int codingType = -1;       // VopType, -1 when no VOP was found
    uint32_t moduloSeconds = 0;  // modulo_time_base: whole seconds since the last sync
    uint32_t timeIncrement = 0;  // vop_time_increment, valid when the VOL is known
};

// Reads the first VOP header inside data; vol (may be null) gives the
// width of the time increment.
bool FindVop(const uint8_t* data, size_t size, const VolInfo* vol, VopInfo* vop);

// 100-ns units per frame from a fixed VOP rate, or 0.
int64_t FrameDuration(const VolInfo& vol);

}  // namespace v77mpeg4
