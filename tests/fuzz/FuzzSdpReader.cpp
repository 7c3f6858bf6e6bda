// libFuzzer target: the session description reader on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "companions/components/parsers/CV77SdpReader.h"
#include "companions/components/parsers/Mpeg4Headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    CV77SdpReader reader;
    if (reader.Parse(text.data(), text.size())) {
        const SdpVideoStream& s = reader.Stream();
        if (s.port == 0 || s.payloadType > 127 || s.encoding != "MP4V-ES")
            __builtin_trap();
        v77mpeg4::VolInfo vol;
        v77mpeg4::FindVol(s.config.data(), s.config.size(), &vol);
    } else if (reader.Error().empty()) {
        __builtin_trap();
    }
    return 0;
}
