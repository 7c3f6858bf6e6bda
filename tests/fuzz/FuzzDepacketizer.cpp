// libFuzzer target: RTP datagrams into the MPEG-4 depacketiser. The input is
// a series of datagrams, each preceded by its 16-bit big-endian length; the
// first byte picks the frame size limit, so oversize paths are reached too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "companions/components/parsers/CV77Mpeg4Depacketizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t limit = 64 + size_t(data[0]) * 256;
    CV77Mpeg4Depacketizer depacketizer(96, limit);
    std::vector<Mpeg4Frame> frames;
    size_t at = 1;
    while (at + 2 <= size) {
        const size_t length = (size_t(data[at]) << 8) | data[at + 1];
        at += 2;
        const size_t take = length < size - at ? length : size - at;
        // A copy of exactly the datagram, so reads past it are caught.
        std::vector<uint8_t> datagram(data + at, data + at + take);
        depacketizer.Push(datagram.data(), datagram.size(), &frames);
        at += take;
        for (const Mpeg4Frame& f : frames) {
            if (f.data.empty() || f.data.size() > limit)
                __builtin_trap();
        }
        frames.clear();
    }
    depacketizer.Flush(&frames);
    return 0;
}
