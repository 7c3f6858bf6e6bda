// libFuzzer target: a stream server client's reader (description, then
// frames) on arbitrary bytes, in pieces sized by the input's first byte.
#include <cstddef>
#include <cstdint>

#include "companions/framing/CV77StreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 200;
    v77framing::CV77StreamReader reader;
    size_t total = 0;
    for (size_t at = 1; at < size; at += step) {
        const size_t n = at + step <= size ? step : size - at;
        reader.Push(
            data + at, n,
            [&total](const v77framing::StreamDescription& d) {
                for (uint8_t b : d.format)
                    total += b;
                return true;
            },
            [&total](const v77framing::FrameHeader& h, const uint8_t* p) {
                for (uint32_t i = 0; i < h.length; ++i)
                    total += p[i];
                return true;
            });
    }
    return total == 0xFFFFFFFFFFFF ? 1 : 0;
}
