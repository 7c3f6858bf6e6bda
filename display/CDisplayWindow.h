// The presentation window of the DirectDraw renderer. Takes over a window
// the host supplies and composes, on that window's thread, the current video
// surface (scaled, optionally mirrored) and the host's overlay under a colour
// key into a window-sized surface, then presents it by a DirectDraw blit to
// the clipped primary or, when the registry asks, by GDI. Any thread may ask
// for a repaint; at most one private repaint message is queued at a time.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <atomic>
#include <wrl/client.h>

#include "companions/V77Sync/CV77CriticalSection.h"
#include "display/CDirectDrawDevice.h"
#include "display/CV77WindowSubclass.h"

class CDisplayWindow : private CV77WindowSubclass::IHandler {
public:
    CDisplayWindow();
    ~CDisplayWindow();
    CDisplayWindow(const CDisplayWindow&) = delete;
    CDisplayWindow& operator=(const CDisplayWindow&) = delete;

    // Takes over window and makes its surfaces. Throws.
    void Attach(HWND window);
    void InitializeSurfaces();
    // Gives the window back to its own procedure; whether it was held.
    bool UnsubclassWindow();

    void SetVideoSurface(IDirectDrawSurface7* surface);
    void SetRects(const RECT* source, const RECT* destination);
    void SetColorKey(COLORREF key);
    void ClearColorKey();
    COLORREF ColorKey() const { return m_ColorKey; }
    void SetMirror(bool mirror) { m_bMirror = mirror; }
    void EnableOverlay(bool enable, bool repaint);
    void DrawOverlay(HDC dc, bool repaint);
    void ClearComposition();
    // A packed DIB (header and pixels) the caller frees with CoTaskMemFree.
    void GetCurrentImage(BITMAPINFOHEADER** image, bool fromComposition);
    void RequestRepaint(bool force = false);
    // The next request posts a new message (a paused graph's queue may have lost one).
    void ClearRepaintPending() { InterlockedExchange(&m_RepaintPending, 0); }

    HWND Window() const { return m_hWnd; }
    CDirectDrawDevice& Device() { return m_Device; }
    // True while the window's thread is inside one of its handlers.
    bool IsHandlingMessage() const { return m_Handling.load() != 0; }
    bool UsesGdi() const { return m_Present == &CDisplayWindow::PresentGdi; }
    bool SyncBlt() const { return m_bSyncBlt; }

private:
    using PresentFn = void (CDisplayWindow::*)(int left, int top, int right, int bottom);

    bool HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    bool OnMessage(HWND window, UINT message);
    void ReadRegistry();
    void RecreateSurfaces();
    void Compose();
    void Present();
    void PresentDirectDraw(int left, int top, int right, int bottom);
    void PresentGdi(int left, int top, int right, int bottom);
    // Blt that survives one lost-surface restore (then tells the host); a
    // failed restore skips the blit.
    void BltRestoring(IDirectDrawSurface7* target, RECT* targetRect, IDirectDrawSurface7* source, RECT* sourceRect,
                      DWORD flags, DDBLTFX* fx);
    void PostOverlayRedraw();

    CV77CriticalSection m_Lock;
    CDirectDrawDevice m_Device;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pPrimary;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pVideo;
    Microsoft::WRL::ComPtr<IDirectDrawClipper> m_pClipper;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pOverlay;
    RECT m_SrcRect;
    RECT m_DstRect;
    std::atomic<bool> m_bMirror;
    std::atomic<bool> m_bOverlayEnabled;
    std::atomic<COLORREF> m_ColorKey;
    DWORD m_KeyLow;
    DWORD m_KeyHigh;
    bool m_bSyncBlt;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pComposition;
    bool m_bComposed;
    DDBLTFX m_BltFx;
    volatile LONG m_RepaintPending;
    PresentFn m_Present;

    std::atomic<HWND> m_hWnd;
    std::atomic<int> m_Handling;
    CV77WindowSubclass m_Subclass;
};
