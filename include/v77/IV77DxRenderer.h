// Host control of the video renderers and the JPEG renderer.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"

struct IV77DxRenderer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetWindow(HWND window) = 0;                                // 3
    virtual HRESULT STDMETHODCALLTYPE SetRects(const RECT* target, const RECT* source,
                                               const RECT* destination) = 0;                     // 4
    virtual HRESULT STDMETHODCALLTYPE Invalidate() = 0;                                          // 5
    virtual HRESULT STDMETHODCALLTYPE GetCurrentImage(BITMAPINFOHEADER** image,
                                                      BOOL fromComposition) = 0;                 // 6
    virtual HRESULT STDMETHODCALLTYPE DrawOverlay(HDC dc, BOOL repaint) = 0;                     // 7
    virtual HRESULT STDMETHODCALLTYPE SetColorKey(COLORREF key) = 0;                             // 8
    virtual HRESULT STDMETHODCALLTYPE GetColorKey(COLORREF* key) = 0;                            // 9
    virtual HRESULT STDMETHODCALLTYPE ClearColorKey() = 0;                                       // 10
    virtual HRESULT STDMETHODCALLTYPE EnableOverlay(BOOL enable, BOOL repaint) = 0;              // 11
    virtual HRESULT STDMETHODCALLTYPE SetBrightnessContrast(double brightness, double contrast) = 0;  // 12
    virtual HRESULT STDMETHODCALLTYPE SetDeinterlaceMode(long mode) = 0;                         // 13
    virtual HRESULT STDMETHODCALLTYPE ClearImage() = 0;                                          // 14
};

struct IV77JpegRenderer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetQuality(long quality) = 0;                              // 3
    virtual HRESULT STDMETHODCALLTYPE SetColor(BOOL color) = 0;                                  // 4
    virtual HRESULT STDMETHODCALLTYPE SetAutoNotify(BOOL enable) = 0;                            // 5
    virtual HRESULT STDMETHODCALLTYPE GetJpegSample(BSTR comment, IMediaSample** sample) = 0;    // 6
    virtual HRESULT STDMETHODCALLTYPE DrawToDC(HDC dc, RECT rect) = 0;                           // 7
    virtual HRESULT STDMETHODCALLTYPE EncodeDC(HDC dc, BSTR comment, IMediaSample** sample) = 0; // 8
    virtual HRESULT STDMETHODCALLTYPE EncodeToBuffer(BSTR comment, BYTE* buffer, DWORD* size) = 0;  // 9
};

// The renderers' private repaint message and the host's overlay redraw request.
enum : UINT {
    WM_V77_OVERLAY_REDRAW = WM_USER + 1,
    WM_V77_RENDER = WM_USER + 2,
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77DxRenderer, 0x99A6C95F, 0xD0BF, 0x4452, 0xB8, 0xBC, 0x58, 0x6F, 0x1C, 0xDE, 0x21, 0x8C)
__CRT_UUID_DECL(IV77JpegRenderer, 0x47CC7E80, 0x5E49, 0x4B16, 0x8C, 0xCE, 0xD4, 0xF1, 0x75, 0x68, 0xFD, 0x07)
#endif
