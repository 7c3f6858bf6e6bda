// "Varnokel77 GDI renderer": shows the frame bitmap in a window the host
// supplies. Samples arriving on the streaming thread only post one private
// repaint message at a time; the window's thread converts, draws and paints.
#pragma once

#include "display/CV77GDIRendererBase.h"
#include "display/CV77WindowSubclass.h"

class CV77WindowsRenderer : public CV77GDIRendererBase, private CV77WindowSubclass::IHandler {
public:
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77WindowsRenderer(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CV77WindowsRenderer() override;

    // IV77DxRenderer
    STDMETHODIMP SetWindow(HWND window) override;
    STDMETHODIMP ClearImage() override;

    void RenderFrame(IV77PoolItem* frame) override;
    void Repaint() override;
    void GetTargetRect(RECT* rect) override;
    bool IsSizeChanged(const RECT& target, const RECT& destination, const RECT& source) override;

private:
    bool HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnPaint(HWND window);
    void OnRenderMessage(HWND window);
    RECT DestinationRect();

    CV77WindowSubclass m_Subclass;
    CV77CriticalSection m_WindowLock;
    HWND m_hWindow;          // where repaint messages go (m_WindowLock)
    bool m_bPaintPending;    // a repaint message is queued (m_WindowLock)
};
