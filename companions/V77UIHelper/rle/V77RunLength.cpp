#include "companions/V77UIHelper/rle/V77RunLength.h"

#include <cstring>

namespace v77 {

namespace {

uint32_t ReadWord(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Sets pixels [from, to) of one row; to <= 8 * row bytes.
void SetBits(uint8_t* row, int from, int to)
{
    if (from >= to)
        return;
    int first = from >> 3;
    const int last = (to - 1) >> 3;
    const uint8_t head = static_cast<uint8_t>(0xFFu >> (from & 7));
    const uint8_t tail = static_cast<uint8_t>(0xFFu << (7 - ((to - 1) & 7)));
    if (first == last) {
        row[first] |= head & tail;
        return;
    }
    row[first++] |= head;
    if (last > first)
        memset(row + first, 0xFF, static_cast<size_t>(last - first));
    row[last] |= tail;
}

bool PixelSet(const uint8_t* row, int x, int rowBytes)
{
    return x < 8 * rowBytes && (row[x >> 3] & (0x80u >> (x & 7))) != 0;
}

// Appends a run, splitting lengths that do not fit 31 bits.
void AppendRun(std::vector<uint32_t>* words, bool set, uint64_t length)
{
    while (length > 0) {
        const uint32_t part = length > kRunLengthMask ? kRunLengthMask : static_cast<uint32_t>(length);
        words->push_back((set ? kRunSetBit : 0u) | part);
        length -= part;
    }
}

template <class PixelAt>
std::vector<uint32_t> Encode(int width, int height, PixelAt pixelAt)
{
    std::vector<uint32_t> words;
    if (width <= 0 || height <= 0)
        return words;
    bool current = false;
    uint64_t length = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool set = pixelAt(x, y);
            if (set != current && length > 0) {
                AppendRun(&words, current, length);
                length = 0;
            }
            current = set;
            ++length;
        }
    }
    AppendRun(&words, current, length);
    return words;
}

}  // namespace

RunLengthResult DecodeRunLength(const void* data, size_t byteCount, uint8_t* rows, int width, int rowBytes,
                                int height, ptrdiff_t rowStride)
{
    if (!rows || width <= 0 || height <= 0 || rowBytes < 0 || rowStride < rowBytes || (!data && byteCount))
        return RunLengthResult::BadArgument;
    for (int y = 0; y < height; ++y)
        memset(rows + y * rowStride, 0, static_cast<size_t>(rowBytes));
    const int storedWidth = width < 8 * rowBytes ? width : 8 * rowBytes;
    const uint64_t total = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const auto* bytes = static_cast<const uint8_t*>(data);
    const size_t wordCount = byteCount / 4;
    uint64_t position = 0;
    for (size_t i = 0; i < wordCount; ++i) {
        const uint32_t word = ReadWord(bytes + 4 * i);
        const uint64_t wanted = position + (word & kRunLengthMask);
        const uint64_t stop = wanted < total ? wanted : total;
        if (word & kRunSetBit) {
            // Row by row: a run may span several rows.
            for (uint64_t p = position; p < stop;) {
                const int y = static_cast<int>(p / static_cast<uint64_t>(width));
                const int x = static_cast<int>(p % static_cast<uint64_t>(width));
                const uint64_t rowLeft = static_cast<uint64_t>(width - x);
                const uint64_t take = stop - p < rowLeft ? stop - p : rowLeft;
                const int end = static_cast<int>(x + take);
                SetBits(rows + y * rowStride, x, end < storedWidth ? end : storedWidth);
                p += take;
            }
        }
        if (wanted > total)
            return RunLengthResult::Overrun;
        position = wanted;
    }
    return position == total ? RunLengthResult::Complete : RunLengthResult::Short;
}

std::vector<uint32_t> EncodeRunLength(const uint8_t* rows, int width, int rowBytes, int height, ptrdiff_t rowStride)
{
    if (!rows)
        return {};
    return Encode(width, height,
                  [&](int x, int y) { return PixelSet(rows + y * rowStride, x, rowBytes); });
}

std::vector<uint32_t> EncodeRunLengthPixels(const uint8_t* pixels, int width, int height)
{
    if (!pixels)
        return {};
    return Encode(width, height, [&](int x, int y) {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] != 0;
    });
}

std::vector<uint8_t> RunLengthBytes(const std::vector<uint32_t>& words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    for (size_t i = 0; i < words.size(); ++i) {
        bytes[4 * i] = static_cast<uint8_t>(words[i]);
        bytes[4 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
        bytes[4 * i + 2] = static_cast<uint8_t>(words[i] >> 16);
        bytes[4 * i + 3] = static_cast<uint8_t>(words[i] >> 24);
    }
    return bytes;
}

}  // namespace v77
