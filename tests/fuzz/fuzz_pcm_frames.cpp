// libFuzzer target: the TCP channel's frame reader on arbitrary bytes, fed
// in pieces whose sizes the input's first byte chooses.
#include "companions/framing/CV77FrameReader.h"
#include "tests/fuzz/FuzzPieces.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    v77framing::CV77FrameReader reader(v77framing::kPcmFrameMagic);
    ForEachPiece(data, size, 64, [&](const uint8_t* piece, size_t n) {
        reader.Push(piece, n, [](const v77framing::FrameHeader& h, const uint8_t* p) {
            TouchAll(p, h.length);
            return true;
        });
    });
    return 0;
}
