#include "sinks/formats/CPolygonSampleReader.h"

namespace v77 {

uint32_t CPolygonSampleReader::Word(size_t offset) const
{
    uint32_t value = 0;
    return m_Bytes.U32(offset, &value) ? value : 0;
}

uint32_t CPolygonSampleReader::Picture() const
{
    return Word(0);
}

std::vector<Polyline> CPolygonSampleReader::Polylines() const
{
    std::vector<Polyline> lines;
    if (!HasHeader())
        return lines;
    const uint32_t count = Word(4);
    size_t offset = Word(12);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0, colour = 0, points = 0;
        if (!m_Bytes.Fits(offset, kPolylineHeaderBytes) || !m_Bytes.U32(offset, &size) ||
            size < kPolylineHeaderBytes)
            break;
        m_Bytes.U32(offset + 4, &colour);
        m_Bytes.U32(offset + 8, &points);
        if (points > (m_Bytes.Length() - offset - kPolylineHeaderBytes) / 8)
            break;
        Polyline line{colour, std::vector<PolygonPoint>(points)};
        for (uint32_t p = 0; p < points; ++p) {
            m_Bytes.I32(offset + kPolylineHeaderBytes + 8 * static_cast<size_t>(p), &line.points[p].x);
            m_Bytes.I32(offset + kPolylineHeaderBytes + 8 * static_cast<size_t>(p) + 4, &line.points[p].y);
        }
        lines.push_back(std::move(line));
        offset += size;
    }
    return lines;
}

std::vector<TextRecord> CPolygonSampleReader::Texts() const
{
    std::vector<TextRecord> texts;
    if (!HasHeader())
        return texts;
    const uint32_t count = Word(8);
    size_t offset = Word(16);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!m_Bytes.Fits(offset, kTextHeaderBytes) || !m_Bytes.U32(offset, &size) || size < kTextHeaderBytes)
            break;
        TextRecord record{Word(offset + 4), Word(offset + 8), 0, 0.0, {}};
        const size_t argument = offset + kTextHeaderBytes;
        // The argument may not reach past the record nor the sample.
        const size_t end = m_Bytes.Fits(offset, size) ? offset + size : m_Bytes.Length();
        const CByteReader inside(m_Bytes.Data(), end);
        bool ok = true;
        if (record.kind == static_cast<uint32_t>(TextKind::Integer))
            ok = inside.I32(argument, &record.integer);
        else if (record.kind == static_cast<uint32_t>(TextKind::Double))
            ok = inside.F64(argument, &record.number);
        else if (record.kind == static_cast<uint32_t>(TextKind::Text)) {
            for (size_t p = argument; inside.Fits(p, 2); p += 2) {
                const char16_t c = static_cast<char16_t>(inside.Data()[p] | inside.Data()[p + 1] << 8);
                if (c == 0)
                    break;
                record.text.push_back(c);
            }
        }
        if (!ok)
            record.kind = 0xFFFFFFFFu;  // an argument cut short gives an empty line
        texts.push_back(std::move(record));
        offset += size;
    }
    return texts;
}

}  // namespace v77
