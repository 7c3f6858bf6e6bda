// Writers of well-formed overlay samples, for the producers' side: the demo
// host and the tests. The readers next to them define the layouts.
// Portable: no Windows header.
#pragma once

#include <cstdint>
#include <vector>
#include "sinks/formats/CPolygonSampleReader.h"

namespace v77 {

struct SensorRecordSpec {
    uint32_t value;                  // percent
    std::vector<uint32_t> maskWords; // run-length words
};

// "SENS": flag, count, offsets, then the records back to back.
std::vector<uint8_t> BuildSensorSample(bool active, const std::vector<SensorRecordSpec>& records);

// "SEN2": header, polylines, then text records (kind 2 texts NUL-terminated).
std::vector<uint8_t> BuildPolygonSample(uint32_t picture, const std::vector<Polyline>& lines,
                                        const std::vector<TextRecord>& texts);

}  // namespace v77
