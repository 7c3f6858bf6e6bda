// Fuzz target: sensor and polygon sample readers and the run-length decoder,
// fed the same bytes as a "SENS" sample, a "SEN2" sample and a mask.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "companions/V77UIHelper/rle/V77Dither.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"
#include "sinks/formats/CPolygonSampleReader.h"
#include "sinks/formats/CSensorSampleReader.h"

namespace {

// A mask size taken from the first bytes, kept small enough to be quick.
void DecodeInto(const uint8_t* data, size_t size, int width, int height)
{
    const int rowBytes = width / 8;
    std::vector<uint8_t> rows(static_cast<size_t>(rowBytes + 1) * height);
    v77::DecodeRunLength(data, size, rows.data(), width, rowBytes, height, rowBytes + 1);
    std::vector<uint8_t> dib(static_cast<size_t>(rowBytes + 4) * height);
    v77::DitherRegion(rows.data(), dib.data(), width, rowBytes + 1, rowBytes + 4, height, nullptr, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    v77::CSensorSampleReader sensor(data, size);
    if (sensor.HasHeader()) {
        sensor.Active();
        const uint32_t count = sensor.RecordCount();
        for (uint32_t i = 0; i < count && i < 64; ++i) {
            v77::SensorRecord record{};
            if (sensor.Record(i, &record))
                DecodeInto(record.mask, record.maskBytes, 1 + (record.value % 97), 1 + (record.value / 97) % 61);
        }
    }
    v77::CPolygonSampleReader polygon(data, size);
    polygon.Picture();
    polygon.Polylines();
    polygon.Texts();
    if (size >= 2)
        DecodeInto(data + 2, size - 2, 1 + data[0] % 70, 1 + data[1] % 50);
    return 0;
}
