#include "companions/components/parsers/Mpeg4Headers.h"

#include "companions/components/parsers/CV77BitReader.h"

namespace v77mpeg4 {

namespace {

unsigned BitsFor(uint32_t resolution)
{
    // vop_time_increment takes as many bits as resolution - 1 needs, at least one.
    unsigned bits = 1;
    while (bits < 16 && (1u << bits) < resolution)
        ++bits;
    return bits;
}

}  // namespace

size_t FindStartCode(const uint8_t* data, size_t size, size_t from)
{
    for (size_t i = from; i + 3 <= size; ++i) {
        if (data[i + 2] > 1) {
            i += 2;
            continue;
        }
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return size;
}

bool ParseVol(const uint8_t* data, size_t size, VolInfo* vol)
{
    if (size < 5 || data[0] != 0 || data[1] != 0 || data[2] != 1 || !IsVolCode(data[3]))
        return false;
    CV77BitReader bits(data + 4, size - 4);
    bits.Skip(1);  // random_accessible_vol
    bits.Skip(8);  // video_object_type_indication
    unsigned verid = 1;
    if (bits.ReadBit()) {  // is_object_layer_identifier
        verid = bits.Read(4);
        bits.Skip(3);
    }
    if (bits.Read(4) == 15)  // aspect_ratio_info: extended PAR
        bits.Skip(16);
    if (bits.ReadBit()) {  // vol_control_parameters
        bits.Skip(2 + 1);  // chroma_format, low_delay
        if (bits.ReadBit())  // vbv_parameters
            bits.Skip(15 + 1 + 15 + 1 + 15 + 1 + 3 + 11 + 1 + 15 + 1);
    }
    const uint32_t shape = bits.Read(2);
    if (shape == 3 && verid != 1)
        bits.Skip(4);
    if (!bits.ReadBit())  // marker
        return false;
    const uint32_t resolution = bits.Read(16);
    if (!bits.ReadBit() || resolution == 0)
        return false;
    VolInfo out;
    out.timeIncrementResolution = resolution;
    out.timeIncrementBits = BitsFor(resolution);
    if (bits.ReadBit())  // fixed_vop_rate
        out.fixedVopTimeIncrement = bits.Read(out.timeIncrementBits);
    if (shape != 0)
        return false;
    if (!bits.ReadBit())
        return false;
    out.width = bits.Read(13);
    if (!bits.ReadBit())
        return false;
    out.height = bits.Read(13);
    if (!bits.ReadBit() || bits.Overrun() || out.width == 0 || out.height == 0)
        return false;
    *vol = out;
    return true;
}

bool FindVol(const uint8_t* data, size_t size, VolInfo* vol)
{
    for (size_t at = FindStartCode(data, size, 0); at + 4 <= size; at = FindStartCode(data, size, at + 3)) {
        if (IsVolCode(data[at + 3]))
            return ParseVol(data + at, size - at, vol);
    }
    return false;
}

bool FindVop(const uint8_t* data, size_t size, const VolInfo* vol, VopInfo* vop)
{
    for (size_t at = FindStartCode(data, size, 0); at + 4 <= size; at = FindStartCode(data, size, at + 3)) {
        if (data[at + 3] != kVop)
            continue;
        if (size - at < 5)
            return false;
        CV77BitReader bits(data + at + 4, size - at - 4);
        VopInfo out;
        out.codingType = static_cast<int>(bits.Read(2));
        // modulo_time_base: one 1 bit per elapsed second, then a 0; bounded so
        // a run of garbage ones cannot spin.
        while (bits.ReadBit() && !bits.Overrun() && out.moduloSeconds < 64)
            ++out.moduloSeconds;
        bits.Skip(1);  // marker
        if (vol && vol->timeIncrementBits)
            out.timeIncrement = bits.Read(vol->timeIncrementBits);
        *vop = out;
        return true;
    }
    return false;
}

int64_t FrameDuration(const VolInfo& vol)
{
    if (!vol.fixedVopTimeIncrement || !vol.timeIncrementResolution)
        return 0;
    return static_cast<int64_t>(vol.fixedVopTimeIncrement) * 10000000 / vol.timeIncrementResolution;
}

}  // namespace v77mpeg4
