// A DirectDraw 7 device bound to one window: the primary surface, the
// driver's caps and FOURCC list, and the surface operations the DirectDraw
// renderer and the window spy share. ddraw.dll is loaded on first use, so a
// process that never shows video through DirectDraw never maps it.
// Every failing call throws the companion errors (Common/DisplayWindow).
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <set>
#include <wrl/client.h>

#include "companions/V77Sync/CV77CriticalSection.h"

class CDirectDrawDevice : public CV77CriticalSection {
public:
    CDirectDrawDevice();
    ~CDirectDrawDevice() override;
    CDirectDrawDevice(const CDirectDrawDevice&) = delete;
    CDirectDrawDevice& operator=(const CDirectDrawDevice&) = delete;

    // Binds the device to window (null: the whole desktop), makes the primary
    // and reads the caps. True when the driver converts colour spaces while
    // blitting (DDCAPS_BLTFOURCC).
    bool Initialize(HWND window);
    bool IsFourCCSupported(DWORD fourCC) const { return m_FourCCs.count(fourCC) != 0; }

    // fourCC 0: the primary's pixel format. Cleared to black.
    void CreateOffscreenSurface(LONG width, LONG height, DWORD fourCC, IDirectDrawSurface7** surface);
    void CreateRgbSurface(LONG width, LONG height, DWORD bitCount, IDirectDrawSurface7** surface, bool clear);
    // A system-memory surface whose pixels are the caller's memory.
    void CreateSurfaceOnMemory(LONG width, LONG height, LONG pitch, DWORD bitCount, void* pixels,
                               IDirectDrawSurface7** surface);
    // True when the surfaces were lost and had to be restored first.
    bool LockSurface(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc);
    void UnlockSurface(IDirectDrawSurface7* surface);
    // For DDERR_SURFACELOST: restores every surface; whether that worked.
    bool RestoreIfLost(HRESULT hr);
    // False when dc is not a DirectDraw surface's DC.
    bool FindSurfaceForDC(HDC dc, IDirectDrawSurface7** surface);
    // The colour as the primary surface stores it.
    DWORD ColorMatch(COLORREF colour);

    IDirectDraw7* DirectDraw() const { return m_pDD.Get(); }
    IDirectDrawSurface7* Primary() const { return m_pPrimary.Get(); }
    const DDCAPS& Caps() const { return m_Caps; }
    const std::set<DWORD>& FourCCs() const { return m_FourCCs; }
    // The primary's pixel format; throws when there is no primary.
    DDPIXELFORMAT PrimaryFormat() const;

private:
    Microsoft::WRL::ComPtr<IDirectDraw7> m_pDD;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pPrimary;
    DDCAPS m_Caps;
    std::set<DWORD> m_FourCCs;
};

// Pixel-format masks of the device's RGB surfaces; throws "Unsupported format".
DDPIXELFORMAT V77RgbPixelFormat(DWORD bitCount);
