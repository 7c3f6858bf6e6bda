// libFuzzer target: an elementary stream into the splitter, cut into chunks
// whose sizes come from the first byte, as a socket might deliver them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "companions/components/parsers/CV77Mpeg4EsSplitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t chunk = 1 + data[0] % 64;
    const size_t limit = 4096;
    CV77Mpeg4EsSplitter splitter(limit);
    std::vector<Mpeg4EsFrame> frames;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t take = chunk < size - at ? chunk : size - at;
        std::vector<uint8_t> piece(data + at, data + at + take);
        splitter.Push(piece.data(), piece.size(), &frames);
    }
    splitter.Finish();
    for (const Mpeg4EsFrame& f : frames) {
        if (f.data.size() < 4 || f.data.size() > limit)
            __builtin_trap();
    }
    return 0;
}
