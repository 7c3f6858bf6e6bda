// libFuzzer target: the archive protocol's headers read the way the receiver
// and the server read them: a request, then a description and its format,
// then stretch headers each followed by its frames (data skipped); and the
// rest as the capture tool's describe answer, read the way its viewer reads it.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "companions/components/recording/V77ArchiveProtocol.h"
#include "companions/components/recording/V77CaptureArchive.h"

namespace P = V77ArchiveProtocol;

namespace {

// Encoding what was decoded gives back the bytes read.
template <typename T>
void ExpectRoundTrip(const T& value, const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    P::Encode(value, &out);
    if (out.size() != size || !std::equal(out.begin(), out.end(), data))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    P::Request request;
    if (size >= P::kRequestSize && P::Decode(data, P::kRequestSize, &request)) {
        if (request.kind == P::kStretch && (request.maxFrames == 0 || request.maxFrames > P::kMaxStretchFrames))
            __builtin_trap();
        ExpectRoundTrip(request, data, P::kRequestSize);
        data += P::kRequestSize;
        size -= P::kRequestSize;
    }
    V77CaptureArchive::Describe describe;
    if (V77CaptureArchive::Decode(data, size, &describe)) {
        if (describe.ring.empty() || describe.ring.size() > V77CaptureArchive::kRingNameMax ||
            describe.format.size() != describe.description.formatLength)
            __builtin_trap();
        std::vector<uint8_t> out;
        V77CaptureArchive::Encode(describe, &out);
        if (out.size() != size || !std::equal(out.begin(), out.end(), data))
            __builtin_trap();
    }
    P::Description description;
    if (size < P::kDescribeSize || !P::Decode(data, P::kDescribeSize, &description))
        return 0;
    if (description.formatLength == 0 || description.formatLength > P::kMaxFormatLength || description.frameTime <= 0)
        __builtin_trap();
    size_t at = P::kDescribeSize + description.formatLength;
    while (at + P::kStretchSize <= size) {
        P::StretchHeader stretch;
        if (!P::Decode(data + at, P::kStretchSize, 16, &stretch))
            return 0;
        if (stretch.count > 16 || stretch.next < 0)
            __builtin_trap();
        at += P::kStretchSize;
        for (uint32_t i = 0; i < stretch.count; ++i) {
            P::FrameHeader frame;
            if (at + P::kFrameSize > size || !P::Decode(data + at, P::kFrameSize, &frame))
                return 0;
            if (frame.size > P::kMaxFrameBytes || frame.time <= 0 || frame.duration <= 0)
                __builtin_trap();
            ExpectRoundTrip(frame, data + at, P::kFrameSize);
            at += P::kFrameSize;
            if (frame.size > size - at)
                return 0;
            at += frame.size;
        }
    }
    return 0;
}
