#include "tests/display/TestPicture.h"

#include <amvideo.h>
#include <uuids.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "v77/V77Guids.h"

namespace {

BYTE Clamp(double v)
{
    return static_cast<BYTE>(std::min(255.0, std::max(0.0, std::round(v))));
}

LONG RgbStride(LONG width, WORD bits)
{
    return ((width * bits + 31) / 32) * 4;
}

WORD RgbBits(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_RGB32 ? 32 : subtype == MEDIASUBTYPE_RGB565 ? 16 : 24;
}

// BGR(X) or 5-6-5 rows, each padded to 4 bytes.
std::vector<BYTE> EncodeRgb(const TestPicture& p, WORD bits, bool topDown)
{
    const LONG stride = RgbStride(p.width, bits);
    std::vector<BYTE> out(static_cast<size_t>(stride) * p.height, 0);
    for (LONG y = 0; y < p.height; ++y) {
        // Bottom-up DIBs keep the bottom row first in memory.
        BYTE* row = out.data() + static_cast<size_t>(topDown ? y : p.height - 1 - y) * stride;
        for (LONG x = 0; x < p.width; ++x) {
            const Rgb c = p.At(x, y);
            BYTE* q = row + static_cast<size_t>(x) * bits / 8;
            if (bits == 16) {
                const WORD v = static_cast<WORD>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
                q[0] = static_cast<BYTE>(v);
                q[1] = static_cast<BYTE>(v >> 8);
                continue;
            }
            q[0] = c.b;
            q[1] = c.g;
            q[2] = c.r;
        }
    }
    return out;
}

std::vector<BYTE> EncodeYuy2(const TestPicture& p)
{
    std::vector<BYTE> out(static_cast<size_t>(p.width) * 2 * p.height);
    for (LONG y = 0; y < p.height; ++y) {
        for (LONG x = 0; x + 1 < p.width; x += 2) {
            BYTE y0, u0, v0, y1, u1, v1;
            RgbToYuv(p.At(x, y), &y0, &u0, &v0);
            RgbToYuv(p.At(x + 1, y), &y1, &u1, &v1);
            BYTE* q = out.data() + (static_cast<size_t>(y) * p.width + x) * 2;
            q[0] = y0;
            q[1] = static_cast<BYTE>((u0 + u1 + 1) / 2);
            q[2] = y1;
            q[3] = static_cast<BYTE>((v0 + v1 + 1) / 2);
        }
    }
    return out;
}

std::vector<BYTE> EncodePlanar(const TestPicture& p, bool uFirst)
{
    const size_t luma = static_cast<size_t>(p.width) * p.height;
    const size_t chroma = luma / 4;
    std::vector<BYTE> out(luma + 2 * chroma, 128);
    BYTE* planeU = out.data() + luma + (uFirst ? 0 : chroma);
    BYTE* planeV = out.data() + luma + (uFirst ? chroma : 0);
    for (LONG y = 0; y < p.height; ++y) {
        for (LONG x = 0; x < p.width; ++x) {
            BYTE yy, u, v;
            RgbToYuv(p.At(x, y), &yy, &u, &v);
            out[static_cast<size_t>(y) * p.width + x] = yy;
        }
    }
    for (LONG y = 0; y + 1 < p.height; y += 2) {
        for (LONG x = 0; x + 1 < p.width; x += 2) {
            int su = 0, sv = 0;
            for (int k = 0; k < 4; ++k) {
                BYTE yy, u, v;
                RgbToYuv(p.At(x + (k & 1), y + (k >> 1)), &yy, &u, &v);
                su += u;
                sv += v;
            }
            const size_t at = static_cast<size_t>(y / 2) * (p.width / 2) + x / 2;
            planeU[at] = static_cast<BYTE>((su + 2) / 4);
            planeV[at] = static_cast<BYTE>((sv + 2) / 4);
        }
    }
    return out;
}

}  // namespace

void RgbToYuv(Rgb c, BYTE* y, BYTE* u, BYTE* v)
{
    const double r = c.r, g = c.g, b = c.b;
    *y = Clamp(16.0 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0);
    *u = Clamp(128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0);
    *v = Clamp(128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0);
}

bool Near(Rgb a, Rgb b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

TestPicture UniformPicture(LONG width, LONG height, Rgb colour)
{
    TestPicture p;
    p.width = width;
    p.height = height;
    p.pixels.assign(static_cast<size_t>(width) * height, colour);
    return p;
}

TestPicture QuadrantPicture(LONG width, LONG height, Rgb tl, Rgb tr, Rgb bl, Rgb br)
{
    TestPicture p = UniformPicture(width, height, tl);
    for (LONG y = 0; y < height; ++y) {
        for (LONG x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            p.Set(x, y, bottom ? (right ? br : bl) : (right ? tr : tl));
        }
    }
    return p;
}

TestPicture RowPicture(LONG width, LONG height, Rgb even, Rgb odd)
{
    TestPicture p = UniformPicture(width, height, even);
    for (LONG y = 1; y < height; y += 2) {
        for (LONG x = 0; x < width; ++x)
            p.Set(x, y, odd);
    }
    return p;
}

TestPicture NaturalPicture(LONG width, LONG height)
{
    TestPicture p = UniformPicture(width, height, Rgb{0, 0, 0});
    for (LONG y = 0; y < height; ++y) {
        for (LONG x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            // A sky-to-ground gradient, a soft disc and a gentle ripple.
            const double dx = fx - 0.65, dy = fy - 0.35;
            const double disc = std::exp(-(dx * dx + dy * dy) * 18.0);
            const double ripple = 12.0 * std::sin(fx * 25.0 + fy * 9.0);
            const double r = 60.0 + 120.0 * fy + 90.0 * disc + ripple;
            const double g = 90.0 + 80.0 * (1.0 - fy) + 70.0 * disc - ripple * 0.5;
            const double b = 170.0 - 110.0 * fy + 30.0 * disc;
            p.Set(x, y, Rgb{Clamp(r), Clamp(g), Clamp(b)});
        }
    }
    return p;
}

CMediaType MakeVideoType(const GUID& subtype, LONG width, LONG height, bool topDown)
{
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = 400000;
    BITMAPINFOHEADER& h = vih.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_RGB565) {
        h.biBitCount = RgbBits(subtype);
        h.biCompression = BI_RGB;
        h.biHeight = topDown ? -height : height;
        h.biSizeImage = static_cast<DWORD>(RgbStride(width, h.biBitCount) * height);
    } else if (subtype == MEDIASUBTYPE_YUY2) {
        h.biBitCount = 16;
        h.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
        h.biSizeImage = static_cast<DWORD>(width * 2 * height);
    } else {
        h.biBitCount = 12;
        h.biCompression = subtype == MEDIASUBTYPE_YV12 ? MAKEFOURCC('Y', 'V', '1', '2') : MAKEFOURCC('I', '4', '2', '0');
        h.biSizeImage = static_cast<DWORD>(width * height * 3 / 2);
    }
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    mt.SetSampleSize(h.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}

std::vector<BYTE> EncodeFrame(const TestPicture& picture, const GUID& subtype, bool topDown)
{
    if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_RGB565)
        return EncodeRgb(picture, RgbBits(subtype), topDown);
    if (subtype == MEDIASUBTYPE_YUY2)
        return EncodeYuy2(picture);
    return EncodePlanar(picture, subtype == MEDIASUBTYPE_I420);
}
