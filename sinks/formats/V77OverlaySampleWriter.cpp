#include "sinks/formats/V77OverlaySampleWriter.h"

#include <cstring>

namespace v77 {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Poke32(std::vector<uint8_t>* out, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*out)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> BuildSensorSample(bool active, const std::vector<SensorRecordSpec>& records)
{
    std::vector<uint8_t> out;
    Put32(&out, active ? 1 : 0);
    Put32(&out, static_cast<uint32_t>(records.size()));
    const size_t table = out.size();
    out.resize(out.size() + 4 * records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        Poke32(&out, table + 4 * i, static_cast<uint32_t>(out.size()));
        Put32(&out, records[i].value);
        out.resize(out.size() + 16);
        Put32(&out, static_cast<uint32_t>(4 * records[i].maskWords.size()));
        for (uint32_t word : records[i].maskWords)
            Put32(&out, word);
    }
    return out;
}

std::vector<uint8_t> BuildPolygonSample(uint32_t picture, const std::vector<Polyline>& lines,
                                        const std::vector<TextRecord>& texts)
{
    std::vector<uint8_t> out;
    Put32(&out, picture);
    Put32(&out, static_cast<uint32_t>(lines.size()));
    Put32(&out, static_cast<uint32_t>(texts.size()));
    Put32(&out, 20);
    Put32(&out, 0);  // set below
    for (const Polyline& line : lines) {
        Put32(&out, static_cast<uint32_t>(12 + 8 * line.points.size()));
        Put32(&out, line.colour);
        Put32(&out, static_cast<uint32_t>(line.points.size()));
        for (const PolygonPoint& p : line.points) {
            Put32(&out, static_cast<uint32_t>(p.x));
            Put32(&out, static_cast<uint32_t>(p.y));
        }
    }
    Poke32(&out, 16, static_cast<uint32_t>(out.size()));
    for (const TextRecord& text : texts) {
        const size_t start = out.size();
        Put32(&out, 0);
        Put32(&out, text.stringId);
        Put32(&out, text.kind);
        if (text.kind == static_cast<uint32_t>(TextKind::Integer)) {
            Put32(&out, static_cast<uint32_t>(text.integer));
        } else if (text.kind == static_cast<uint32_t>(TextKind::Double)) {
            uint64_t bits = 0;
            memcpy(&bits, &text.number, sizeof(bits));
            Put32(&out, static_cast<uint32_t>(bits));
            Put32(&out, static_cast<uint32_t>(bits >> 32));
        } else if (text.kind == static_cast<uint32_t>(TextKind::Text)) {
            for (char16_t c : text.text) {
                out.push_back(static_cast<uint8_t>(c));
                out.push_back(static_cast<uint8_t>(c >> 8));
            }
            out.push_back(0);
            out.push_back(0);
        }
        Poke32(&out, start, static_cast<uint32_t>(out.size() - start));
    }
    return out;
}

}  // namespace v77
