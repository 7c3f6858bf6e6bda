#include "companions/V77UIHelper/rle/V77Dither.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"

#include "tests/native/GuardedBuffer.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

// One byte per pixel from the decoder's rows, for comparisons.
std::vector<uint8_t> Pixels(const uint8_t* rows, int width, int height, ptrdiff_t stride)
{
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[static_cast<size_t>(y) * width + x] = (rows[y * stride + x / 8] >> (7 - x % 8)) & 1;
    return out;
}

std::vector<uint8_t> RandomMask(std::mt19937& rng, int width, int height, int runScale)
{
    std::vector<uint8_t> mask(static_cast<size_t>(width) * height);
    std::uniform_int_distribution<int> run(1, runScale);
    uint8_t value = 0;
    for (size_t i = 0; i < mask.size();) {
        for (int n = run(rng); n > 0 && i < mask.size(); --n)
            mask[i++] = value;
        value ^= 1;
    }
    return mask;
}

TEST(RunLength, RoundTripsMasksOfManyShapesThroughBothEncoders)
{
    std::mt19937 rng(7);
    const int sizes[][2] = {{1, 1}, {8, 1}, {9, 3}, {16, 16}, {17, 5}, {64, 48}, {333, 7}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        for (int runScale : {1, 3, 40, 5000}) {
            const std::vector<uint8_t> mask = RandomMask(rng, w, h, runScale);
            const std::vector<uint32_t> words = v77::EncodeRunLengthPixels(mask.data(), w, h);
            const std::vector<uint8_t> bytes = v77::RunLengthBytes(words);
            const int rowBytes = (w + 7) / 8;
            const ptrdiff_t stride = rowBytes + 3;  // padding the decoder must leave alone
            std::vector<uint8_t> rows(static_cast<size_t>(stride) * h, 0xEE);
            ASSERT_EQ(v77::DecodeRunLength(bytes.data(), bytes.size(), rows.data(), w, rowBytes, h, stride),
                      v77::RunLengthResult::Complete);
            EXPECT_EQ(Pixels(rows.data(), w, h, stride), mask) << w << "x" << h << " runs " << runScale;
            for (int y = 0; y < h; ++y)
                EXPECT_EQ(rows[y * stride + rowBytes], 0xEE);
            // Encoding the decoded rows gives the same words back.
            EXPECT_EQ(v77::EncodeRunLength(rows.data(), w, rowBytes, h, stride), words);
        }
    }
}

