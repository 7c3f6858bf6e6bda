#include "display/CDirectDrawDevice.h"

#include <cstring>
#include <vector>

#include "companions/V77Sync/CV77AutoSync.h"
#include "display/DisplayWindowErrors.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFourCCYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kFourCCYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr DWORD kFourCCI420 = MAKEFOURCC('I', '4', '2', '0');

// Wine's DirectDraw accepts surfaces whose byte count overflows 32 bits and
// then hands out less memory than the pitch and height promise.
constexpr LONG kMaxSurfaceSide = 16384;

void CheckSurfaceSize(LONG width, LONG height)
{
    if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide)
        V77DW_THROW_HR(DDERR_INVALIDPARAMS);
}

using DirectDrawCreateExFn = HRESULT(WINAPI*)(GUID*, void**, REFIID, IUnknown*);

// ddraw.dll stays loaded once it was needed: surfaces may outlive any one device.
DirectDrawCreateExFn LoadDirectDrawCreateEx()
{
    static const DirectDrawCreateExFn create = [] {
        HMODULE ddraw = LoadLibraryW(L"ddraw.dll");
        return ddraw ? reinterpret_cast<DirectDrawCreateExFn>(
                           reinterpret_cast<void*>(GetProcAddress(ddraw, "DirectDrawCreateEx")))
                     : nullptr;
    }();
    return create;
}

DDSURFACEDESC2 SurfaceDesc(DWORD flags)
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = flags;
    return desc;
}

void FillWords(BYTE* p, size_t bytes, DWORD word)
{
    for (size_t i = 0; i + 4 <= bytes; i += 4)
        memcpy(p + i, &word, 4);
}

enum class ClearRule { None, Zero, Yuy2, Planar };

ClearRule ClearRuleOf(const DDPIXELFORMAT& format)
{
    if (!(format.dwFlags & DDPF_FOURCC))
        return ClearRule::Zero;
    switch (format.dwFourCC) {
    case kFourCCYuy2:
        return ClearRule::Yuy2;
    case kFourCCYv12:
    case kFourCCI420:
        return ClearRule::Planar;
    default:
        return ClearRule::None;
    }
}

}  // namespace

DDPIXELFORMAT V77RgbPixelFormat(DWORD bitCount)
{
    DDPIXELFORMAT format;
    memset(&format, 0, sizeof format);
    format.dwSize = sizeof format;
    format.dwFlags = DDPF_RGB;
    format.dwRGBBitCount = bitCount;
    switch (bitCount) {
    case 16:
        format.dwRBitMask = 0xF800;
        format.dwGBitMask = 0x07E0;
        format.dwBBitMask = 0x001F;
        break;
    case 24:
    case 32:
        format.dwRBitMask = 0xFF0000;
        format.dwGBitMask = 0x00FF00;
        format.dwBBitMask = 0x0000FF;
        break;
    default:
        V77DW_THROW_APP("Unsupported format");
    }
    return format;
}

CDirectDrawDevice::CDirectDrawDevice()
{
    memset(&m_Caps, 0, sizeof m_Caps);
    DirectDrawCreateExFn create = LoadDirectDrawCreateEx();
    if (!create)
        V77DW_THROW_HR(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    V77DW_CHECK_HR(create(nullptr, reinterpret_cast<void**>(m_pDD.GetAddressOf()), IID_IDirectDraw7, nullptr));
}

CDirectDrawDevice::~CDirectDrawDevice()
{
    m_pPrimary.Reset();
    m_pDD.Reset();
}

bool CDirectDrawDevice::Initialize(HWND window)
{
    m_pPrimary.Reset();
    V77DW_CHECK_HR(m_pDD->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_MULTITHREADED));
    DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS);
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    V77DW_CHECK_HR(m_pDD->CreateSurface(&desc, m_pPrimary.GetAddressOf(), nullptr));

    memset(&m_Caps, 0, sizeof m_Caps);
    m_Caps.dwSize = sizeof m_Caps;
    V77DW_CHECK_HR(m_pDD->GetCaps(&m_Caps, nullptr));

    m_FourCCs.clear();
    DWORD count = 0;
    V77DW_CHECK_HR(m_pDD->GetFourCCCodes(&count, nullptr));
    if (count) {
        std::vector<DWORD> codes(count);
        V77DW_CHECK_HR(m_pDD->GetFourCCCodes(&count, codes.data()));
        codes.resize(count < codes.size() ? count : codes.size());
        m_FourCCs.insert(codes.begin(), codes.end());
    }
    return (m_Caps.dwCaps & DDCAPS_BLTFOURCC) != 0;
}

DDPIXELFORMAT CDirectDrawDevice::PrimaryFormat() const
{
    if (!m_pPrimary)
        V77DW_THROW_HR(DDERR_NOTINITIALIZED);
    DDPIXELFORMAT format;
    memset(&format, 0, sizeof format);
    format.dwSize = sizeof format;
    V77DW_CHECK_HR(m_pPrimary->GetPixelFormat(&format));
    return format;
}

