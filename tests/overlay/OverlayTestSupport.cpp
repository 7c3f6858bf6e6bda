#include "tests/overlay/OverlayTestSupport.h"

#include <cstdio>

#include "companions/V77UIHelper/rle/V77RunLength.h"

const wchar_t kZoneXml[] =
    L"<?xml version=\"1.0\"?>\n"
    L"<sensors>\n"
    L"  <sensorGroup name=\"Door\" width=\"16\" height=\"8\" color=\"FF8000\" low=\"20\" high=\"70\">\n"
    L"    <rect left=\"0\" top=\"0\" right=\"8\" bottom=\"4\"/>\n"
    L"  </sensorGroup>\n"
    L"  <sensorGroup name=\"Hall\" width=\"16\" height=\"8\" color=\"#0080FF\" low=\"30\" high=\"60\">\n"
    L"    <runs>64 64</runs>\n"
    L"  </sensorGroup>\n"
    L"  <sensorGroup name=\"Door\" width=\"12\" height=\"8\" color=\"00c000\">\n"
    L"    <rect left=\"0\" top=\"0\" right=\"12\" bottom=\"8\"/>\n"
    L"  </sensorGroup>\n"
    L"</sensors>\n";

std::vector<uint32_t> MaskWords(int width, int height, const std::function<bool(int, int)>& set)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] = set(x, y) ? 1 : 0;
    return v77::EncodeRunLengthPixels(pixels.data(), width, height);
}

std::vector<BYTE> Poke(std::vector<BYTE> bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<BYTE>(value >> (8 * i));
    return bytes;
}

bool Same(Rgb a, Rgb b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

std::string Describe(Rgb c)
{
    char text[16];
    snprintf(text, sizeof(text), "%02X%02X%02X", c.r, c.g, c.b);
    return text;
}

std::string Mismatches(const CTestDibDc& dib, LONG width, LONG height, const std::function<Rgb(LONG, LONG)>& expected)
{
    std::string out;
    int count = 0;
    for (LONG y = 0; y < height; ++y) {
        for (LONG x = 0; x < width; ++x) {
            const Rgb got = dib.At(x, y), want = expected(x, y);
            if (Same(got, want))
                continue;
            if (++count <= 6)
                out += std::to_string(x) + "," + std::to_string(y) + ": got " + Describe(got) + " want " +
                       Describe(want) + "; ";
        }
    }
    if (count > 6)
        out += std::to_string(count) + " pixels differ";
    return out;
}
