#include "sinks/formats/CPolygonSampleReader.h"
#include "sinks/formats/CSensorSampleReader.h"
#include "sinks/formats/V77OverlaySampleWriter.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"

#include "tests/native/GuardedBuffer.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

void Poke32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value)
{
    ASSERT_LE(offset + 4, bytes->size());
    for (int i = 0; i < 4; ++i)
        bytes->at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

TEST(SensorSample, ReadsWhatTheWriterWroteAndRefusesRecordsOutsideTheSample)
{
    std::vector<uint8_t> bytes = v77::BuildSensorSample(
        true, {{42, {v77::kRunSetBit | 3, 5}}, {150, {}}, {7, {9}}});
    {
        v77test::GuardedBuffer sample(bytes.size());
        sample.Fill(bytes.data());
        v77::CSensorSampleReader reader(sample.data(), sample.size());
        ASSERT_TRUE(reader.HasHeader());
        EXPECT_TRUE(reader.Active());
        ASSERT_EQ(reader.RecordCount(), 3u);
        v77::SensorRecord record{};
        ASSERT_TRUE(reader.Record(0, &record));
        EXPECT_EQ(record.value, 42u);
        EXPECT_EQ(record.maskBytes, 8u);
        EXPECT_EQ(record.mask[0], 3);
        ASSERT_TRUE(reader.Record(1, &record));
        EXPECT_EQ(record.value, 150u);
        EXPECT_EQ(record.maskBytes, 0u);
        EXPECT_TRUE(reader.Record(2, &record));
        EXPECT_FALSE(reader.Record(3, &record));
    }
    // Each damage refuses one record; the sample is read inside a guard page.
    struct Damage {
        size_t offset;
        uint32_t value;
    };
    const Damage damages[] = {
        {8, 0xFFFFFFF0u},             // offset far past the end
        {8, static_cast<uint32_t>(bytes.size() - 10)},  // header cut by the end
        {8 + 12 + 20, 0x7FFFFFFFu},   // mask length past the end
        {8 + 12 + 20, 0xFFFFFFFFu},   // mask length that would wrap
    };
    for (const Damage& damage : damages) {
        std::vector<uint8_t> bad = bytes;
        Poke32(&bad, damage.offset, damage.value);
        v77test::GuardedBuffer sample(bad.size());
        sample.Fill(bad.data());
        v77::CSensorSampleReader reader(sample.data(), sample.size());
        v77::SensorRecord record{};
        EXPECT_FALSE(reader.Record(0, &record)) << damage.offset << " " << damage.value;
        EXPECT_TRUE(reader.Record(1, &record));
    }
    // A huge count with a short table: entries past the end are refused.
    std::vector<uint8_t> huge = bytes;
    Poke32(&huge, 4, 0xFFFFFFFFu);
    v77::CSensorSampleReader hugeReader(huge.data(), huge.size());
    v77::SensorRecord record{};
    EXPECT_TRUE(hugeReader.Record(2, &record));
    EXPECT_FALSE(hugeReader.Record(0x40000000u, &record));
    // Truncated headers.
    for (size_t length : {size_t(0), size_t(3), size_t(7)}) {
        v77::CSensorSampleReader cut(bytes.data(), length);
        EXPECT_FALSE(cut.HasHeader());
        EXPECT_EQ(cut.RecordCount(), length >= 8 ? 3u : 0u);
        EXPECT_FALSE(cut.Record(0, &record));
    }
}

std::vector<uint8_t> SamplePolygon()
{
    v77::TextRecord number{102, 1, 0, 12.5, {}};
    v77::TextRecord count{104, 0, -3, 0.0, {}};
    v77::TextRecord text{103, 2, 0, 0.0, u"zone A"};
    v77::TextRecord odd{105, 9, 0, 0.0, {}};
    return v77::BuildPolygonSample(104, {{0x0000FF, {{1, 2}, {30, 2}, {30, 40}}}, {0x00FF00, {}}},
                                   {number, count, text, odd});
}

TEST(PolygonSample, ReadsPolylinesAndTextRecordsInOrder)
{
    const std::vector<uint8_t> bytes = SamplePolygon();
    v77test::GuardedBuffer sample(bytes.size());
    sample.Fill(bytes.data());
    v77::CPolygonSampleReader reader(sample.data(), sample.size());
    ASSERT_TRUE(reader.HasHeader());
    EXPECT_EQ(reader.Picture(), 104u);
    const auto lines = reader.Polylines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].colour, 0x0000FFu);
    ASSERT_EQ(lines[0].points.size(), 3u);
    EXPECT_EQ(lines[0].points[2].y, 40);
    EXPECT_TRUE(lines[1].points.empty());
    const auto texts = reader.Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].number, 12.5);
    EXPECT_EQ(texts[1].integer, -3);
    EXPECT_EQ(texts[2].text, u"zone A");
    EXPECT_EQ(texts[3].kind, 9u);
}

TEST(PolygonSample, DamagedSamplesEndTheirListsInsideTheBuffer)
{
    const std::vector<uint8_t> good = SamplePolygon();
    // Every truncation, read inside a guard page: lists only shrink.
    for (size_t length = 0; length < good.size(); ++length) {
        v77test::GuardedBuffer sample(length);
        if (length)
            sample.Fill(good.data());
        v77::CPolygonSampleReader reader(sample.data(), length);
        EXPECT_LE(reader.Polylines().size(), 2u);
        const auto texts = reader.Texts();
        EXPECT_LE(texts.size(), 4u);
        for (const auto& text : texts)
            EXPECT_LE(text.text.size(), 6u);
    }
    // A zero record size must not loop; huge counts and point counts stop at the end.
    std::vector<uint8_t> bad = good;
    Poke32(&bad, 4, 0xFFFFFFFFu);
    Poke32(&bad, 20, 0);
    EXPECT_TRUE(v77::CPolygonSampleReader(bad.data(), bad.size()).Polylines().empty());
    bad = good;
    Poke32(&bad, 20 + 8, 0x20000000u);
    EXPECT_TRUE(v77::CPolygonSampleReader(bad.data(), bad.size()).Polylines().empty());
    bad = good;
    Poke32(&bad, 8, 0xFFFFFFFFu);
    Poke32(&bad, 12, 0xFFFFFFF0u);
    v77::CPolygonSampleReader reader(bad.data(), bad.size());
    EXPECT_TRUE(reader.Polylines().empty());
    EXPECT_EQ(reader.Texts().size(), 4u);
    // A text without its NUL stops at the record's end; a cut number gives an empty kind.
    bad = good;
    const size_t textStart = bad.size() - 12 - (12 + 14);
    bad.resize(bad.size() - 12 - 2);
    Poke32(&bad, textStart, static_cast<uint32_t>(bad.size() - textStart));
    const auto texts = v77::CPolygonSampleReader(bad.data(), bad.size()).Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2].text, u"zone A");
}

}  // namespace
