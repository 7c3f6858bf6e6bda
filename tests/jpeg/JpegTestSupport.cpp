#include "tests/jpeg/JpegTestSupport.h"

#include <cmath>
#include <cstring>
#include <sstream>

double PsnrAgainst(const WicDecodedImage& decoded, const TestPicture& expected)
{
    if (decoded.width != static_cast<UINT>(expected.width) || decoded.height != static_cast<UINT>(expected.height))
        return 0.0;
    double squares = 0.0;
    for (LONG y = 0; y < expected.height; ++y) {
        for (LONG x = 0; x < expected.width; ++x) {
            const Rgb want = expected.At(x, y);
            const Rgb got = PixelAt(decoded, static_cast<UINT>(x), static_cast<UINT>(y));
            const double db = got.b - want.b, dg = got.g - want.g, dr = got.r - want.r;
            squares += db * db + dg * dg + dr * dr;
        }
    }
    const double mse = squares / (3.0 * expected.width * expected.height);
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TestPicture Flipped(const TestPicture& picture)
{
    TestPicture out = picture;
    for (LONG y = 0; y < picture.height; ++y)
        for (LONG x = 0; x < picture.width; ++x)
            out.Set(x, y, picture.At(x, picture.height - 1 - y));
    return out;
}

TestPicture Luma(const TestPicture& picture)
{
    TestPicture out = picture;
    for (LONG y = 0; y < picture.height; ++y) {
        for (LONG x = 0; x < picture.width; ++x) {
            const Rgb c = picture.At(x, y);
            const double l = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
            const BYTE v = static_cast<BYTE>(std::lround(l));
            out.Set(x, y, Rgb{v, v, v});
        }
    }
    return out;
}

const Rgb kRed{230, 20, 20};
const Rgb kGreen{20, 200, 40};
const Rgb kBlue{20, 30, 220};
const Rgb kWhite{240, 240, 240};

TestPicture Quadrants(LONG width, LONG height)
{
    return QuadrantPicture(width, height, kRed, kGreen, kBlue, kWhite);
}

std::string QuadrantMismatch(const WicDecodedImage& decoded, Rgb tl, Rgb tr, Rgb bl, Rgb br)
{
    if (decoded.width < 8 || decoded.height < 8)
        return "picture of " + std::to_string(decoded.width) + "x" + std::to_string(decoded.height);
    const UINT left = decoded.width / 4, right = decoded.width * 3 / 4;
    const UINT top = decoded.height / 4, bottom = decoded.height * 3 / 4;
    const struct {
        const char* name;
        UINT x, y;
        Rgb want;
    } probes[] = {{"top left", left, top, tl}, {"top right", right, top, tr},
                  {"bottom left", left, bottom, bl}, {"bottom right", right, bottom, br}};
    std::ostringstream out;
    for (const auto& probe : probes) {
        const Rgb got = PixelAt(decoded, probe.x, probe.y);
        if (!Near(got, probe.want, 24))
            out << probe.name << " is " << int(got.r) << "," << int(got.g) << "," << int(got.b) << "; ";
    }
    return out.str();
}

std::string QuadrantMismatch(const WicDecodedImage& decoded)
{
    return QuadrantMismatch(decoded, kRed, kGreen, kBlue, kWhite);
}

Rgb PixelAt(const WicDecodedImage& decoded, UINT x, UINT y)
{
    const BYTE* p = decoded.bgr.data() + (static_cast<size_t>(y) * decoded.width + x) * 3;
    return Rgb{p[2], p[1], p[0]};
}

bool FindSegment(const Bytes& jpeg, BYTE marker, Bytes* payload)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF)
            return false;
        const BYTE found = jpeg[at + 1];
        const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size())
            return false;
        if (found == marker) {
            if (payload)
                payload->assign(jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length);
            return true;
        }
        // Entropy-coded data follows SOS: no more headers to look at.
        if (found == 0xDA)
            return false;
        at += 2 + length;
    }
    return false;
}

int FrameComponents(const Bytes& jpeg)
{
    Bytes sof;
    if (!FindSegment(jpeg, 0xC0, &sof) || sof.size() < 6)
        return 0;
    return sof[5];
}

Bytes SampleBytes(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (!sample || FAILED(sample->GetPointer(&data)) || !data)
        return {};
    const LONG length = sample->GetActualDataLength();
    return length > 0 ? Bytes(data, data + length) : Bytes();
}

WicDecodedImage Decode(const Bytes& jpeg)
{
    WicDecodedImage image;
    if (jpeg.empty() || FAILED(WicDecodeJpeg(jpeg.data(), jpeg.size(), image)))
        return WicDecodedImage{};
    return image;
}
