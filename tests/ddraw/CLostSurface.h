// A fake surface for the lost-surface paths: wraps a real surface and
// answers its first Lock calls with DDERR_SURFACELOST, then delegates
// everything. DirectDraw itself never sees it as a blit source.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <atomic>
#include <wrl/client.h>

class CLostSurface : public IDirectDrawSurface7 {
public:
    // Lock fails lostCalls times before it reaches the real surface.
    static Microsoft::WRL::ComPtr<CLostSurface> Wrap(IDirectDrawSurface7* real, int lostCalls);

    int LockCalls() const { return m_LockCalls; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_Refs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) override;
    STDMETHODIMP Blt(LPRECT dstRect, LPDIRECTDRAWSURFACE7 src, LPRECT srcRect, DWORD flags, LPDDBLTFX fx) override { return m_pReal->Blt(dstRect, src, srcRect, flags, fx); }
    STDMETHODIMP AddAttachedSurface(LPDIRECTDRAWSURFACE7 lpDDSAttachedSurface) override { return m_pReal->AddAttachedSurface(lpDDSAttachedSurface); }
    STDMETHODIMP AddOverlayDirtyRect(LPRECT lpRect) override { return m_pReal->AddOverlayDirtyRect(lpRect); }
    STDMETHODIMP BltBatch(LPDDBLTBATCH lpDDBltBatch, DWORD dwCount, DWORD dwFlags) override { return m_pReal->BltBatch(lpDDBltBatch, dwCount, dwFlags); }
    STDMETHODIMP BltFast(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE7 lpDDSrcSurface, LPRECT lpSrcRect, DWORD dwTrans) override { return m_pReal->BltFast(dwX, dwY, lpDDSrcSurface, lpSrcRect, dwTrans); }
    STDMETHODIMP DeleteAttachedSurface(DWORD dwFlags, LPDIRECTDRAWSURFACE7 lpDDSAttachedSurface) override { return m_pReal->DeleteAttachedSurface(dwFlags, lpDDSAttachedSurface); }
    STDMETHODIMP EnumAttachedSurfaces(LPVOID lpContext, LPDDENUMSURFACESCALLBACK7 lpEnumSurfacesCallback) override { return m_pReal->EnumAttachedSurfaces(lpContext, lpEnumSurfacesCallback); }
    STDMETHODIMP EnumOverlayZOrders(DWORD dwFlags, LPVOID lpContext, LPDDENUMSURFACESCALLBACK7 lpfnCallback) override { return m_pReal->EnumOverlayZOrders(dwFlags, lpContext, lpfnCallback); }
    STDMETHODIMP Flip(LPDIRECTDRAWSURFACE7 lpDDSurfaceTargetOverride, DWORD dwFlags) override { return m_pReal->Flip(lpDDSurfaceTargetOverride, dwFlags); }
    STDMETHODIMP GetAttachedSurface(LPDDSCAPS2 lpDDSCaps, LPDIRECTDRAWSURFACE7 *lplpDDAttachedSurface) override { return m_pReal->GetAttachedSurface(lpDDSCaps, lplpDDAttachedSurface); }
    STDMETHODIMP GetBltStatus(DWORD dwFlags) override { return m_pReal->GetBltStatus(dwFlags); }
    STDMETHODIMP GetCaps(LPDDSCAPS2 lpDDSCaps) override { return m_pReal->GetCaps(lpDDSCaps); }
    STDMETHODIMP GetClipper(LPDIRECTDRAWCLIPPER *lplpDDClipper) override { return m_pReal->GetClipper(lplpDDClipper); }
    STDMETHODIMP GetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) override { return m_pReal->GetColorKey(dwFlags, lpDDColorKey); }
    STDMETHODIMP GetDC(HDC *lphDC) override { return m_pReal->GetDC(lphDC); }
    STDMETHODIMP GetFlipStatus(DWORD dwFlags) override { return m_pReal->GetFlipStatus(dwFlags); }
    STDMETHODIMP GetOverlayPosition(LPLONG lplX, LPLONG lplY) override { return m_pReal->GetOverlayPosition(lplX, lplY); }
    STDMETHODIMP GetPalette(LPDIRECTDRAWPALETTE *lplpDDPalette) override { return m_pReal->GetPalette(lplpDDPalette); }
    STDMETHODIMP GetPixelFormat(LPDDPIXELFORMAT lpDDPixelFormat) override { return m_pReal->GetPixelFormat(lpDDPixelFormat); }
    STDMETHODIMP GetSurfaceDesc(LPDDSURFACEDESC2 lpDDSurfaceDesc) override { return m_pReal->GetSurfaceDesc(lpDDSurfaceDesc); }
    STDMETHODIMP Initialize(LPDIRECTDRAW lpDD, LPDDSURFACEDESC2 lpDDSurfaceDesc) override { return m_pReal->Initialize(lpDD, lpDDSurfaceDesc); }
    STDMETHODIMP IsLost() override { return m_pReal->IsLost(); }
    STDMETHODIMP ReleaseDC(HDC hDC) override { return m_pReal->ReleaseDC(hDC); }
    STDMETHODIMP Restore() override { return m_pReal->Restore(); }
    STDMETHODIMP SetClipper(LPDIRECTDRAWCLIPPER lpDDClipper) override { return m_pReal->SetClipper(lpDDClipper); }
    STDMETHODIMP SetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) override { return m_pReal->SetColorKey(dwFlags, lpDDColorKey); }
    STDMETHODIMP SetOverlayPosition(LONG lX, LONG lY) override { return m_pReal->SetOverlayPosition(lX, lY); }
    STDMETHODIMP SetPalette(LPDIRECTDRAWPALETTE lpDDPalette) override { return m_pReal->SetPalette(lpDDPalette); }
    STDMETHODIMP Unlock(LPRECT lpSurfaceData) override { return m_pReal->Unlock(lpSurfaceData); }
    STDMETHODIMP UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE7 lpDDDestSurface, LPRECT lpDestRect, DWORD dwFlags, LPDDOVERLAYFX lpDDOverlayFx) override { return m_pReal->UpdateOverlay(lpSrcRect, lpDDDestSurface, lpDestRect, dwFlags, lpDDOverlayFx); }
    STDMETHODIMP UpdateOverlayDisplay(DWORD dwFlags) override { return m_pReal->UpdateOverlayDisplay(dwFlags); }
    STDMETHODIMP UpdateOverlayZOrder(DWORD dwFlags, LPDIRECTDRAWSURFACE7 lpDDSReference) override { return m_pReal->UpdateOverlayZOrder(dwFlags, lpDDSReference); }
    STDMETHODIMP GetDDInterface(LPVOID *lplpDD) override { return m_pReal->GetDDInterface(lplpDD); }
    STDMETHODIMP PageLock(DWORD dwFlags) override { return m_pReal->PageLock(dwFlags); }
    STDMETHODIMP PageUnlock(DWORD dwFlags) override { return m_pReal->PageUnlock(dwFlags); }
    STDMETHODIMP SetSurfaceDesc(LPDDSURFACEDESC2 lpDDSD, DWORD dwFlags) override { return m_pReal->SetSurfaceDesc(lpDDSD, dwFlags); }
    STDMETHODIMP SetPrivateData(REFGUID tag, LPVOID pData, DWORD cbSize, DWORD dwFlags) override { return m_pReal->SetPrivateData(tag, pData, cbSize, dwFlags); }
    STDMETHODIMP GetPrivateData(REFGUID tag, LPVOID pBuffer, LPDWORD pcbBufferSize) override { return m_pReal->GetPrivateData(tag, pBuffer, pcbBufferSize); }
    STDMETHODIMP FreePrivateData(REFGUID tag) override { return m_pReal->FreePrivateData(tag); }
    STDMETHODIMP GetUniquenessValue(LPDWORD pValue) override { return m_pReal->GetUniquenessValue(pValue); }
    STDMETHODIMP ChangeUniquenessValue() override { return m_pReal->ChangeUniquenessValue(); }
    STDMETHODIMP SetPriority(DWORD prio) override { return m_pReal->SetPriority(prio); }
    STDMETHODIMP GetPriority(LPDWORD prio) override { return m_pReal->GetPriority(prio); }
    STDMETHODIMP SetLOD(DWORD lod) override { return m_pReal->SetLOD(lod); }
    STDMETHODIMP GetLOD(LPDWORD lod) override { return m_pReal->GetLOD(lod); }

private:
    CLostSurface(IDirectDrawSurface7* real, int lostCalls) : m_pReal(real), m_LockLost(lostCalls) {}
    virtual ~CLostSurface() = default;

    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pReal;
    std::atomic<ULONG> m_Refs{1};
    std::atomic<int> m_LockLost;
    std::atomic<int> m_LockCalls{0};
};
