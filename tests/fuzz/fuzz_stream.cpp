// libFuzzer target: a stream server client's reader (description, then
// frames) on arbitrary bytes, in pieces sized by the input's first byte.
#include "companions/framing/CV77StreamReader.h"
#include "tests/fuzz/FuzzPieces.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    v77framing::CV77StreamReader reader;
    ForEachPiece(data, size, 200, [&](const uint8_t* piece, size_t n) {
        reader.Push(
            piece, n,
            [](const v77framing::StreamDescription& d) {
                TouchAll(d.format.data(), d.format.size());
                return true;
            },
            [](const v77framing::FrameHeader& h, const uint8_t* p) {
                TouchAll(p, h.length);
                return true;
            });
    });
    return 0;
}