TEST(RunLength, NarrowRowsDropTheLastColumnsButKeepTheRunsInStep)
{
    // 12 pixels a row, rows of one byte: columns 8..11 are read but not kept.
    const int w = 12, h = 3;
    std::vector<uint8_t> mask(w * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mask[y * w + x] = (x >= 6) ^ (y == 1);
    const auto bytes = v77::RunLengthBytes(v77::EncodeRunLengthPixels(mask.data(), w, h));
    uint8_t rows[3];
    ASSERT_EQ(v77::DecodeRunLength(bytes.data(), bytes.size(), rows, w, 1, h, 1), v77::RunLengthResult::Complete);
    EXPECT_EQ(rows[0], 0x03);
    EXPECT_EQ(rows[1], 0xFC);
    EXPECT_EQ(rows[2], 0x03);
}

TEST(RunLength, ShortOverrunningAndEmptyCodingsStayInsideTheRows)
{
    const int w = 10, h = 4, rowBytes = 2;
    v77test::GuardedBuffer rows(rowBytes * h);
    // Short: 5 set pixels, then nothing: the rest comes out clear.
    const auto shortCoding = v77::RunLengthBytes({v77::kRunSetBit | 5});
    memset(rows.data(), 0xFF, rows.size());
    EXPECT_EQ(v77::DecodeRunLength(shortCoding.data(), shortCoding.size(), rows.data(), w, rowBytes, h, rowBytes),
              v77::RunLengthResult::Short);
    EXPECT_EQ(rows.data()[0], 0xF8);
    EXPECT_EQ(rows.data()[7], 0x00);
    // Overrun: 35 clear then a set run of 2^31 - 1 pixels fills the last 5 and stops.
    const auto overrun = v77::RunLengthBytes({35, v77::kRunSetBit | v77::kRunLengthMask, v77::kRunSetBit | 9});
    EXPECT_EQ(v77::DecodeRunLength(overrun.data(), overrun.size(), rows.data(), w, rowBytes, h, rowBytes),
              v77::RunLengthResult::Overrun);
    EXPECT_EQ(rows.data()[5], 0x00);
    EXPECT_EQ(rows.data()[6], 0x07);  // row 3, pixels 5..9
    EXPECT_EQ(rows.data()[7], 0xC0);
    // A byte count that is not a whole word ignores the tail; zero words clear.
    EXPECT_EQ(v77::DecodeRunLength(overrun.data(), 3, rows.data(), w, rowBytes, h, rowBytes),
              v77::RunLengthResult::Short);
    EXPECT_EQ(rows.data()[7], 0x00);
    EXPECT_EQ(v77::DecodeRunLength(nullptr, 0, rows.data(), w, rowBytes, h, rowBytes), v77::RunLengthResult::Short);
    EXPECT_EQ(v77::DecodeRunLength(overrun.data(), 4, nullptr, w, rowBytes, h, rowBytes),
              v77::RunLengthResult::BadArgument);
    EXPECT_EQ(v77::DecodeRunLength(overrun.data(), 4, rows.data(), 0, rowBytes, h, rowBytes),
              v77::RunLengthResult::BadArgument);
    EXPECT_EQ(v77::DecodeRunLength(overrun.data(), 4, rows.data(), w, rowBytes, h, 1),
              v77::RunLengthResult::BadArgument);
}

TEST(RunLength, PositionsPastTwoGigapixelsStayInStep)
{
    // 2^31 + 65536 pixels, none stored (rows of 0 bytes): two clear words cover them.
    const int w = 65536, h = 32769;
    uint8_t none = 0;
    const auto exact = v77::RunLengthBytes({v77::kRunLengthMask, 65537});
    EXPECT_EQ(v77::DecodeRunLength(exact.data(), exact.size(), &none, w, 0, h, 0), v77::RunLengthResult::Complete);
    const auto over = v77::RunLengthBytes({v77::kRunLengthMask, 65537, v77::kRunSetBit | 1});
    EXPECT_EQ(v77::DecodeRunLength(over.data(), over.size(), &none, w, 0, h, 0), v77::RunLengthResult::Overrun);
}

TEST(Dither, PatternsKeepTheDocumentedPixelsAndClearEverythingElse)
{
    const int w = 13, h = 4, rawRowBytes = 2, dibRowBytes = 4;
    std::vector<uint8_t> raw(rawRowBytes * h, 0xFF);
    std::vector<uint8_t> dib(dibRowBytes * h, 0xCC);
    ASSERT_TRUE(v77::DitherRegion(raw.data(), dib.data(), w, rawRowBytes, dibRowBytes, h, nullptr, 1));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < 8 * dibRowBytes; ++x) {
            const bool set = (dib[y * dibRowBytes + x / 8] >> (7 - x % 8)) & 1;
            EXPECT_EQ(set, x < w && (x + y) % 2 == 0) << x << "," << y;
        }
    }
    const v77::DitherPhase phase = {1, 0};
    ASSERT_TRUE(v77::DitherRegion(raw.data(), dib.data(), w, rawRowBytes, dibRowBytes, h, &phase, 2));
    EXPECT_EQ(dib[0], 0x55);
    EXPECT_EQ(dib[dibRowBytes], 0x00);
    ASSERT_TRUE(v77::DitherRegion(raw.data(), dib.data(), w, rawRowBytes, dibRowBytes, h, nullptr, 0));
    EXPECT_EQ(dib[0], 0xFF);
    EXPECT_EQ(dib[1], 0xF8);
    EXPECT_EQ(dib[2], 0x00);
    // Clear raw pixels stay clear whatever the pattern; an unknown mode clears.
    raw.assign(raw.size(), 0x0F);
    ASSERT_TRUE(v77::DitherRegion(raw.data(), dib.data(), w, rawRowBytes, dibRowBytes, h, nullptr, 1));
    EXPECT_EQ(dib[0], 0x0A);
    ASSERT_TRUE(v77::DitherRegion(raw.data(), dib.data(), w, rawRowBytes, dibRowBytes, h, nullptr, 7));
    EXPECT_EQ(dib[0], 0x00);
    EXPECT_FALSE(v77::DitherRegion(nullptr, dib.data(), w, rawRowBytes, dibRowBytes, h, nullptr, 1));
}

}  // namespace
