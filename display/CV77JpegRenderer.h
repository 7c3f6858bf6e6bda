// "Varnokel77 Jpeg renderer": draws each frame, with the host's overlay, into
// the GDI frame bitmap like the GDI renderer, but compresses the bitmap to
// JPEG instead of showing it: into a host buffer, into a sample of its own
// small pool on request, or (automatic notification) into a pool sample sent
// to the host as a graph event for every frame. The picture size is the
// target rectangle the host sets, not a window's.
#pragma once

#include <windows.h>
#include <atomic>
#include <wrl/client.h>

#include "display/CV77GDIRendererBase.h"
#include "display/CWin32Mutex.h"
#include "kernels/jpeg/V77Jpeg.h"
#include "v77/IV77DxRenderer.h"
#include "v77/IV77SamplePool.h"

class CV77JpegRenderer : public CV77GDIRendererBase, public IV77JpegRenderer {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77JpegRenderer(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77JpegRenderer() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77JpegRenderer
    STDMETHODIMP SetQuality(long quality) override;
    STDMETHODIMP SetColor(BOOL color) override;
    STDMETHODIMP SetAutoNotify(BOOL enable) override;
    STDMETHODIMP GetJpegSample(BSTR comment, IMediaSample** sample) override;
    STDMETHODIMP DrawToDC(HDC dc, RECT rect) override;
    STDMETHODIMP EncodeDC(HDC dc, BSTR comment, IMediaSample** sample) override;
    STDMETHODIMP EncodeToBuffer(BSTR comment, BYTE* buffer, DWORD* size) override;

    // IV77DxRenderer: there is no window to show anything in.
    STDMETHODIMP SetWindow(HWND window) override;

    // Called with m_FrameLock held.
    void RenderFrame(IV77PoolItem* frame) override;
    void Repaint() override;
    // Rebuilds the bitmaps and the output pool; throws CHresultError or CWin32Error.
    void CreateBitmaps() override;
    void GetTargetRect(RECT* rect) override;
    bool IsSizeChanged(const RECT& target, const RECT& destination, const RECT& source) override;

private:
    // A picture to encode: rows top first, stride bytes apart.
    struct Picture {
        const BYTE* pixels;
        LONG width;
        LONG height;
        LONG stride;
    };

    static constexpr DWORD kPoolSamples = 3;

    // The DIB and JPG format fields and the quality, from the settings (m_GdiLock).
    void ApplyEncoderSettings();
    // Draws frame into the frame bitmap at destination (m_GdiLock taken here).
    void DrawIntoFrameBitmap(IV77PoolItem* frame, const RECT& destination);
    Picture FramePicture() const;
    // One JPEG into buffer; the JPEG's length, 0 when it did not fit or failed.
    DWORD Encode(const Picture& picture, BSTR comment, BYTE* buffer, DWORD capacity);
    // One JPEG into a free pool sample; null without pool, free sample or JPEG.
    Microsoft::WRL::ComPtr<IMediaSample> EncodeToSample(const Picture& picture, BSTR comment);
    Microsoft::WRL::ComPtr<IMediaSample> TakePoolSample();

    V77_JPEG_PROPERTIES m_Jpeg;        // m_GdiLock
    long m_Quality;                    // m_GdiLock
    BOOL m_bColor;                     // m_GdiLock
    std::atomic<BOOL> m_bAutoNotify;
    CWin32Mutex m_PoolMutex;
    std::atomic<bool> m_bStopped;      // bitmaps and pool not usable (being rebuilt or no target)
    Microsoft::WRL::ComPtr<IV77SamplePool> m_pPool;  // replaced under m_PoolMutex and m_GdiLock
};