void CDirectDrawDevice::CreateOffscreenSurface(LONG width, LONG height, DWORD fourCC, IDirectDrawSurface7** surface)
{
    CheckSurfaceSize(width, height);
    DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT);
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    if (fourCC) {
        desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
        desc.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
        desc.ddpfPixelFormat.dwFourCC = fourCC;
    } else {
        desc.ddpfPixelFormat = PrimaryFormat();
    }
    const ClearRule rule = ClearRuleOf(desc.ddpfPixelFormat);

    ComPtr<IDirectDrawSurface7> made;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    if (FAILED(m_pDD->CreateSurface(&desc, made.GetAddressOf(), nullptr))) {
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        V77DW_CHECK_HR(m_pDD->CreateSurface(&desc, made.ReleaseAndGetAddressOf(), nullptr));
    }

    if (rule != ClearRule::None) {
        DDSURFACEDESC2 locked;
        LockSurface(made.Get(), &locked);
        BYTE* bits = static_cast<BYTE*>(locked.lpSurface);
        const size_t plane = static_cast<size_t>(locked.dwHeight) * static_cast<size_t>(locked.lPitch);
        switch (rule) {
        case ClearRule::Zero:
            memset(bits, 0, plane);
            break;
        case ClearRule::Yuy2:
            FillWords(bits, plane, 0x80008000u);
            break;
        case ClearRule::Planar:
            memset(bits, 0, plane);
            memset(bits + plane, 0x80, plane / 2);
            break;
        case ClearRule::None:
            break;
        }
        UnlockSurface(made.Get());
    }
    *surface = made.Detach();
}

void CDirectDrawDevice::CreateRgbSurface(LONG width, LONG height, DWORD bitCount, IDirectDrawSurface7** surface,
                                         bool clear)
{
    CheckSurfaceSize(width, height);
    DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT);
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddpfPixelFormat = V77RgbPixelFormat(bitCount);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    ComPtr<IDirectDrawSurface7> made;
    HRESULT hr = m_pDD->CreateSurface(&desc, made.GetAddressOf(), nullptr);
    if (hr == DDERR_OUTOFVIDEOMEMORY) {
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        hr = m_pDD->CreateSurface(&desc, made.ReleaseAndGetAddressOf(), nullptr);
    }
    V77DW_CHECK_HR(hr);
    if (clear) {
        DDSURFACEDESC2 locked;
        LockSurface(made.Get(), &locked);
        memset(locked.lpSurface, 0, static_cast<size_t>(locked.dwHeight) * static_cast<size_t>(locked.lPitch));
        UnlockSurface(made.Get());
    }
    *surface = made.Detach();
}

void CDirectDrawDevice::CreateSurfaceOnMemory(LONG width, LONG height, LONG pitch, DWORD bitCount, void* pixels,
                                              IDirectDrawSurface7** surface)
{
    CheckSurfaceSize(width, height);
    DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_LPSURFACE |
                                      DDSD_PIXELFORMAT);
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.lPitch = pitch;
    desc.lpSurface = pixels;
    desc.ddpfPixelFormat = V77RgbPixelFormat(bitCount);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    V77DW_CHECK_HR(m_pDD->CreateSurface(&desc, surface, nullptr));
}

bool CDirectDrawDevice::LockSurface(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc)
{
    *desc = SurfaceDesc(0);
    HRESULT hr = surface->Lock(nullptr, desc, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr);
    if (hr != DDERR_SURFACELOST) {
        V77DW_CHECK_HR(hr);
        return false;
    }
    V77DW_CHECK_HR(m_pDD->RestoreAllSurfaces());
    *desc = SurfaceDesc(0);
    V77DW_CHECK_HR(surface->Lock(nullptr, desc, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr));
    return true;
}

void CDirectDrawDevice::UnlockSurface(IDirectDrawSurface7* surface)
{
    V77DW_CHECK_HR(surface->Unlock(nullptr));
}

bool CDirectDrawDevice::RestoreIfLost(HRESULT hr)
{
    return hr == DDERR_SURFACELOST && SUCCEEDED(m_pDD->RestoreAllSurfaces());
}

bool CDirectDrawDevice::FindSurfaceForDC(HDC dc, IDirectDrawSurface7** surface)
{
    const HRESULT hr = m_pDD->GetSurfaceFromDC(dc, surface);
    if (hr == DDERR_NOTFOUND)
        return false;
    V77DW_CHECK_HR(hr);
    return true;
}

DWORD CDirectDrawDevice::ColorMatch(COLORREF colour)
{
    CV77AutoSync lock(*this);
    if (!m_pPrimary)
        V77DW_THROW_HR(DDERR_NOTINITIALIZED);
    // GDI writes the colour into the primary, which then tells how it stores it.
    COLORREF saved = CLR_INVALID;
    HDC dc = nullptr;
    if (colour != CLR_INVALID && SUCCEEDED(m_pPrimary->GetDC(&dc))) {
        saved = GetPixel(dc, 0, 0);
        SetPixel(dc, 0, 0, colour);
        m_pPrimary->ReleaseDC(dc);
    }
    DWORD matched = colour;
    DDSURFACEDESC2 desc = SurfaceDesc(0);
    if (SUCCEEDED(m_pPrimary->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
        memcpy(&matched, desc.lpSurface, sizeof matched);
        const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
        if (bits < 32)
            matched &= (1u << bits) - 1;
        m_pPrimary->Unlock(nullptr);
    }
    if (colour != CLR_INVALID && saved != CLR_INVALID && SUCCEEDED(m_pPrimary->GetDC(&dc))) {
        SetPixel(dc, 0, 0, saved);
        m_pPrimary->ReleaseDC(dc);
    }
    return matched;
}
