#include "tests/ddraw/DdrawTestSupport.h"

#include <amvideo.h>
#include <uuids.h>
#include <cstring>
#include <fstream>
#include <sstream>

#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"

namespace {

DDSURFACEDESC2 Lock(IDirectDrawSurface7* surface, DWORD flags)
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | flags, nullptr)))
        desc.lpSurface = nullptr;
    return desc;
}

Rgb Unpack(DWORD pixel, DWORD bits)
{
    if (bits == 16) {
        const DWORD r = (pixel >> 11) & 31, g = (pixel >> 5) & 63, b = pixel & 31;
        return Rgb{static_cast<BYTE>(r * 255 / 31), static_cast<BYTE>(g * 255 / 63), static_cast<BYTE>(b * 255 / 31)};
    }
    return Rgb{static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8), static_cast<BYTE>(pixel)};
}

}  // namespace

void FillSurface(IDirectDrawSurface7* surface, const TestPicture& picture)
{
    DDSURFACEDESC2 desc = Lock(surface, DDLOCK_WRITEONLY);
    if (!desc.lpSurface)
        return;
    const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
    auto* base = static_cast<BYTE*>(desc.lpSurface);
    for (LONG y = 0; y < picture.height && y < static_cast<LONG>(desc.dwHeight); ++y) {
        for (LONG x = 0; x < picture.width && x < static_cast<LONG>(desc.dwWidth); ++x) {
            const Rgb c = picture.At(x, y);
            BYTE* p = base + static_cast<size_t>(y) * desc.lPitch + static_cast<size_t>(x) * bits / 8;
            if (bits == 16) {
                const WORD v = static_cast<WORD>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
                memcpy(p, &v, 2);
            } else {
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
                if (bits == 32)
                    p[3] = 0;
            }
        }
    }
    surface->Unlock(nullptr);
}

TestPicture ReadSurface(IDirectDrawSurface7* surface)
{
    TestPicture picture;
    DDSURFACEDESC2 desc = Lock(surface, DDLOCK_READONLY);
    if (!desc.lpSurface)
        return picture;
    const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
    picture.width = static_cast<LONG>(desc.dwWidth);
    picture.height = static_cast<LONG>(desc.dwHeight);
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    const auto* base = static_cast<const BYTE*>(desc.lpSurface);
    for (LONG y = 0; y < picture.height; ++y) {
        for (LONG x = 0; x < picture.width; ++x) {
            DWORD pixel = 0;
            memcpy(&pixel, base + static_cast<size_t>(y) * desc.lPitch + static_cast<size_t>(x) * bits / 8, bits / 8);
            picture.Set(x, y, Unpack(pixel, bits));
        }
    }
    surface->Unlock(nullptr);
    return picture;
}

TestPicture DibPicture(const BITMAPINFOHEADER* dib)
{
    TestPicture picture;
    if (!dib || dib->biCompression != BI_RGB || (dib->biBitCount != 24 && dib->biBitCount != 32))
        return picture;
    picture.width = dib->biWidth;
    picture.height = dib->biHeight < 0 ? -dib->biHeight : dib->biHeight;
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    const size_t stride = (static_cast<size_t>(picture.width) * dib->biBitCount / 8 + 3) & ~static_cast<size_t>(3);
    const auto* bits = reinterpret_cast<const BYTE*>(dib + 1);
    for (LONG y = 0; y < picture.height; ++y) {
        const LONG row = dib->biHeight < 0 ? y : picture.height - 1 - y;
        for (LONG x = 0; x < picture.width; ++x) {
            const BYTE* p = bits + row * stride + static_cast<size_t>(x) * dib->biBitCount / 8;
            picture.Set(x, y, Rgb{p[2], p[1], p[0]});
        }
    }
    return picture;
}

std::vector<BYTE> EncodeAny(const TestPicture& picture, const GUID& subtype, bool topDown)
{
    return EncodeFrame(picture, subtype, topDown);
}

CMediaType MakeAnyType(const GUID& subtype, LONG width, LONG height, bool topDown)
{
    return MakeVideoType(subtype, width, height, topDown);
}

CLogWatch::CLogWatch() : m_Path(CGlobalErrorHandlingEnvironment::GetLogFilePath()), m_Start(0)
{
    std::ifstream file(m_Path, std::ios::binary | std::ios::ate);
    if (file)
        m_Start = static_cast<size_t>(file.tellg());
}

std::string CLogWatch::NewText() const
{
    std::ifstream file(m_Path, std::ios::binary);
    if (!file)
        return std::string();
    std::stringstream all;
    all << file.rdbuf();
    const std::string text = all.str();
    return text.size() > m_Start ? text.substr(m_Start) : std::string();
}
