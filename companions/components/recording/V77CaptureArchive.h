// The local capture process's archive mode: how a viewer in the same machine
// asks it for stretches of a recording store and where the frames arrive.
//
// Requests travel over a message-mode named pipe, \\.\pipe\V77Capture.NAME.Archive
// (one connection per viewer, requests in the archive protocol's 24-byte
// "V77Q" form, V77ArchiveProtocol.h). The answer to describe is one pipe
// message: the 24-byte "V77D" header, formatLength bytes of the AVI video
// format, then the name of the viewer's own ring (CV77CaptureRing, created
// for the connection, kV77CaptureRingNameMax characters at most).
//
// A stretch request is answered in the ring only. Stretch requests on a
// connection are numbered from 1, on both sides; every slot of stretch n
// carries the frame number (n << 32) | i:
//   i = 0            the stretch header: flags kV77CaptureStretchHeader, data
//                    the 16-byte "V77S" answer (count, next);
//   i = 1 .. count   the frames: capture time = recorded time, duration,
//                    key frames flagged kV77CaptureSyncPoint;
//   any i            flags kV77CaptureStretchFailed, no data: the capture
//                    process could not read frame i - 1; the stretch ends.
// A frame is never overwritten unread: the capture process waits for a slot
// the viewer gives back. A new request abandons the stretch being written;
// the viewer returns unread slots of earlier stretches as it meets them.
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "companions/components/recording/V77ArchiveProtocol.h"

namespace V77CaptureArchive {

constexpr size_t kRingNameMax = 64;
constexpr size_t kMaxDescribeSize =
    V77ArchiveProtocol::kDescribeSize + V77ArchiveProtocol::kMaxFormatLength + kRingNameMax;

inline uint64_t Sequence(uint32_t stretch, uint32_t index) { return uint64_t{stretch} << 32 | index; }
inline uint32_t StretchOf(uint64_t sequence) { return static_cast<uint32_t>(sequence >> 32); }
inline uint32_t IndexOf(uint64_t sequence) { return static_cast<uint32_t>(sequence); }

// The pipe's name for the capture process called name (without "\\.\pipe\").
std::wstring PipeName(const std::wstring& name);

struct Describe {
    V77ArchiveProtocol::Description description;
    std::vector<uint8_t> format;
    std::string ring;
};

void Encode(const Describe& describe, std::vector<uint8_t>* out);
// False for a wrong header, a format length that does not match the message,
// or a ring name that is empty, too long or not letters, digits, '-', '_', '.'.
bool Decode(const uint8_t* data, size_t size, Describe* describe);

}  // namespace V77CaptureArchive
