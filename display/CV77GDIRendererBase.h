// Video drawn with GDI only. Each frame is (optionally) deinterlaced and
// adjusted into the scratch frame, converted to 24-bit BGR and stretched
// into the frame bitmap, a DIB section of the picture area; the host's
// overlay drawing lives in a second DIB section of the same size and is
// blitted over the frame, opaque or with a transparent colour key.
#pragma once

#include <windows.h>
#include <memory>

#include "companions/V77Sync/CV77CriticalSection.h"
#include "display/CV77DibSection.h"
#include "display/CV77MemoryDC.h"
#include "display/CV77RendererBase.h"

class CV77GDIRendererBase : public CV77RendererBase {
public:
    // IV77DxRenderer
    STDMETHODIMP SetRects(const RECT* target, const RECT* source, const RECT* destination) override;
    STDMETHODIMP Invalidate() override;
    STDMETHODIMP GetCurrentImage(BITMAPINFOHEADER** image, BOOL fromComposition) override;
    STDMETHODIMP DrawOverlay(HDC dc, BOOL repaint) override;
    STDMETHODIMP SetColorKey(COLORREF key) override;
    STDMETHODIMP GetColorKey(COLORREF* key) override;
    STDMETHODIMP ClearColorKey() override;
    STDMETHODIMP EnableOverlay(BOOL enable, BOOL repaint) override;
    STDMETHODIMP ClearImage() override;

    // The type is set once per object; a second call fails with E_FAIL.
    HRESULT SetMediaType(const CMediaType* mt) override;
    bool IsReadyToRender() override;
    // Keeps the picture: a pooled frame on screen is copied into the copy
    // frame so that its buffer goes back upstream at once.
    void ReleaseCurrentFrame() override;

    // (Re)creates both bitmaps at the size of GetTargetRect; throws CWin32Error.
    virtual void CreateBitmaps();
    virtual void GetTargetRect(RECT* rect) = 0;
    virtual bool IsSizeChanged(const RECT& target, const RECT& destination, const RECT& source) = 0;

protected:
    CV77GDIRendererBase(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr);
    ~CV77GDIRendererBase() override;

    // Draws the frame (when the overlay lets it show) and then the overlay
    // onto dc; frame may be null. Takes m_GdiLock: call it without m_FrameLock
    // or with m_FrameLock taken first.
    void DrawFrame(IV77PoolItem* frame, HDC dc, const RECT& destination);
    // Deletes both bitmaps.
    void DeleteBitmaps();

    using StepFn = void (CV77GDIRendererBase::*)(BYTE** pixels);

    CV77CriticalSection m_GdiLock;
    CV77MemoryDC m_hFrameDC;
    CV77MemoryDC m_hOverlayDC;
    CV77DibSection m_hFrameBitmap;
    CV77DibSection m_hOverlayBitmap;
    BYTE* m_pFrameBits;
    RECT m_SrcRect;
    RECT m_DstRect;
    RECT m_TargetRect;
    bool m_bOverlayEnabled;
    COLORREF m_ColorKey;
    std::unique_ptr<BITMAPINFOHEADER> m_pBitmapInfo;
    Microsoft::WRL::ComPtr<IV77PoolItem> m_pRgbFrame;
    StepFn m_DeinterlaceStep;
    StepFn m_ConvertStep;
    StepFn m_AdjustStep;

private:
    bool ChooseSteps(const GUID& subtype);
    void MakeBitmapInfo(const BITMAPINFOHEADER& input, bool rgbInput);
    void DrawVideo(IV77PoolItem* frame, HDC dc, const RECT& destination);
    void DrawOverlayBitmap(HDC dc);
    RECT WholeImage() const;
    RECT FlippedSource(const RECT& source) const;
    // The rectangle, or the whole image when it is null or has no area.
    RECT OrWholeImage(const RECT* rect) const;

    static BYTE* DataOf(IV77PoolItem* item);
    LONG RgbStride() const { return CV77DibSection::StrideOf(m_Width); }

    // Per-format steps (see ChooseSteps).
    void NoStep(BYTE**) {}
    void DeinterlaceRgb24(BYTE** pixels);
    void DeinterlaceYuy2(BYTE** pixels);
    void DeinterlacePlanar(BYTE** pixels);
    void AdjustRgb24(BYTE** pixels);
    void AdjustYuy2(BYTE** pixels);
    void AdjustPlanar(BYTE** pixels);
    void ConvertYuy2(BYTE** pixels);
    void ConvertYv12(BYTE** pixels);
    void ConvertI420(BYTE** pixels);
    void ConvertPlanar(BYTE** pixels, size_t uOffset, size_t vOffset);
};
