// libFuzzer target: the TCP channel's frame reader on arbitrary bytes, fed
// in pieces whose sizes the input's first byte chooses.
#include <cstddef>
#include <cstdint>

#include "companions/framing/CV77FrameReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 64;
    v77framing::CV77FrameReader reader(v77framing::kPcmFrameMagic);
    size_t total = 0;
    for (size_t at = 1; at < size; at += step) {
        const size_t n = at + step <= size ? step : size - at;
        reader.Push(data + at, n, [&total](const v77framing::FrameHeader& h, const uint8_t* p) {
            for (uint32_t i = 0; i < h.length; ++i)
                total += p[i];   // touches every payload byte the reader claims
            return true;
        });
    }
    return total == 0xFFFFFFFFFFFF ? 1 : 0;
}
