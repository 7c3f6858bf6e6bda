// Reads a polygon ("SEN2") sample: a picture identifier, polyline records and
// text records, each list chained by the records' own sizes.
//
//     sample:   0 picture | 4 polyline count P | 8 text count T
//               12 offset of the first polyline | 16 offset of the first text
//     polyline: 0 size | 4 colour (0x00BBGGRR) | 8 point count n | 12 n x (x, y)
//     text:     0 size | 4 string id | 8 kind | 12 argument
//
// A list ends early at the first record that does not lie inside the sample,
// whose size is below its header (it would not move on), or whose points do
// not fit the sample. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "sinks/formats/V77ByteReader.h"

namespace v77 {

struct PolygonPoint {
    int32_t x;
    int32_t y;
};

struct Polyline {
    uint32_t colour;
    std::vector<PolygonPoint> points;
};

enum class TextKind : uint32_t { Integer = 0, Double = 1, Text = 2 };

struct TextRecord {
    uint32_t stringId;
    uint32_t kind;             // a TextKind, or another value (an empty line)
    int32_t integer;           // kind 0
    double number;             // kind 1
    std::u16string text;       // kind 2: up to its NUL, or to the record's end
};

class CPolygonSampleReader {
public:
    static constexpr size_t kHeaderBytes = 20;
    static constexpr size_t kPolylineHeaderBytes = 12;
    static constexpr size_t kTextHeaderBytes = 12;

    CPolygonSampleReader(const uint8_t* data, size_t length) : m_Bytes(data, length) {}

    bool HasHeader() const { return m_Bytes.Fits(0, kHeaderBytes); }
    uint32_t Picture() const;
    // The records that lie inside the sample, in order, up to the count given.
    std::vector<Polyline> Polylines() const;
    std::vector<TextRecord> Texts() const;

private:
    uint32_t Word(size_t offset) const;

    CByteReader m_Bytes;
};

}  // namespace v77
