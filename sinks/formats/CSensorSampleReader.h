// Reads a sensor ("SENS") sample: a flag word, a record count and a table of
// record offsets, each record a value and a run-length mask.
//
//     sample: 0 flag (non-zero: active) | 4 record count N | 8 N record offsets
//     record: 0 value (percent) | 4..19 not read | 20 mask length L | 24 L bytes
//
// Every offset and length is checked against the sample's length: a record
// that does not lie wholly inside is refused (Record gives false), never read.
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include "sinks/formats/V77ByteReader.h"

namespace v77 {

struct SensorRecord {
    uint32_t value;
    const uint8_t* mask;   // L bytes of run-length words
    uint32_t maskBytes;
};

class CSensorSampleReader {
public:
    static constexpr size_t kHeaderBytes = 8;
    static constexpr size_t kRecordHeaderBytes = 24;

    CSensorSampleReader(const uint8_t* data, size_t length) : m_Bytes(data, length) {}

    // The flag and count are there (8 bytes).
    bool HasHeader() const { return m_Bytes.Fits(0, kHeaderBytes); }
    bool Active() const;
    // As the sample says; records past the sample's end are refused one by one.
    uint32_t RecordCount() const;
    // Record i, when its offset entry, header and mask lie inside the sample.
    bool Record(uint32_t i, SensorRecord* record) const;

private:
    CByteReader m_Bytes;
};

}  // namespace v77
