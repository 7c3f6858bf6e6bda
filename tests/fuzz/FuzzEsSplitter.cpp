// libFuzzer target: an elementary stream into the splitter, cut into chunks
// whose sizes come from the first byte, as a socket might deliver them.
#include "companions/components/parsers/CV77Mpeg4EsSplitter.h"
#include "tests/fuzz/FuzzPieces.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t limit = 4096;
    CV77Mpeg4EsSplitter splitter(limit);
    std::vector<Mpeg4EsFrame> frames;
    ForEachPiece(data, size, 64, [&](const uint8_t* piece, size_t n) { splitter.Push(piece, n, &frames); });
    splitter.Finish();
    for (const Mpeg4EsFrame& f : frames) {
        if (f.data.size() < 4 || f.data.size() > limit)
            __builtin_trap();
    }
    return 0;
}
