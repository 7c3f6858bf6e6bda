// "Varnokel77 Direct Draw Overlay renderer": each frame is copied, adjusted
// and deinterlaced as the host set, into one of two DirectDraw surfaces in
// the frame's own format, alternately, and handed to a CDisplayWindow that
// composes it with the host's overlay and presents it on the window's thread.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <memory>
#include <wrl/client.h>

#include "display/CDisplayWindow.h"
#include "display/CV77RendererBase.h"

class CV77DxRenderer : public CV77RendererBase {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    // Offers what the display driver can show.
    CV77DxRenderer(LPUNKNOWN outer, HRESULT* phr);
    // Offers exactly these subtypes (up to six): for formats the display
    // driver does not list, whose surfaces are then read back, not shown.
    CV77DxRenderer(LPUNKNOWN outer, HRESULT* phr, const GUID* subtypes, int count);
    ~CV77DxRenderer() override;

    // IV77DxRenderer
    STDMETHODIMP SetWindow(HWND window) override;
    STDMETHODIMP SetRects(const RECT* target, const RECT* source, const RECT* destination) override;
    STDMETHODIMP Invalidate() override;
    STDMETHODIMP GetCurrentImage(BITMAPINFOHEADER** image, BOOL fromComposition) override;
    STDMETHODIMP DrawOverlay(HDC dc, BOOL repaint) override;
    STDMETHODIMP SetColorKey(COLORREF key) override;
    STDMETHODIMP GetColorKey(COLORREF* key) override;
    STDMETHODIMP ClearColorKey() override;
    STDMETHODIMP EnableOverlay(BOOL enable, BOOL repaint) override;
    STDMETHODIMP ClearImage() override;

    // IMediaFilter
    STDMETHODIMP Pause() override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    void RenderFrame(IV77PoolItem* frame) override;
    bool IsReadyToRender() override;

private:
    using CopyFrameFn = bool (CV77DxRenderer::*)(int index, const BYTE* pixels, IDirectDrawSurface7** surface);
    using CopyBodyFn = void (CV77DxRenderer::*)(const BYTE* pixels, BYTE* dst, int pitch);

    void OfferDisplaySubtypes();
    // Both need m_FrameLock held.
    void SetUpDisplay();
    // Returns the display window to delete (outside the lock) or null.
    std::unique_ptr<CDisplayWindow> TearDownDisplay();
    void ReleaseSurfaces();

    // Locks the surface at index, lets body write it, unlocks; true when
    // surfaces had to be restored.
    bool CopyInto(int index, const BYTE* pixels, CopyBodyFn body, IDirectDrawSurface7** surface);
    bool CopyYuy2(int index, const BYTE* pixels, IDirectDrawSurface7** surface);
    bool CopyPlanar(int index, const BYTE* pixels, IDirectDrawSurface7** surface);
    bool CopyRgb(int index, const BYTE* pixels, IDirectDrawSurface7** surface);
    bool CopyRgb565(int index, const BYTE* pixels, IDirectDrawSurface7** surface);
    void WriteYuy2(const BYTE* pixels, BYTE* dst, int pitch);
    void WritePlanar(const BYTE* pixels, BYTE* dst, int pitch);
    void WriteRgb(const BYTE* pixels, BYTE* dst, int pitch);
    void WriteRgb565(const BYTE* pixels, BYTE* dst, int pitch);
    // Rows of rowBytes from src to dst at pitch, line doubling as set.
    void CopyRows(const BYTE* src, BYTE* dst, int pitch, int rowBytes, int rows) const;
    // Deinterlaces rows of rowBytes into the scratch frame; its pixels.
    const BYTE* DeinterlaceToScratch(const BYTE* src, int rowBytes, int rows);
    bool IsNeutral() const { return m_Brightness == 0 && m_Gain == 256; }
    int RgbStride() const;

    HWND m_hWndHost;
    std::unique_ptr<CDisplayWindow> m_pWindow;
    // A display window torn down from inside its own message handler.
    std::unique_ptr<CDisplayWindow> m_pRetired;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pSurfaces[2];
    int m_Index;
    CopyFrameFn m_CopyFrame;
    int m_RowBytes;   // bytes a surface row must hold for the frame copy
};
